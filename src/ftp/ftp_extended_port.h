// The texts of the extended data-connection commands (RFC 2428): the parameters of EPRT and
// the reply to EPSV. Texts only; the commands are TFtpServer::CommandEPRT and CommandEPSV.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// EPRT's "<d><protocol><d><address><d><port><d>": the delimiter is the first character (any
// printable character but a blank), the protocol and the port are decimal numbers.
struct TFtpEprtParams {
    long protocol = 0;  // 1 IPv4, 2 IPv6, anything else unknown
    std::string address;
    long port = 0;  // capped above 65535, so a long run of digits still reads as too large
};

// Nothing when the text is not of that form (missing delimiters, an empty or non-decimal
// protocol or port, an empty address, text after the last delimiter).
std::optional<TFtpEprtParams> ParseEprtParams(std::string_view params);

// The network protocol number of a control connection's peer address: 2 for IPv6, 1 for IPv4.
long ControlProtocol(const std::string& peerAddr);

// "522 Network protocol not supported, use (n)", naming the protocol that works on this
// control connection.
std::string ProtocolNotSupportedReply(long workingProtocol);

// EPRT's address in the canonical text of its protocol, as the control connection's peer is
// written: nothing when it is not an address of that protocol (an IPv4 address under 2, a zone
// index, brackets, 40 characters) or is the unspecified or broadcast address.
std::optional<std::string> EprtAddressText(const TFtpEprtParams& params);

// "229 Entering Extended Passive Mode (|||port|)"
std::string ExtendedPassiveReply(int port);

}  // namespace corvane
