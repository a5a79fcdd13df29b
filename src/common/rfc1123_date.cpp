#include "common/rfc1123_date.h"

#include <cstdio>

#include "platform/calendar_time.h"

namespace corvane {
namespace {

// Day of the week of a civil date, 0 for Sunday (Sakamoto's method).
int DayOfWeek(int year, int month, int day)
{
    static constexpr int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) year -= 1;
    return (year + year / 4 - year / 100 + year / 400 + kOffsets[month - 1] + day) % 7;
}

}  // namespace

std::string RFC1123_Date(std::time_t when)
{
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const CalendarTime t = UtcCalendarTime(when);
    if (!t.valid) return {};
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d", kDays[DayOfWeek(t.year, t.month, t.day)], t.day,
                  kMonths[t.month - 1], t.year, t.hour, t.minute, t.second);
    return text;
}

}  // namespace corvane
