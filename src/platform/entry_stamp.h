// What the cache compares to tell whether a file or folder has changed since it was copied:
// one stat of the entry, with its times at the host's full resolution (whole seconds would
// miss a rewrite within the same second) and its identity (a file replaced by another one that
// kept the old size and time is still another file). Any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace corvane::fs {

struct EntryStamp {
    bool isFolder = false;
    std::int64_t size = 0;        // bytes; 0 for a folder
    std::int64_t writeTime = 0;   // last modification, nanoseconds since the epoch
    std::int64_t changeTime = 0;  // last status change (a rename or replacement shows here)
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const EntryStamp&) const = default;
};

// The stamp of the entry a real path names (links followed); nothing when it names nothing.
std::optional<EntryStamp> RealEntryStamp(std::string_view realPath);

}  // namespace corvane::fs
