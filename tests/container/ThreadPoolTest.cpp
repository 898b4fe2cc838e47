#include "codec/uThreadPool.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

struct TTestData : TTaskData {
    int SleepMs = 0;
    bool Throw = false;
};

struct TLog {
    std::mutex Lock;
    std::vector<int> Started;
    std::atomic<int> Concurrent{0};
    std::atomic<int> MaxConcurrent{0};
};

class TTestTask : public TThreadTask {
public:
    TLog* Log = nullptr;
    int SleepMs = 0;
    bool Throw = false;

protected:
    void DoWork() override {
        {
            std::lock_guard<std::mutex> g(Log->Lock);
            Log->Started.push_back(TaskId);
        }
        const int now = ++Log->Concurrent;
        int seen = Log->MaxConcurrent.load();
        while (now > seen && !Log->MaxConcurrent.compare_exchange_weak(seen, now)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(SleepMs));
        --Log->Concurrent;
        if (Throw)
            throw std::runtime_error("task " + std::to_string(TaskId) + " broke");
    }
};

class TTestPool : public TThreadPool {
public:
    explicit TTestPool(TLog& Log) : Log_(Log) {
        TaskClass = [] { return std::make_unique<TTestTask>(); };
    }
    std::vector<bool> EndedOnPoolThread;

protected:
    void AssignTask(int Slot, TPendingTask& Task) override {
        auto* t = static_cast<TTestTask*>(Threads[size_t(Slot)]);
        auto* d = static_cast<TTestData*>(Task.Data.get());
        t->Log = &Log_;
        t->SleepMs = d->SleepMs;
        t->Throw = d->Throw;
    }

private:
    TLog& Log_;
};

// Runs the event loop until Done or a generous limit (a hang fails the test, not the run).
template <typename Pred> bool SpinUntil(Pred Done) {
    QElapsedTimer timer;
    timer.start();
    while (!Done()) {
        if (timer.elapsed() > 30000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

std::unique_ptr<TTestData> Data(int SleepMs, bool Throw = false) {
    auto d = std::make_unique<TTestData>();
    d->SleepMs = SleepMs;
    d->Throw = Throw;
    return d;
}

} // namespace

TEST(ThreadPool, OneTaskReducesTheSlotsToOneAndFinishes) {
    TLog log;
    TTestPool pool(log);
    pool.ThreadCount = 3;
    int done = 0;
    pool.OnAllDone = [&](TThreadPool&) { ++done; };
    pool.AddTask(7, Data(5));
    pool.Start();
    EXPECT_EQ(pool.ThreadCount, 1);
    ASSERT_TRUE(SpinUntil([&] { return done > 0; }));
    EXPECT_TRUE(pool.Finished);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(log.Started, std::vector<int>{7});
}

TEST(ThreadPool, ElevenSegmentsOnThreeSlotsStartInOrderAndEndOnce) {
    TLog log;
    TTestPool pool(log);
    pool.ThreadCount = 3;
    int done = 0, draining = 0;
    std::vector<std::string> messages;
    QThread* owner = QThread::currentThread();
    bool eventsOnOwner = true;
    pool.OnAllDone = [&](TThreadPool&) {
        eventsOnOwner = eventsOnOwner && QThread::currentThread() == owner;
        ++done;
    };
    pool.OnDraining = [&](TThreadPool&) { ++draining; };
    pool.OnMessage = [&](const std::string& m) { messages.push_back(m); };
    TPoolProgressBar taskBar, drainBar;
    pool.TaskProgress = &taskBar;
    pool.DrainProgress = &drainBar;
    // Added last first, handed out most recent first: 0, 1, 2 start at once.
    for (int j = 10; j >= 0; --j)
        pool.AddTask(j, Data(j < 3 ? 40 : 5));
    pool.Start();
    {
        std::lock_guard<std::mutex> g(log.Lock);
        EXPECT_EQ(pool.RunningCount(), 3u);
    }
    ASSERT_TRUE(SpinUntil([&] { return done > 0; }));
    // Let any stray late event show itself.
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(done, 1);
    EXPECT_TRUE(eventsOnOwner);
    EXPECT_EQ(draining, 1);
    ASSERT_EQ(log.Started.size(), 11u);
    std::vector<int> firstThree(log.Started.begin(), log.Started.begin() + 3);
    std::sort(firstThree.begin(), firstThree.end());
    EXPECT_EQ(firstThree, (std::vector<int>{0, 1, 2}));
    EXPECT_LE(log.MaxConcurrent.load(), 3);
    EXPECT_EQ(taskBar.Position, 11);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front(), "线程已经全部启动！");
    EXPECT_EQ(messages.back(), "所有线程已安全终止...");
    EXPECT_EQ(pool.PendingCount(), 0u);
    EXPECT_EQ(pool.RunningCount(), 0u);
}

TEST(ThreadPool, FailuresAreCountedUnderTheCountingPolicy) {
    TLog log;
    TTestPool pool(log);
    pool.ThreadCount = 2;
    int done = 0;
    pool.OnAllDone = [&](TThreadPool&) { ++done; };
    for (int j = 4; j >= 0; --j)
        pool.AddTask(j, Data(2, j == 1 || j == 3));
    pool.Start();
    ASSERT_TRUE(SpinUntil([&] { return done > 0; }));
    EXPECT_EQ(pool.FailureCount, 2);
    EXPECT_FALSE(pool.Aborted);
    EXPECT_NE(pool.FirstFailureText.find("broke"), std::string::npos);
    EXPECT_EQ(log.Started.size(), 5u);
}

TEST(ThreadPool, AbortPolicyStopsDispatchingAndReportsTheFailedTask) {
    TLog log;
    TTestPool pool(log);
    pool.ThreadCount = 2;
    pool.FailurePolicy = 1;
    int done = 0, aborted = 0;
    pool.OnAllDone = [&](TThreadPool&) { ++done; };
    pool.OnAborted = [&](TThreadPool&) { ++aborted; };
    for (int j = 9; j >= 0; --j)
        pool.AddTask(j, Data(j == 0 ? 1 : 30, j == 0));
    pool.Start();
    ASSERT_TRUE(SpinUntil([&] { return aborted > 0; }));
    EXPECT_EQ(done, 0);
    EXPECT_EQ(pool.FailedTaskId, 0);
    EXPECT_EQ(pool.FirstFailureText, "task 0 broke");
    EXPECT_LT(log.Started.size(), 10u);
    EXPECT_TRUE(pool.StopRequested());
}

TEST(ThreadPool, AnEmptyPoolFinishesAtOnce) {
    TLog log;
    TTestPool pool(log);
    pool.ThreadCount = 3;
    int done = 0;
    pool.OnAllDone = [&](TThreadPool&) { ++done; };
    pool.Start();
    EXPECT_EQ(done, 1);
    EXPECT_TRUE(pool.Finished);
}

TEST(ThreadPool, DestroyingABusyPoolWaitsForItsThreads) {
    TLog log;
    {
        TTestPool pool(log);
        pool.ThreadCount = 3;
        for (int j = 5; j >= 0; --j)
            pool.AddTask(j, Data(20));
        pool.Start();
    }
    EXPECT_EQ(log.Concurrent.load(), 0);
    EXPECT_LE(log.Started.size(), 3u); // a stopped pool hands out nothing more
}
