// Calendar fields of a moment, in the host's local time zone or in UTC. The listing lines and
// the MDTM time stamps are built from these.
#pragma once

#include <ctime>

namespace corvane {

struct CalendarTime {
    int year = 0;   // four digits
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
    long utcOffset = 0;  // seconds east of UTC in force at that moment (0 for UTC)
    bool valid = false;  // false when the host could not convert the moment
};

// The moment in the local time zone, with the offset that was in force then. Any thread.
CalendarTime LocalCalendarTime(std::time_t when);
// The moment in UTC.
CalendarTime UtcCalendarTime(std::time_t when);
// The moment that the UTC calendar fields name; false when a field is out of its range (the
// 31st of a 30-day month, hour 24, second 60) or the host cannot hold the moment.
bool UtcMomentOf(const CalendarTime& utc, std::time_t& when);

}  // namespace corvane
