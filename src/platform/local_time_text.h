// The local date and time as the operator reads them in log lines.
#pragma once

#include <ctime>
#include <string>

namespace corvane {

// The locale's short date, a blank, and its long time (LC_TIME of the C library's current
// locale: "%x %X"), with the year always in four digits ("12/09/2026 13:05:33" in the "C"
// locale, whose own short date would give "12/09/26"). Local time zone. Any thread.
std::string LocalDateTimeText(std::time_t when);
std::string LocalDateTimeText();  // now

}  // namespace corvane
