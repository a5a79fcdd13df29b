#include "common/file_queries.h"

#include "common/constants.h"
#include "platform/fs.h"

namespace corvane {

bool FolderExists(std::string_view realPath) { return fs::RealFolderExists(realPath); }

std::uint64_t FileSizeOf(std::string_view realPath)
{
    if (!realPath.empty() && realPath.back() == '\\') realPath.remove_suffix(1);
    auto info = fs::FindFirstReal(realPath);
    return info ? static_cast<std::uint64_t>(info->size) : 0;
}

std::time_t FileLastWriteTime(std::string_view realPath)
{
    if (realPath.size() > 3 && realPath.back() == '\\') realPath.remove_suffix(1);
    auto info = fs::StatReal(realPath);
    return info ? info->mtime : 0;
}

std::string StripListingMarker(std::string_view key) { return std::string(key.substr(0, key.find(kListingMarker))); }

}  // namespace corvane
