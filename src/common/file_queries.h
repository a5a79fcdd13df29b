// Small questions about real local paths (C:\Pub\a.txt), answered through the file-system
// boundary. A path that names nothing (unmapped drive, UNC path) answers "not there".
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace corvane {

// Whether the path names an existing folder (a trailing "\" is allowed).
bool FolderExists(std::string_view realPath);

// The size in bytes of the first entry a file search finds for the path (one trailing "\"
// removed first): the file itself, or, when its last name holds "*" or "?", the first matching
// entry of the folder in listing order (fs::FindFirstReal; "." and ".." first where the folder
// has them). 0 for a folder or when nothing matches. 64-bit: the listings, the cache and HTTP
// send files past 4 GiB.
std::uint64_t FileSizeOf(std::string_view realPath);

// The last-write time of a file or folder, whole seconds since the epoch (a trailing "\" is
// removed first when the text is longer than 3 characters); 0 when there is none.
std::time_t FileLastWriteTime(std::string_view realPath);

// The text before the first "<HTTPDirectoryListing>", or the whole text.
std::string StripListingMarker(std::string_view key);

}  // namespace corvane
