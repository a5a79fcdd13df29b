// Moving a file or folder to another real path, also between two drives whose host folders lie
// on different host file systems (where the host cannot rename).
#pragma once

#include <string_view>

namespace corvane::fs {

// Renames or moves like RenameReal (never replaces the target, never moves a drive root). When
// the host refuses because the target lies on another host file system, a regular file is
// copied there (bytes, permission bits and modification time, through a hidden temporary in the
// target folder that takes the target's name only when complete) and then removed at its old
// place. Either the whole file ends at the target and nothing at the source, or nothing changes:
// a failed copy removes its temporary, and a source that cannot be removed has its copy removed
// again. A file this process holds open for writing (an upload in progress) is not moved across
// file systems, and neither are folders. False (LastFsError tells why) when nothing was moved.
bool MoveReal(std::string_view fromRealPath, std::string_view toRealPath);

}  // namespace corvane::fs
