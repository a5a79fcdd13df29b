// Free functions of the socket layer: name, port and protocol resolution and the dotted-address
// test. The resolving functions block the calling thread; errors raise ESocketException with the
// system's message texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "net/socket_exception.h"
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

// The machine's host name, at most 64 bytes.
std::string LocalHostName();

// Dotted text of a host-order IPv4 number.
std::string DottedAddress(std::uint32_t address);

}  // namespace corvane
