// MDTM's time stamps: the file's true UTC time, in a zone with daylight saving time too.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "ftp/ftp_file_times.h"

using namespace corvane;

namespace {

// Runs a test in a fixed time zone and puts the process's own back afterwards.
class FixedZone {
public:
    explicit FixedZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ")) saved_ = old, hadZone_ = true;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~FixedZone()
    {
        if (hadZone_) ::setenv("TZ", saved_.c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::string saved_;
    bool hadZone_ = false;
};

std::time_t UtcMoment(int year, int month, int day, int hour, int minute, int second)
{
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    return timegm(&parts);
}

}  // namespace

TEST(MdtmTimeStamp, IsTheUtcTimeOfTheMomentInEitherSeason)
{
    FixedZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(MdtmTimeStamp(UtcMoment(2020, 7, 1, 12, 34, 56)), "20200701123456.000");
    // Every field is zero-padded; an hour that is already the next day locally is not.
    EXPECT_EQ(MdtmTimeStamp(UtcMoment(2009, 1, 2, 23, 5, 7)), "20090102230507.000");
}

TEST(FileUtcStr, IsEmptyForAPathThatNamesNothing)
{
    EXPECT_EQ(FileUtcStr("Q:\\nothing.txt"), "");
    EXPECT_EQ(FileUtcStr(""), "");
}
