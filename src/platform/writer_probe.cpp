#include "platform/writer_probe.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/drive_map.h"
#include "platform/file_stream.h"
#include "platform/fs.h"

namespace corvane::fs {

bool RealFileOpenForWriting(std::string_view realPath)
{
    const auto hostPath = DriveMap::HostPathOf(realPath);
    if (!hostPath) return false;
    struct stat st {};
    if (::stat(hostPath->c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    // A file the host refuses to us for writing cannot be held by one of our writers either.
    if (::access(hostPath->c_str(), W_OK) != 0) return false;
    // The writer registry refuses a second writer: opening one (and closing it at once, without
    // touching the content) tells whether a first one exists.
    FileStream probe;
    if (probe.OpenHost(*hostPath, FileStream::Mode::ReadWrite)) return false;
    return LastFsError() == FsError::AccessDenied;
}

}  // namespace corvane::fs
