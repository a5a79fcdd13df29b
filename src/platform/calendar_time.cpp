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

bool UtcMomentOf(const CalendarTime& utc, std::time_t& when)
{
    std::tm parts{};
    parts.tm_year = utc.year - 1900;
    parts.tm_mon = utc.month - 1;
    parts.tm_mday = utc.day;
    parts.tm_hour = utc.hour;
    parts.tm_min = utc.minute;
    parts.tm_sec = utc.second;
    const std::time_t moment = timegm(&parts);
    // timegm carries fields that overflow into the next ones; a field out of range shows as a
    // moment whose fields differ from those given.
    const CalendarTime back = UtcCalendarTime(moment);
    if (!back.valid || back.year != utc.year || back.month != utc.month || back.day != utc.day ||
        back.hour != utc.hour || back.minute != utc.minute || back.second != utc.second)
        return false;
    when = moment;
    return true;
}

}  // namespace corvane
