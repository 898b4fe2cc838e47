#pragma once
// A task thread of TThreadPool. The pool creates one thread per task, hands it the
// task's parameters, starts it, and learns of its end on the pool's own thread. The
// thread touches the pool only once, at its very end, to mark its running record.

#include <QThread>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class TThreadTask;

// What the pool knows about a thread while it works.
struct TRunningRecord {
    TThreadTask* ThreadHandle = nullptr;
    uint8_t Running = 1; // 1 while the thread works
    int Slot = -1;
    int TaskId = -1;
    uint8_t Failed = 0;
    std::string FailureText; // why the task failed, for the caller's message
};

// The pool's running list behind its own lock.
struct TRunningList {
    std::mutex Lock;
    std::vector<TRunningRecord> Records;
};

class TThreadTask : public QThread {
public:
    TThreadTask() = default;
    ~TThreadTask() override = default;

    uint8_t Failed = 0; // a task sets it to report failure
    std::string FailureText;
    TRunningList* RunningList = nullptr;
    int TaskId = -1;
    int Slot = -1;
    // Set by the pool when the remaining work is no longer wanted (an abort or the pool's
    // destruction); long tasks look at it between units of work.
    const std::atomic<bool>* StopFlag = nullptr;

    bool StopRequested() const { return StopFlag && StopFlag->load(std::memory_order_relaxed); }

protected:
    virtual void BeforeWork() {}
    virtual void AfterWork() {}
    virtual void DoWork() = 0;

    void run() final;

private:
    void MarkEnded();
};
