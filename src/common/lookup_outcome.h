// How a connection remembers the reverse lookup of its peer's address: the host name, or the
// failure marker ("Error #" and the error number); empty while no lookup has ended. The IP rules
// let a failure pass, and the log lines name no host for it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

inline constexpr std::string_view kLookupFailureMarker = "Error #";

// An FTP client's lookup state: 0 while a lookup runs, then its error plus this offset (so that
// a success, error 0, is told from "still running").
inline constexpr std::int32_t kLookupEndedOffset = 65536;

// The outcome of an ended lookup: the name, or the marker and the error (a lookup that ended
// without error but without a name counts as "host not found").
std::string LookupOutcome(int error, const std::string& hostName);
bool IsLookupFailure(std::string_view outcome);
// The host name a log line shows: the name, empty after a failure (and before any outcome).
std::string ShownHostName(const std::string& outcome);

}  // namespace corvane
