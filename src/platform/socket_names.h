// Blocking look-ups of service, protocol and host names in the host's databases. Each returns
// 0 on success and otherwise the system's socket error number (see win_errors.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

// The port of a named service of a protocol ("ftp", "tcp" -> 21), in host order.
int LookupServicePort(const std::string& service, const std::string& protocol, int& port);

// The number of a named protocol ("tcp" -> 6, "udp" -> 17).
int LookupProtocolNumber(const std::string& protocol, int& number);

// The first IPv4 address of a host name, as a host-order number (a.b.c.d is a<<24 | b<<16 ...).
int LookupHostIPv4(const std::string& host, std::uint32_t& address);

// The first IPv6 address of a host name (16 bytes, network order), for a name that has no IPv4
// address.
int LookupHostIPv6(const std::string& host, std::array<std::uint8_t, 16>& address);

// The machine's host name; false when the host cannot tell it.
bool LookupLocalHostName(std::string& name);

// What a lookup found about one host.
struct HostEntry {
    std::string name;                      // the official (canonical) name
    std::vector<std::string> aliases;      // other names it was asked by or is known under
    std::vector<std::uint32_t> addresses;  // host order, the resolver's order, no repetitions
};

// Forward lookup of a host name: 0, or the system's socket error number (11001 host not found,
// 11002 try again, ...). Any thread; blocks for as long as the resolver takes.
int LookupHostEntryByName(const std::string& host, HostEntry& entry);

// Reverse lookup of a host-order IPv4 address: the name the resolver gives it (an address
// without a name is 11001). Any thread; blocking.
int LookupHostEntryByAddress(std::uint32_t address, HostEntry& entry);
// The same for an IPv6 address (the entry's IPv4 address list stays empty).
int LookupHostEntryByAddress6(const std::array<std::uint8_t, 16>& address, HostEntry& entry);

}  // namespace corvane
