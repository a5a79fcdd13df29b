// A reverse name lookup that the calling handler waits for while the owner thread keeps serving
// its other events: the log lines that name a client's host wait for its name this way.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace corvane {

struct TReverseLookupResult {
    bool done = false;        // false when `stop` ended the wait first
    std::uint16_t error = 0;  // the lookup's error (11001 when it could not even start)
    std::string hostName;     // empty unless done without error
};

// Looks up the host name of a dotted address on a socket of its own, serving the calling
// thread's EventLoop until the answer arrives or `stop` returns true. The caller must check
// afterwards that the objects it holds still exist: other events ran meanwhile.
TReverseLookupResult WaitForReverseLookup(const std::string& address, const std::function<bool()>& stop);

}  // namespace corvane
