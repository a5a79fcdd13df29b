// Address texts: IPv6 reading and writing, whether an address is public, and the machine's own addresses.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// True for a dotted address that peers on the Internet can reach; false for texts shorter than
// 7 characters, "127.0.0.1", "0.0.0.0", 10.x, 172.16-31.x, 192.168.x and 169.254.x. The test
// looks at the text's leading characters only (so other 127.x addresses count as real).
// An IPv6 address is real unless it is unspecified, loopback, unique local (fc00::/7) or
// link-local (fe80::/10); an IPv4-mapped one is judged by its IPv4 address.
bool IsRealIp(std::string_view address);

// Walks the machine's local IPv4 addresses in order (LocalIPv4Addresses); the first real one is
// stored in `address` and the answer is true. False when none is real; `address` then holds the
// last address tried (unchanged when the machine has none).
bool HasRealLocalIp(std::string& address);

// When `address` is "0.0.0.0" or "::" (every address), replaces it with the machine's first local IPv4 address; when the
// interface list is empty, with the first address the machine's own host name resolves to
// (a blocking lookup). Unchanged otherwise, or when nothing is found.
void ResolveAnyAddress(std::string& address);

}  // namespace corvane

namespace corvane {

// IPv6 address texts. The one place that reads and writes them: the socket layer, the FTP
// extended commands, the rules and the web server's Host header all go through here.
using IPv6Bytes = std::array<std::uint8_t, 16>;

// A numeric IPv6 address (RFC 4291 text forms: eight groups of at most four hex digits, one
// "::" for a run of zero groups, a dotted IPv4 tail). Nothing for anything else: a zone index
// ("fe80::1%lo"), brackets, blanks, more than 39 characters, a second "::", a group of five digits.
std::optional<IPv6Bytes> ParseIPv6(std::string_view text);

// The canonical text of an address (RFC 5952: lower case, no leading zeros, the longest run of
// two or more zero groups as "::"); an IPv4-mapped address ends in dotted form (::ffff:1.2.3.4).
std::string FormatIPv6(const IPv6Bytes& address);

// True for ::ffff:a.b.c.d; `v4` then holds a.b.c.d as a host-order number.
bool IsIPv4Mapped(const IPv6Bytes& address, std::uint32_t& v4);

// True when the text is an IPv6 address (it holds a colon): such an address is written in
// brackets wherever a port follows it.
inline bool LooksIPv6(std::string_view address) { return address.find(':') != std::string_view::npos; }

// The host as a URL or a Host header writes it: an IPv6 address in brackets ("[::1]").
std::string UrlHost(std::string_view host);

// The key under which a client's connections are counted per address: the address itself, or,
// when `prefix64` is set, for an IPv6 address its /64 ("2001:db8:1:2::/64"), since one home or
// phone gets a whole /64 and may use any address of it. IPv4 addresses stay whole.
std::string AddressCountKey(const std::string& address, bool prefix64);

// "host:port", with the host in brackets when it is an IPv6 address ("[::1]:2121").
std::string HostPortText(std::string_view host, int port);

// The host and port of a "host[:port]" text as a web client sends it in its Host header: an
// IPv6 host comes in brackets ("[::1]:8080", "[::1]"). Nothing for a bracket left open, an
// address inside brackets that is not IPv6, text after the closing bracket that is not ":port",
// or a port that is empty, not decimal, 0 or above 65535. `port` is 0 when the text names none.
struct HostPort {
    std::string host;  // without brackets
    int port = 0;
};
std::optional<HostPort> ParseHostPort(std::string_view text);

}  // namespace corvane
