// The thread layer: the blocking hand-over, the wait that keeps serving it,
// self-release and the pause gate.

#include "Execunit.h"
#include "Fw_update.h"
#include "toolkit/MainThreadCall.h"
#include "support/ProcessEvents.h"
#include "toolkit/TThread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <functional>

namespace {

// Runs `body` on the thread until it returns false or the thread is terminated.
class LoopThread final : public TThread {
public:
    LoopThread(std::function<bool(LoopThread&)> body, std::atomic<int>* destroyed = nullptr)
        : body_(std::move(body)), destroyed_(destroyed)
    {
        Start();
    }
    ~LoopThread() override
    {
        if (destroyed_)
            ++*destroyed_;
    }
    void Sync(const std::function<void()>& fn) { Synchronize(fn); }
    void Gate() { PauseGate(); }

protected:
    void Execute() override
    {
        while (!Terminated() && body_(*this)) {
        }
    }

private:
    std::function<bool(LoopThread&)> body_;
    std::atomic<int>* destroyed_;
};

}  // namespace

TEST(TThread, SynchronizeRunsOnTheMainThreadAndBlocksUntilDone)
{
    std::atomic<bool> ranOnMain{false};
    std::atomic<bool> sawResult{false};
    auto* thread = new LoopThread([&](LoopThread& self) {
        int value = 0;
        self.Sync([&] {
            ranOnMain = mainthread::IsMainThread();
            value = 42;
        });
        sawResult = value == 42;  // the call has returned before Sync does
        return false;
    });
    thread->WaitFor();
    EXPECT_TRUE(ranOnMain);
    EXPECT_TRUE(sawResult);
}

// A plain join here would deadlock: the thread waits in its hand-over for the
// main thread, which waits for the thread to end.
TEST(TThread, WaitForKeepsServingHandOversOfTheThreadItWaitsFor)
{
    std::atomic<int> handOvers{0};
    auto* thread = new LoopThread([&](LoopThread& self) {
        self.Sync([&] { ++handOvers; });
        self.Sync([&] { ++handOvers; });
        return true;
    });
    ProcessEventsUntil([&] { return handOvers.load() >= 4; });
    thread->Terminate();
    thread->WaitFor();
    EXPECT_GE(handOvers.load(), 4);
    EXPECT_EQ(handOvers.load() % 2, 0) << "the cycle in progress finishes, both hand-overs included";
}

TEST(TThread, WaitForRunsNoOtherEventsWhileItWaits)
{
    std::atomic<bool> release{false};
    auto* thread = new LoopThread([&](LoopThread& self) {
        self.Sync([] {});
        while (!release)
            QThread::msleep(1);
        return false;
    });
    bool posted = false;
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { posted = true; }, Qt::QueuedConnection);
    std::thread releaser([&] {
        QThread::msleep(30);
        release = true;
    });
    thread->WaitFor();
    releaser.join();
    EXPECT_FALSE(posted) << "user input and timers must not run inside the wait";
    ProcessEventsUntil([&] { return posted; });
    EXPECT_TRUE(posted);
}

TEST(TThread, ReleasesItselfOnTheMainThreadAfterExecuteReturns)
{
    std::atomic<int> destroyed{0};
    auto* thread = new LoopThread([](LoopThread&) { return false; }, &destroyed);
    thread->WaitFor();  // safe: the release waits for the event loop
    EXPECT_EQ(destroyed.load(), 0);
    ProcessEventsUntil([&] { return destroyed.load() == 1; });
    EXPECT_EQ(destroyed.load(), 1);
}

TEST(TThread, PauseGateHoldsTheLoopUntilResumeOrTerminate)
{
    std::atomic<int> cycles{0};
    auto* thread = new LoopThread([&](LoopThread& self) {
        self.Gate();
        ++cycles;
        QThread::msleep(1);
        return true;
    });
    ProcessEventsUntil([&] { return cycles.load() > 3; });
    thread->Suspend();
    QThread::msleep(20);  // let a cycle in progress reach the gate
    const int atPause = cycles.load();
    QThread::msleep(50);
    EXPECT_LE(cycles.load(), atPause + 1);
    thread->Resume();
    ProcessEventsUntil([&] { return cycles.load() > atPause + 3; });
    EXPECT_GT(cycles.load(), atPause + 3);
    thread->Suspend();
    thread->Terminate();  // a paused thread still sees the request
    thread->WaitFor();
}

TEST(TThread, AnExceptionInTheHandOverReachesTheCallingThread)
{
    std::atomic<bool> caught{false};
    auto* thread = new LoopThread([&](LoopThread& self) {
        try {
            self.Sync([] { throw std::runtime_error("boom"); });
        } catch (const std::runtime_error&) {
            caught = true;
        }
        return false;
    });
    thread->WaitFor();
    EXPECT_TRUE(caught);
}

TEST(WorkerThread, ReportStatusWaitsForTheProgressHandler)
{
    std::vector<std::string> seen;
    std::atomic<bool> jobSawHandled{true};
    std::atomic<bool> done{false};
    new TFW_UpdateThread(
        [&](TFW_UpdateThread* t) { seen.push_back(t->StatusText()); },
        [&](TFW_UpdateThread* t) {
            for (const char* text : {"RUN", "HALT", "DONE"}) {
                const std::size_t before = seen.size();
                t->ReportStatus(text);
                if (seen.size() != before + 1)
                    jobSawHandled = false;
            }
            done = true;
        });
    ProcessEventsUntil([&] { return done.load(); });
    EXPECT_TRUE(jobSawHandled);
    EXPECT_EQ(seen, (std::vector<std::string>{"RUN", "HALT", "DONE"}));
}

TEST(PollThread, RunsTransactionThenFrameThenFaultHandlerEachCycle)
{
    std::vector<char> order;
    std::atomic<int> transactions{0};
    auto* thread = new TExecThread([&](TExecThread*) { ++transactions; }, [&] { order.push_back('F'); },
                                   [&] { order.push_back('X'); });
    ProcessEventsUntil([&] { return order.size() >= 6; });
    thread->Terminate();
    thread->WaitFor();
    ASSERT_GE(order.size(), 6u);
    for (std::size_t i = 0; i + 1 < order.size(); i += 2) {
        EXPECT_EQ(order[i], 'F');
        EXPECT_EQ(order[i + 1], 'X');
    }
    EXPECT_EQ(static_cast<std::size_t>(transactions.load()) * 2, order.size());
}
