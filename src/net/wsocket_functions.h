// Free functions of the socket layer: name, port and protocol resolution and the dotted-address
// test. The resolving functions block the calling thread; errors raise ESocketException with the
// system's message texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/socket_exception.h"
#include "platform/name_lookup.h"
#include "platform/socket_api.h"
#include "platform/win_errors.h"

namespace corvane {

// True when the text, after leading blanks, is four decimal groups of at most 255 separated by
// exactly three dots with a digit after every dot, optionally followed by blanks.
bool WSocketIsDottedIP(std::string_view text);

// A dotted address converts directly ("255.255.255.255" included); other text is looked up by
// name. The address is a host-order number (a.b.c.d is a<<24 | b<<16 | c<<8 | d).
std::uint32_t WSocketResolveHost(const std::string& text);

// Text that starts with a digit is read as a decimal number (its leading digits); other text is
// looked up as a service name of the protocol. Host-order port number.
int WSocketResolvePort(const std::string& port, const std::string& proto);

// Digits give the number; other text is looked up as a protocol name.
int WSocketResolveProto(const std::string& proto);

// LocalHostName(), the machine's host name (at most 64 bytes on Linux), is the platform's own
// (platform/name_lookup.h): one definition for the whole program. The host's gethostname cannot
// fail with the buffer it is given, so there is no "Winsock.GetHostName failed" to raise.

// Dotted text of a host-order IPv4 number.
std::string DottedAddress(std::uint32_t address);

// The address of an endpoint as text: dotted for IPv4, the canonical IPv6 form otherwise.
std::string EndpointAddressText(const sockapi::Endpoint& endpoint);

// As WSocketResolveHost, for either family: an IPv6 address (brackets allowed, "[::1]") is read
// as it is, a name without an IPv4 address takes its first IPv6 one. The port is left at 0.
sockapi::Endpoint WSocketResolveEndpoint(const std::string& text);

// True for the texts that mean "every local address": empty, "0.0.0.0" and "::".
bool IsAnyAddressText(std::string_view text);

// A host as the blocking lookups describe it.
struct THostEnt {
    std::string Name;  // the official name
    std::vector<std::string> Aliases;
    std::vector<std::string> Addresses;  // dotted IPv4 addresses, the resolver's order
};

// Blocking lookup of a host name; nothing when the resolver knows no such host. Empty text or
// text longer than 256 characters raises "WSocketGetHostByName: Invalid Hostname.".
std::optional<THostEnt> WSocketGetHostByName(const std::string& name);

// Blocking reverse lookup of a dotted address; nothing when it has no name (or is no address).
// Empty text or text longer than 256 characters raises "WSocketGetHostByAddr: Invalid address.".
std::optional<THostEnt> WSocketGetHostByAddr(const std::string& ip);

// The host name of an address; empty when it has none. Blocking.
std::string WSocketResolveIp(const std::string& ip);

// The machine's IPv4 addresses as dotted texts: non-loopback interfaces first, loopback last.
// Each call refills the layer's one list and returns a copy of it, so that a caller on one
// thread never reads the list while another thread refills it.
std::vector<std::string> LocalIPList();

}  // namespace corvane
