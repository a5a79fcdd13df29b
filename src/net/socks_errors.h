// Error codes of the SOCKS layer, reported through OnSocksError and as the error of
// OnSessionConnected and OnSessionClosed. They sit above the socket error numbers (10004-11004).
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

constexpr std::uint16_t kSocksLogicError = 20001;           // "TWSocket logic error", "too much data availaible"
constexpr std::uint16_t kSocksVersionError = 20002;         // "socks version error"
constexpr std::uint16_t kSocksMethodNotAcceptable = 20003;  // "authentification method not acceptable"
// Version 5 reply codes 1 to 8 are 20004 to 20011, in that order.
constexpr std::uint16_t kSocksReplyBase = 20004;
constexpr std::uint16_t kSocksConnectionRefused = 20008;    // "connection refused"
constexpr std::uint16_t kSocksAddressNotSupported = 20011;  // "address type not supported"
constexpr std::uint16_t kSocksUnassigned = 20012;           // "unassigned error #" + reply code
constexpr std::uint16_t kSocksInternalError = 20013;        // "internal error"
// A request field over what the request can carry (or a reply over the reply buffer): refused
// before anything is sent, never cut short.
constexpr std::uint16_t kSocksFieldTooLong = 20014;
// "authentification failed" (version 4 reply 93) or "socks authentication failed" (RFC 1929)
constexpr std::uint16_t kSocksAuthFailed = 20015;
constexpr std::uint16_t kSocksRequestRejected = 20016;  // "request rejected or failed"
constexpr std::uint16_t kSocksCannotResolve = 20017;    // exception class name, blank, message

inline bool IsSocksError(int code) { return code >= kSocksLogicError && code <= kSocksCannotResolve; }

// The fixed text of a code (the first text where a code has two; empty for 20014 and 20017,
// whose texts depend on the case).
std::string SocksErrorText(int code);

}  // namespace corvane
