#include "core/sm_throttle.h"

#include <chrono>
#include <thread>

#include "platform/millisecond_tick.h"

namespace corvane {

namespace {

// A pause in whole milliseconds, truncated toward zero; a value beyond 32 bits (a huge window
// over a tiny limit) is held at the 32-bit bounds instead of wrapping.
std::int32_t TruncatedPause(double x)
{
    if (!(x == x)) return 0;  // NaN
    if (x >= 2147483647.0) return 2147483647;
    if (x <= -2147483648.0) return -2147483647 - 1;
    return static_cast<std::int32_t>(x);
}

}  // namespace

TSMThrottle::TSMThrottle(TickSource tick)
    : tick_(tick ? std::move(tick) : TickSource(MillisecondTick))
{}

void TSMThrottle::Clear()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    counter_ = 0;
    sampleEvery_ = 1;
    sampleTick_ = 0;
    sampleBytes_ = 0;
    lastLimit_ = 0;
    lastDelay_ = 0;
    delta_ = 0;
    lastBytes_ = 0;
    windowBytes_ = 5;
    windowMs_ = 1;
    carry_ = 0;
}

std::int32_t TSMThrottle::Delay(std::int64_t bytes, std::int32_t limit, bool noWait)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    std::int32_t result = -1;
    const std::uint32_t now = tick_();
    delta_ = bytes - lastBytes_;
    if (sampleBytes_ != 0 && ++counter_ >= sampleEvery_) {
        counter_ = 0;
        windowBytes_ = bytes - sampleBytes_;
        windowMs_ = static_cast<std::int32_t>(now - sampleTick_);
        if (windowMs_ == 0) windowMs_ = 1;
        sampleBytes_ = bytes;
        sampleTick_ = now;
        // A limit of 0 or below other than "only measure" allows nothing to compute a pause
        // from; it is treated as measuring only.
        if (limit > 0) {
            result = ComputePause(bytes, limit);
            if (result >= 0 && !noWait) std::this_thread::sleep_for(std::chrono::milliseconds(result));
            lastDelay_ = result;
        }
    }
    lastBytes_ = bytes;
    if (sampleEvery_ == 1) {
        sampleTick_ = now;
        sampleBytes_ = bytes;
    }
    return result;
}

std::int32_t TSMThrottle::ComputePause(std::int64_t bytes, std::int32_t limit)
{
    return limit == lastLimit_ ? SteadyPause(limit) : FirstPause(bytes, limit);
}

// The last pause scaled by how far the measured rate is above or below the limit.
std::int32_t TSMThrottle::SteadyPause(std::int32_t limit)
{
    double rate = static_cast<double>(windowBytes_) / windowMs_;  // bytes per millisecond
    if (rate == 0) rate = 0.001;
    if (lastDelay_ == 0) lastDelay_ = 1;
    const double x = lastDelay_ * rate / (limit / 1000.0) + carry_;
    const std::int32_t d = TruncatedPause(x);
    carry_ = x - d;
    return d;
}

// The time the last window should have taken at the limit; it also picks the sampling rate.
std::int32_t TSMThrottle::FirstPause(std::int64_t bytes, std::int32_t limit)
{
    lastLimit_ = limit;
    std::int32_t d = TruncatedPause(static_cast<double>(windowBytes_) * 1000 / limit);
    const auto unsignedPause = static_cast<std::uint32_t>(d);
    sampleEvery_ = unsignedPause < 3 ? 50 : unsignedPause < 6 ? 30 : unsignedPause < 11 ? 10 : 1;
    if (sampleEvery_ > 1) {
        counter_ = 0;
        d = TruncatedPause(static_cast<double>(windowBytes_) * 1000 / (static_cast<double>(limit) / sampleEvery_));
        sampleBytes_ = bytes - delta_;
    }
    if (d > 10000) d = 5000;
    return d;
}

}  // namespace corvane
