#include "ftp/ftp_file_times.h"

#include "ftp/ftp_mlsx_facts.h"
#include "platform/fs.h"

namespace corvane {

std::string MdtmTimeStamp(std::time_t mtime)
{
    const std::string utc = MlsxTime(mtime);
    // The host's times are whole seconds: the milliseconds are always zero.
    return utc.empty() ? utc : utc + ".000";
}

std::string FileUtcStr(const std::string& path)
{
    std::string query = path;
    if (!query.empty() && (query.back() == '/' || query.back() == '\\')) query += '.';
    const auto info = fs::StatReal(query);
    if (!info) return std::string();
    return MdtmTimeStamp(info->mtime);
}

}  // namespace corvane
