// The modification time of a file as MDTM reports it: in UTC, "YYYYMMDDHHMMSS.mmm".
#pragma once

#include <ctime>
#include <string>

namespace corvane {

// The MDTM time stamp of `path` (a real local path). The file's local modification time is
// turned into UTC with the local zone's offset in force now (not the one in force on the
// file's date), as the system always has; so across a change to or from daylight saving time
// the result is an hour away from the file's true UTC time. Empty when the time cannot be read.
// A path ending in "/" or "\" gets "." appended first.
std::string FileUtcStr(const std::string& path);

// The same conversion for a moment already read: the local time of `mtime` less `offsetNow`
// seconds, formatted as the MDTM time stamp. Empty when the host cannot convert the moment.
std::string MdtmTimeStamp(std::time_t mtime, long offsetNow);

}  // namespace corvane
