// A moment given by its local calendar date and time, for tests that check texts made from
// file times.
#pragma once

#include <ctime>

namespace corvane::testing {

inline std::time_t LocalMoment(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

}  // namespace corvane::testing
