// Waiting in a test for a descriptor to become ready, with a limit so that a fault fails the
// test instead of hanging it.
#pragma once

#include <poll.h>

namespace corvane::testing {

// Waits up to two seconds for the descriptor to become ready.
inline bool WaitFor(int fd, short events)
{
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, 2000) == 1;
}

}  // namespace corvane::testing
