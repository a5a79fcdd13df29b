// Which folder of the host a real path names, as the host tells folders apart (device and
// inode), so that a walk that reaches the same folder again through a symbolic link can tell.
// Any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace corvane::fs {

struct FolderIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FolderIdentity&) const = default;
};

// The identity of the folder the path names (links followed); nothing when the path names no
// folder.
std::optional<FolderIdentity> RealFolderIdentity(std::string_view realFolder);

}  // namespace corvane::fs
