// The date form of HTTP headers (If-Modified-Since).
#pragma once

#include <ctime>
#include <string>

namespace corvane {

// "Sun, 06 Nov 1994 08:49:37": the English day name, a comma and a blank, the two-digit day,
// the month name, the four-digit year and the time, of the moment in UTC. The caller appends
// " GMT".
std::string RFC1123_Date(std::time_t when);

}  // namespace corvane
