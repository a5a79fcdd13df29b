// Blocking look-ups of service, protocol and host names in the host's databases. Each returns
// 0 on success and otherwise the system's socket error number (see win_errors.h).
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

// The port of a named service of a protocol ("ftp", "tcp" -> 21), in host order.
int LookupServicePort(const std::string& service, const std::string& protocol, int& port);

// The number of a named protocol ("tcp" -> 6, "udp" -> 17).
int LookupProtocolNumber(const std::string& protocol, int& number);

// The first IPv4 address of a host name, as a host-order number (a.b.c.d is a<<24 | b<<16 ...).
int LookupHostIPv4(const std::string& host, std::uint32_t& address);

// The machine's host name; false when the host cannot tell it.
bool LookupLocalHostName(std::string& name);

}  // namespace corvane
