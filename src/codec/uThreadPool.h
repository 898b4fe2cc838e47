#pragma once
// A pool of task threads with a fixed number of slots. Tasks wait in a pending list;
// whenever a task thread ends, its slot receives the next pending task, until the list
// is empty and the last thread has ended; then the pool fires its completion event.
//
// Threads: everything but the task bodies runs on the thread that created the pool (the
// GUI or main thread), which must keep an event loop running while the pool works: the
// end of each task thread is delivered there as a queued call. The pending list and the
// running list have a lock each; when both are needed the pending lock is taken first.

#include "codec/uThreadTask.h"

#include <QPointer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class QObject;

// The parameters of one pending task; each pool subclass knows its own kind.
struct TTaskData {
    virtual ~TTaskData() = default;
};

struct TPendingTask {
    int Id = 0;
    std::unique_ptr<TTaskData> Data;
};

// A progress display the pool may advance (minimum 0, step 1).
class TPoolProgressBar {
public:
    virtual ~TPoolProgressBar() = default;
    virtual void Reset() { Position = 0; }
    virtual void StepIt() { ++Position; }
    int Position = 0;
};

class TThreadPool {
public:
    using PoolEvent = std::function<void(TThreadPool&)>;

    TThreadPool();
    virtual ~TThreadPool();
    TThreadPool(const TThreadPool&) = delete;
    TThreadPool& operator=(const TThreadPool&) = delete;

    // Creates a task thread of the pool's kind (the "task class").
    std::function<std::unique_ptr<TThreadTask>()> TaskClass;
    int ThreadCount = 1;
    uint8_t PickOrder = 0;     // 0: most recently added first; 1: a random one
    uint8_t FailurePolicy = 0; // 0: count failures; 1: abort at the first failure
    int FailureCount = 0;
    int FailedTaskId = -1;
    std::string FirstFailureText; // the reason given by the first failed task

    bool AllDispatched = false;
    bool Aborted = false;
    bool Finished = false;
    bool DrainReported = false;

    PoolEvent OnAllDone;
    PoolEvent OnAborted;
    PoolEvent OnDraining;
    std::function<void(const std::string&)> OnMessage;
    TPoolProgressBar* TaskProgress = nullptr;
    TPoolProgressBar* DrainProgress = nullptr;

    void AddTask(int Id, std::unique_ptr<TTaskData> Data);
    void Start();
    // Asks running tasks to stop early and dispatches nothing more.
    void RequestStop();
    bool StopRequested() const { return Stop_.load(); }
    size_t PendingCount();
    size_t RunningCount();

    // The object living on the pool's thread; queued calls meant for that thread (a
    // task's progress, for example) are made on it.
    QObject* Context() const { return Context_; }

protected:
    // Gives the pending task's parameters to the thread in Threads[Slot].
    virtual void AssignTask(int Slot, TPendingTask& Task) = 0;
    // Creates a thread of TaskClass, not yet started, in Threads[Slot].
    virtual void CreateTask(int Slot);

    std::vector<TThreadTask*> Threads;

private:
    void Launch();
    void Dispatch(int Slot);
    void ThreadFinished(TThreadTask* Thread);
    void TaskEnded();
    void Message(const std::string& Text);
    void WaitForThreads();

    std::mutex PendingLock_;
    std::vector<TPendingTask> Pending_;
    TRunningList Running_;
    // Every thread created and not yet deleted; owned by the pool.
    std::set<TThreadTask*> Live_;
    QObject* Context_ = nullptr;
    std::atomic<bool> Stop_{false};
    bool Destroying_ = false;
};
