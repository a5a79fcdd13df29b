// IPv4 address texts: whether an address is public, and the machine's own addresses.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// True for a dotted address that peers on the Internet can reach; false for texts shorter than
// 7 characters, "127.0.0.1", "0.0.0.0", 10.x, 172.16-31.x, 192.168.x and 169.254.x. The test
// looks at the text's leading characters only (so other 127.x addresses count as real).
bool IsRealIp(std::string_view address);

// Walks the machine's local IPv4 addresses in order (LocalIPv4Addresses); the first real one is
// stored in `address` and the answer is true. False when none is real; `address` then holds the
// last address tried (unchanged when the machine has none).
bool HasRealLocalIp(std::string& address);

// When `address` is "0.0.0.0", replaces it with the machine's first local IPv4 address; when the
// interface list is empty, with the first address the machine's own host name resolves to
// (a blocking lookup). Unchanged otherwise, or when nothing is found.
void ResolveAnyAddress(std::string& address);

}  // namespace corvane
