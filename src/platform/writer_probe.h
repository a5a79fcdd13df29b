// Whether a file is being written by this process (an upload in progress), as the system's home
// platform would tell by its share modes: there, such a file cannot be deleted or moved away.
#pragma once

#include <string_view>

namespace corvane::fs {

// True when the real path names a regular file that a FileStream of this process holds open for
// writing. False for every other entry, for files the host would not let this process write
// anyway, and for paths that name nothing. Any thread.
bool RealFileOpenForWriting(std::string_view realPath);

}  // namespace corvane::fs
