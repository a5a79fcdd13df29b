// The modification time of a file as MDTM reports it: in UTC, "YYYYMMDDHHMMSS.mmm".
#pragma once

#include <ctime>
#include <string>

namespace corvane {

// The MDTM time stamp of `path` (a real local path): the file's true UTC time, the moment MLST's
// "modify" fact tells, whatever season the file's date and today fall in. Empty when the time
// cannot be read. A path ending in "/" or "\" gets "." appended first.
std::string FileUtcStr(const std::string& path);

// The MDTM time stamp of a moment already read. Empty when the host cannot convert the moment.
std::string MdtmTimeStamp(std::time_t mtime);

}  // namespace corvane
