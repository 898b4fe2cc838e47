#include "codec/uThreadPool.h"

#include <QCoreApplication>
#include <QObject>
#include <algorithm>
#include <random>

TThreadPool::TThreadPool() : Context_(new QObject) {}

TThreadPool::~TThreadPool() {
    Destroying_ = true;
    RequestStop();
    WaitForThreads();
    delete Context_;
}

void TThreadPool::WaitForThreads() {
    // A worker may be blocked in a synchronous call onto this thread (its progress);
    // keep delivering those calls until every thread has ended.
    for (TThreadTask* thread : Live_) {
        while (!thread->wait(QDeadlineTimer(10)))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    for (TThreadTask* thread : Live_)
        delete thread;
    Live_.clear();
}

void TThreadPool::AddTask(int Id, std::unique_ptr<TTaskData> Data) {
    std::lock_guard<std::mutex> guard(PendingLock_);
    Pending_.push_back(TPendingTask{Id, std::move(Data)});
}

size_t TThreadPool::PendingCount() {
    std::lock_guard<std::mutex> guard(PendingLock_);
    return Pending_.size();
}

size_t TThreadPool::RunningCount() {
    std::lock_guard<std::mutex> guard(Running_.Lock);
    return Running_.Records.size();
}

void TThreadPool::RequestStop() {
    Stop_.store(true);
}

void TThreadPool::Message(const std::string& Text) {
    if (OnMessage)
        OnMessage(Text);
}

void TThreadPool::Start() {
    if (PendingCount() == 0) {
        // Nothing to run: finish at once instead of waiting for a thread end that
        // never comes.
        AllDispatched = true;
        Finished = true;
        Message("线程已经全部启动！");
        if (OnAllDone)
            OnAllDone(*this);
        return;
    }
    if (ThreadCount > 0)
        Launch();
    Message("线程已经全部启动！");
}

void TThreadPool::Launch() {
    ThreadCount = std::min<int>(ThreadCount, static_cast<int>(PendingCount()));
    for (TPoolProgressBar* bar : {TaskProgress, DrainProgress})
        if (bar)
            bar->Reset();
    Threads.assign(static_cast<size_t>(ThreadCount), nullptr);
    for (int slot = 0; slot < ThreadCount; ++slot)
        Dispatch(slot);
}

void TThreadPool::CreateTask(int Slot) {
    std::unique_ptr<TThreadTask> thread = TaskClass();
    TThreadTask* raw = thread.release();
    Live_.insert(raw);
    Threads[static_cast<size_t>(Slot)] = raw;
    // The end of the thread is handled on the pool's thread, once per thread.
    QObject::connect(
        raw, &QThread::finished, Context_, [this, raw] { ThreadFinished(raw); },
        Qt::QueuedConnection);
}

void TThreadPool::Dispatch(int Slot) {
    if (Stop_.load())
        return;
    std::lock_guard<std::mutex> pendingGuard(PendingLock_);
    if (Pending_.empty())
        return;
    size_t index = Pending_.size() - 1;
    if (PickOrder == 1 && Pending_.size() >= 2) {
        static thread_local std::mt19937 random{std::random_device{}()};
        index = std::uniform_int_distribution<size_t>(0, Pending_.size() - 1)(random);
    }
    CreateTask(Slot);
    TThreadTask* thread = Threads[static_cast<size_t>(Slot)];
    TPendingTask& task = Pending_[index];
    thread->Slot = Slot;
    thread->TaskId = task.Id;
    thread->RunningList = &Running_;
    thread->StopFlag = &Stop_;
    AssignTask(Slot, task);
    Pending_.erase(Pending_.begin() + static_cast<std::ptrdiff_t>(index));
    if (Pending_.empty())
        AllDispatched = true;
    {
        std::lock_guard<std::mutex> runningGuard(Running_.Lock);
        TRunningRecord record;
        record.ThreadHandle = thread;
        record.Running = 1;
        record.Slot = Slot;
        record.TaskId = thread->TaskId;
        Running_.Records.push_back(std::move(record));
    }
    thread->start();
}

void TThreadPool::ThreadFinished(TThreadTask* Thread) {
    if (Destroying_)
        return; // the destructor waits for and frees every thread itself
    // Free the thread before the events run: a completion handler may end the run.
    Thread->wait();
    Live_.erase(Thread);
    delete Thread;
    TaskEnded();
}

void TThreadPool::TaskEnded() {
    int slot = -1;
    {
        std::unique_lock<std::mutex> guard(Running_.Lock);
        auto it = std::find_if(Running_.Records.begin(), Running_.Records.end(),
                               [](const TRunningRecord& r) { return r.Running == 0; });
        if (it == Running_.Records.end())
            return;
        slot = it->Slot;
        if (it->Failed) {
            if (FirstFailureText.empty())
                FirstFailureText = it->FailureText;
            if (FailurePolicy == 0) {
                ++FailureCount;
            } else {
                if (!Aborted)
                    FailedTaskId = it->TaskId;
                Aborted = true;
                // The remaining work is pointless once the run has failed.
                Stop_.store(true);
            }
        }
        if (Stop_.load() && !Aborted)
            Aborted = true; // stopped from outside: what is left will not run
        Running_.Records.erase(it);
        const size_t left = Running_.Records.size();
        if (Aborted || AllDispatched) {
            if (!DrainReported) {
                DrainReported = true;
                if (OnDraining)
                    OnDraining(*this);
            }
            if (left == 0)
                Message("所有线程已安全终止...");
            else
                Message("还有 " + std::to_string(left) + " 个线程在运行");
            if (DrainProgress)
                DrainProgress->StepIt();
        }
        Finished =
            (ThreadCount > 1 && left == 0) || (ThreadCount == 1 && (AllDispatched || Aborted));
        if (slot >= 0 && static_cast<size_t>(slot) < Threads.size())
            Threads[static_cast<size_t>(slot)] = nullptr;
        if (TaskProgress)
            TaskProgress->StepIt();
    }
    if (Finished) {
        if (Aborted) {
            if (OnAborted)
                OnAborted(*this);
        } else if (AllDispatched) {
            if (OnAllDone)
                OnAllDone(*this);
        }
    } else if (!Aborted) {
        Dispatch(slot);
    }
}
