// The minimum pace of a request header: a client that trickles its header a few bytes at a time
// holds a connection for the whole header limit, and a crowd of them fills every slot.
#pragma once

#include <chrono>
#include <cstddef>

namespace corvane {

// True when `bytes` of a header that began `elapsed` ago came slower than `minBytesPerSecond`;
// the first second is free (a header split over a slow start is not punished), and a minimum
// of 0 lets every pace through.
bool HeaderTooSlow(std::size_t bytes, std::chrono::steady_clock::duration elapsed, int minBytesPerSecond);

}  // namespace corvane
