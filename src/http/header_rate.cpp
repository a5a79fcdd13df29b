#include "http/header_rate.h"

namespace corvane {

bool HeaderTooSlow(std::size_t bytes, std::chrono::steady_clock::duration elapsed, int minBytesPerSecond)
{
    using std::chrono::milliseconds;
    if (minBytesPerSecond <= 0 || elapsed <= std::chrono::seconds(1)) return false;
    const auto ms = std::chrono::duration_cast<milliseconds>(elapsed).count();
    // bytes / seconds < rate, without dividing.
    return static_cast<long double>(bytes) * 1000 < static_cast<long double>(minBytesPerSecond) * ms;
}

}  // namespace corvane
