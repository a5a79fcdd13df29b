#include "platform/folder_identity.h"

#include <sys/stat.h>

#include "platform/drive_map.h"

namespace corvane::fs {

std::optional<FolderIdentity> RealFolderIdentity(std::string_view realFolder)
{
    const auto hostPath = DriveMap::HostPathOf(realFolder);
    struct stat info {};
    if (!hostPath || ::stat(hostPath->c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
    return FolderIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace corvane::fs
