#include "ftp/ftp_file_times.h"

#include <cstdio>

#include "platform/calendar_time.h"
#include "platform/fs.h"

namespace corvane {

std::string MdtmTimeStamp(std::time_t mtime, long offsetNow)
{
    const CalendarTime local = LocalCalendarTime(mtime);
    if (!local.valid) return std::string();
    // The local wall-clock time read back as UTC by the offset of today.
    const CalendarTime utc = UtcCalendarTime(mtime + local.utcOffset - offsetNow);
    if (!utc.valid) return std::string();
    char text[48];
    // The host's times are whole seconds: the milliseconds are always zero.
    const int length = std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d.%03d", utc.year, utc.month, utc.day,
                                     utc.hour, utc.minute, utc.second, 0);
    return length > 0 ? std::string(text, static_cast<std::size_t>(length)) : std::string();
}

std::string FileUtcStr(const std::string& path)
{
    std::string query = path;
    if (!query.empty() && (query.back() == '/' || query.back() == '\\')) query += '.';
    const auto info = fs::StatReal(query);
    if (!info) return std::string();
    return MdtmTimeStamp(info->mtime, LocalUtcOffsetNow());
}

}  // namespace corvane
