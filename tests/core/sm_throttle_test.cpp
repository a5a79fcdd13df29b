#include "core/sm_throttle.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

constexpr std::int32_t kBlock = 8196;

// A throttle on a clock that the test moves.
struct ThrottleOnTestClock {
    std::uint32_t now = 100000;
    TSMThrottle throttle{[this] { return now; }};
    ThrottleOnTestClock() { throttle.Clear(); }
    // Sends `blocks` more blocks, `msPerBlock` apart; the pause of the last one.
    std::int32_t Send(std::int64_t& bytes, int blocks, std::uint32_t msPerBlock, std::int32_t limit)
    {
        std::int32_t pause = -1;
        for (int i = 0; i < blocks; ++i) {
            now += msPerBlock;
            bytes += kBlock;
            pause = throttle.Delay(bytes, limit, true);
        }
        return pause;
    }
};

TEST(TSMThrottleTest, FirstBlockOnlyRecordsThenTheWindowSetsThePause)
{
    ThrottleOnTestClock t;
    std::int64_t bytes = 0;
    EXPECT_EQ(t.Send(bytes, 1, 10, 10240), -1);
    // One block of 8 196 bytes at 10 KB/s should take 800 ms.
    EXPECT_EQ(t.Send(bytes, 1, 10, 10240), 800);
}

TEST(TSMThrottleTest, SteadyPausesFollowTheMeasuredRate)
{
    ThrottleOnTestClock t;
    std::int64_t bytes = 0;
    t.Send(bytes, 1, 10, 10240);
    ASSERT_EQ(t.Send(bytes, 1, 10, 10240), 800);
    // The block took 810 ms (the pause plus 10): a little above 10 KB/s, so the pause grows
    // by rate/limit = (8196/810)/(10.24) = 0.988...: 800 * 0.988 = 790.
    const std::int32_t next = t.Send(bytes, 1, 810, 10240);
    EXPECT_EQ(next, 790);
    // Far too slow (4 s per block): the pause shrinks in proportion.
    EXPECT_LT(t.Send(bytes, 1, 4000, 10240), 200);
}

TEST(TSMThrottleTest, FirstPauseAboveTenSecondsIsCutButSteadyPausesAreNot)
{
    ThrottleOnTestClock t;
    std::int64_t bytes = 0;
    t.Send(bytes, 1, 10, 500);
    EXPECT_EQ(t.Send(bytes, 1, 10, 500), 5000);  // 16 392 ms at 500 bytes/s
    EXPECT_GT(t.Send(bytes, 1, 10, 500), 10000);
}

TEST(TSMThrottleTest, FastBlocksAreSampledLessOften)
{
    ThrottleOnTestClock t;
    std::int64_t bytes = 0;
    const std::int32_t limit = 10 * 1024 * 1024;
    t.Send(bytes, 1, 1, limit);
    // Under 3 ms per window: sample every 50 calls; the pause spreads over 50 blocks.
    EXPECT_EQ(t.Send(bytes, 1, 1, limit), 39);  // 8196 * 1000 / (10 MiB / 50)
    for (int i = 0; i < 49; ++i) EXPECT_EQ(t.Send(bytes, 1, 1, limit), -1) << i;
    EXPECT_NE(t.Send(bytes, 1, 1, limit), -1);
}

TEST(TSMThrottleTest, ChangedLimitRestartsFromTheWindowTime)
{
    ThrottleOnTestClock t;
    std::int64_t bytes = 0;
    t.Send(bytes, 1, 10, 10240);
    ASSERT_EQ(t.Send(bytes, 1, 10, 10240), 800);
    EXPECT_EQ(t.Send(bytes, 1, 810, 20480), 400);  // 8196 * 1000 / 20 480
}

TEST(TSMThrottleTest, MeasuringOnlyAndClearStartAfresh)
{
    ThrottleOnTestClock t;
    std::int64_t bytes = 0;
    EXPECT_EQ(t.Send(bytes, 3, 10, -1), -1);
    t.throttle.Clear();
    bytes = 0;
    EXPECT_EQ(t.Send(bytes, 1, 10, 10240), -1);
    EXPECT_EQ(t.Send(bytes, 1, 10, 10240), 800);
}

TEST(TSMThrottleTest, ByteCountsPastTwoGigabytesAndTheTickWrapKeepWorking)
{
    ThrottleOnTestClock t;
    t.now = 0xFFFFFFF0u;  // wraps during the next block
    std::int64_t bytes = 3LL * 1024 * 1024 * 1024;
    t.Send(bytes, 1, 10, 10240);
    EXPECT_EQ(t.Send(bytes, 1, 10, 10240), 800);
}

}  // namespace
}  // namespace corvane
