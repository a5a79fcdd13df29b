// The one lexical normalisation of a real path ("C:\a\..\b\"): "\" and "/" separate names,
// "." and empty names are skipped, and ".." removes the name before it, clamped at the drive's
// root. Both the translation to host paths and the system's own full-path text build on it.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace corvane {

struct RealPathNames {
    char drive = 0;                       // the letter as written
    std::vector<std::string_view> names;  // views into the text that was split
    bool trailingSeparator = false;       // it names a folder ("C:\a\"); never for the root
};

// Nothing for a text that is not a drive letter, ":" and then nothing or a separator
// ("C:x", drive-relative, names nothing).
std::optional<RealPathNames> SplitRealPathNames(std::string_view realPath);

}  // namespace corvane
