#include "platform/event_loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

using namespace corvane;
using namespace std::chrono_literals;

TEST(EventLoop, OneLoopPerThreadAndCurrentFollowsIt)
{
    EXPECT_EQ(EventLoop::Current(), nullptr);
    {
        EventLoop loop;
        EXPECT_EQ(EventLoop::Current(), &loop);
        EXPECT_THROW(EventLoop second, std::logic_error);
        EXPECT_TRUE(loop.IsInLoopThread());
    }
    EXPECT_EQ(EventLoop::Current(), nullptr);
}

TEST(EventLoop, PostToThreadFailsUntilTheLoopExistsThenRunsInOrder)
{
    std::promise<std::thread::id> idPromise;
    std::promise<void> mayCreate;
    std::vector<int> seen;
    std::thread worker([&] {
        idPromise.set_value(std::this_thread::get_id());
        mayCreate.get_future().wait();
        EventLoop loop;
        loop.MessageLoop();
    });
    const auto id = idPromise.get_future().get();
    EXPECT_FALSE(EventLoop::PostToThread(id, [] {}));
    mayCreate.set_value();
    // A sender retries every millisecond until the queue exists, as the controller does.
    for (int i = 0; i < 100; ++i) {
        while (!EventLoop::PostToThread(id, [&seen, i] { seen.push_back(i); })) std::this_thread::sleep_for(1ms);
    }
    while (!EventLoop::PostToThread(id, [] { EventLoop::Current()->Quit(); })) std::this_thread::sleep_for(1ms);
    worker.join();
    ASSERT_EQ(seen.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[i], i);
    EXPECT_FALSE(EventLoop::PostToThread(id, [] {}));
}

TEST(EventLoop, PostedTaskRunsAfterThePostingHandlerReturns)
{
    EventLoop loop;
    std::string trace;
    loop.Post([&] {
        loop.Post([&] { trace += "second;"; });
        trace += "first-end;";
    });
    loop.ProcessMessages();
    EXPECT_EQ(trace, "first-end;");  // a task posted during the pump waits for the next one
    loop.ProcessMessages();
    EXPECT_EQ(trace, "first-end;second;");
}

TEST(EventLoop, NestedPumpKeepsPostingOrder)
{
    EventLoop loop;
    std::string trace;
    loop.Post([&] {
        trace += "A(";
        loop.ProcessMessages();  // runs B and C from inside A
        trace += ")";
    });
    loop.Post([&] { trace += "B"; });
    loop.Post([&] { trace += "C"; });
    loop.ProcessMessages();
    EXPECT_EQ(trace, "A(BC)");
}

TEST(EventLoop, OneShotPeriodicAndCancelledTimers)
{
    EventLoop loop;
    int oneShot = 0, periodic = 0, cancelled = 0;
    loop.AddOneShot(5ms, [&] { ++oneShot; });
    const auto periodicId = loop.AddTimer(1ms, 2ms, [&] { ++periodic; });
    const auto cancelledId = loop.AddOneShot(5ms, [&] { ++cancelled; });
    loop.CancelTimer(cancelledId);
    EXPECT_FALSE(loop.TimerActive(cancelledId));
    loop.RunUntil([&] { return periodic >= 5 && oneShot == 1; }, 2000ms);
    EXPECT_EQ(oneShot, 1);
    EXPECT_GE(periodic, 5);
    EXPECT_EQ(cancelled, 0);
    EXPECT_TRUE(loop.TimerActive(periodicId));
    loop.CancelTimer(periodicId);
    const int before = periodic;
    loop.RunUntil([] { return false; }, 10ms);
    EXPECT_EQ(periodic, before);
}

TEST(EventLoop, TimerCanCancelItselfAndAddAnother)
{
    EventLoop loop;
    int fired = 0;
    EventLoop::TimerId self = 0;
    self = loop.AddTimer(1ms, 1ms, [&] {
        ++fired;
        loop.CancelTimer(self);
        loop.AddOneShot(1ms, [&] { fired += 10; });
    });
    loop.RunUntil([&] { return fired >= 11; }, 1000ms);
    EXPECT_EQ(fired, 11);
}

TEST(EventLoop, QuitFromAnotherThreadEndsMessageLoop)
{
    EventLoop* loopPtr = nullptr;
    std::promise<void> ready;
    std::thread worker([&] {
        EventLoop loop;
        loopPtr = &loop;
        ready.set_value();
        loop.MessageLoop();
    });
    ready.get_future().wait();
    loopPtr->Quit();
    worker.join();  // hangs here if Quit does not wake the idle loop
}

