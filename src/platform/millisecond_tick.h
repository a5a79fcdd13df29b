// The system's millisecond tick: milliseconds since boot, wrapping at 2^32.
#pragma once

#include <cstdint>

namespace corvane {

// CLOCK_MONOTONIC in whole milliseconds, cut to 32 bits. Differences of two ticks taken less
// than 49 days apart are right across the wrap when computed in 32-bit unsigned arithmetic.
std::uint32_t MillisecondTick();

}  // namespace corvane
