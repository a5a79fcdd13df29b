// The machine's local IPv4 address list, as the system walks it (first real address, first
// address for "0.0.0.0").
#pragma once

#include <string>
#include <vector>

namespace corvane {

// The dotted IPv4 addresses of the host's interfaces that are up: the non-loopback ones first,
// in interface order, the loopback ones last. Empty when the host reports none.
// Any thread; blocking only briefly (one getifaddrs call).
std::vector<std::string> LocalIPv4Addresses();

}  // namespace corvane