class EventLoopWithPipe : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(::pipe(fds_), 0); }
    void TearDown() override
    {
        ::close(fds_[0]);
        ::close(fds_[1]);
    }
    int fds_[2];
};

TEST_F(EventLoopWithPipe, ReadableDescriptorIsReportedAndCanBeUnwatched)
{
    EventLoop loop;
    int calls = 0;
    loop.WatchFd(fds_[0], EventLoop::IoReadable, [&](std::uint32_t events) {
        ++calls;
        EXPECT_TRUE(events & EventLoop::IoReadable);
        char c;
        ASSERT_EQ(::read(fds_[0], &c, 1), 1);
    });
    ASSERT_EQ(::write(fds_[1], "x", 1), 1);
    loop.RunUntil([&] { return calls == 1; }, 1000ms);
    EXPECT_EQ(calls, 1);
    loop.UnwatchFd(fds_[0]);
    EXPECT_FALSE(loop.IsWatching(fds_[0]));
    ASSERT_EQ(::write(fds_[1], "y", 1), 1);
    loop.RunUntil([] { return false; }, 20ms);
    EXPECT_EQ(calls, 1);
}

TEST_F(EventLoopWithPipe, NestedPumpDoesNotReenterTheWaitingHandler)
{
    EventLoop loop;
    int entries = 0, depth = 0, maxDepth = 0;
    bool timerRan = false;
    loop.WatchFd(fds_[0], EventLoop::IoReadable, [&](std::uint32_t) {
        ++entries;
        maxDepth = std::max(maxDepth, ++depth);
        if (entries == 1) {
            // Wait while serving the loop: the still-readable pipe must not call us again.
            loop.AddOneShot(20ms, [&] { timerRan = true; });
            loop.RunUntil([&] { return timerRan; }, 2000ms);
        }
        char c;
        ASSERT_EQ(::read(fds_[0], &c, 1), 1);
        --depth;
    });
    ASSERT_EQ(::write(fds_[1], "ab", 2), 2);
    loop.RunUntil([&] { return entries == 2; }, 2000ms);
    EXPECT_TRUE(timerRan);
    EXPECT_EQ(maxDepth, 1);
    EXPECT_EQ(entries, 2);  // the second byte is still delivered after the handler returned
}

TEST_F(EventLoopWithPipe, HandlerMayUnwatchItselfAndAnException)
{
    EventLoop loop;
    int calls = 0;
    loop.WatchFd(fds_[0], EventLoop::IoReadable, [&](std::uint32_t) {
        ++calls;
        loop.UnwatchFd(fds_[0]);
        throw std::runtime_error("handler failure stays inside the loop");
    });
    ASSERT_EQ(::write(fds_[1], "x", 1), 1);
    loop.RunUntil([&] { return calls > 0; }, 1000ms);
    loop.RunUntil([] { return false; }, 10ms);
    EXPECT_EQ(calls, 1);
}

// The owner thread posts without waking the loop through its descriptor; each pump must still
// see such work before it goes to sleep, wherever it was posted from.
TEST(EventLoop, OwnPostsRunWithoutWaitingWhereverTheyComeFrom)
{
    EventLoop loop;
    std::vector<std::string> ran;
    loop.Post([&] {
        ran.push_back("outside");
        loop.Post([&] { ran.push_back("from a task"); });
    });
    loop.AddOneShot(std::chrono::milliseconds(0), [&] { loop.Post([&] { ran.push_back("from a timer"); }); });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(loop.RunUntil([&] { return ran.size() == 3; }, std::chrono::milliseconds(5000)));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1000));
    EXPECT_EQ(ran.front(), "outside");
}

#ifndef NDEBUG
// Debug builds stop at the first owner-only call made from another thread, whatever the method.
TEST(EventLoopDeathTest, OwnerOnlyCallsFromAnotherThreadStopADebugBuild)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::vector<std::function<void(EventLoop&)>> calls = {
        [](EventLoop& loop) { loop.AddOneShot(0ms, [] {}); },
        [](EventLoop& loop) { loop.CancelTimer(1); },
        [](EventLoop& loop) { loop.UnwatchFd(0); },
        [](EventLoop& loop) { loop.ProcessMessages(); },
    };
    for (const auto& call : calls) {
        EXPECT_DEATH(
            {
                EventLoop loop;
                std::thread other([&] { call(loop); });
                other.join();
            },
            "called from another thread");
    }
}
#endif
