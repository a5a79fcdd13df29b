#include "platform/calendar_time.h"

namespace corvane {
namespace {

CalendarTime FromTm(const std::tm& parts)
{
    CalendarTime time;
    time.year = parts.tm_year + 1900;
    time.month = parts.tm_mon + 1;
    time.day = parts.tm_mday;
    time.hour = parts.tm_hour;
    time.minute = parts.tm_min;
    time.second = parts.tm_sec;
    time.utcOffset = parts.tm_gmtoff;
    time.valid = true;
    return time;
}

}  // namespace

CalendarTime LocalCalendarTime(std::time_t when)
{
    std::tm parts{};
    if (localtime_r(&when, &parts) == nullptr) return CalendarTime{};
    return FromTm(parts);
}

CalendarTime UtcCalendarTime(std::time_t when)
{
    std::tm parts{};
    if (gmtime_r(&when, &parts) == nullptr) return CalendarTime{};
    CalendarTime time = FromTm(parts);
    time.utcOffset = 0;
    return time;
}

long LocalUtcOffsetNow() { return LocalCalendarTime(std::time(nullptr)).utcOffset; }

}  // namespace corvane
