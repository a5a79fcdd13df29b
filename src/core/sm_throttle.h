// TSMThrottle: the adaptive pause of a rate-limited download. After each block the engine has
// sent, Delay says how long to hold the next one so that the transfer keeps to the account's
// rate. One per FTP client; server thread only.
//
// It samples the transfer's byte count every 1, 10, 30 or 50 calls (fewer samples when the
// pauses are short, so the tick's resolution does not dominate) and scales the last pause by
// the measured rate over the limit, carrying the fraction of a millisecond to the next pause.
#pragma once

#include <cstdint>
#include <functional>

#include "common/thread_owner.h"

namespace corvane {

class TSMThrottle {
public:
    using TickSource = std::function<std::uint32_t()>;

    // `tick` gives the millisecond tick (MillisecondTick by default; tests give their own).
    explicit TSMThrottle(TickSource tick = nullptr);

    // Back to the starting state; called when a download's data connection opens.
    void Clear();

    // `bytes`: the transfer's running byte count; `limit`: the allowed rate in bytes per second
    // (-1 only measures); `noWait`: compute without sleeping. The pause in milliseconds, or -1
    // when no pause was computed on this call (the first call after Clear only records where
    // the transfer starts).
    std::int32_t Delay(std::int64_t bytes, std::int32_t limit, bool noWait);

private:
    std::int32_t ComputePause(std::int64_t bytes, std::int32_t limit);
    std::int32_t SteadyPause(std::int32_t limit);
    std::int32_t FirstPause(std::int64_t bytes, std::int32_t limit);

    TickSource tick_;
    std::int32_t counter_ = 0;
    std::int32_t sampleEvery_ = 1;
    std::uint32_t sampleTick_ = 0;
    std::int64_t sampleBytes_ = 0;  // byte positions are 64-bit: downloads pass 2 GiB
    std::int32_t lastLimit_ = 0;
    std::int32_t lastDelay_ = 0;
    std::int64_t delta_ = 0;
    std::int64_t lastBytes_ = 0;
    std::int64_t windowBytes_ = 5;
    std::int32_t windowMs_ = 1;
    double carry_ = 0;
    ThreadOwner owner_;
};

}  // namespace corvane
