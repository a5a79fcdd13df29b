#include "platform/entry_stamp.h"

#include <sys/stat.h>

#include "platform/drive_map.h"

namespace corvane::fs {
namespace {

std::int64_t Nanoseconds(const struct timespec& time)
{
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

}  // namespace

std::optional<EntryStamp> RealEntryStamp(std::string_view realPath)
{
    const auto hostPath = DriveMap::HostPathOf(realPath);
    struct stat info {};
    if (!hostPath || ::stat(hostPath->c_str(), &info) != 0) return std::nullopt;
    EntryStamp stamp;
    stamp.isFolder = S_ISDIR(info.st_mode);
    stamp.size = stamp.isFolder ? 0 : static_cast<std::int64_t>(info.st_size);
    stamp.writeTime = Nanoseconds(info.st_mtim);
    stamp.changeTime = Nanoseconds(info.st_ctim);
    stamp.device = static_cast<std::uint64_t>(info.st_dev);
    stamp.inode = static_cast<std::uint64_t>(info.st_ino);
    return stamp;
}

}  // namespace corvane::fs
