// The session view's action filter: the labels offered, and which sessions each selects.
// Each label selects by what it names ("Uploading" the sessions whose last action was an
// upload, "Searching" searches), not by its position in the list.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace corvane {

inline constexpr std::array<std::string_view, 11> kActionFilterLabels = {
    "All Actions",      "Authenticating",     "Changing Directory", "Deleting",  "Directory listing", "Downloading",
    "Making Directory", "Removing Directory", "Renaming/Moving",    "Searching", "Uploading"};

// Whether a session whose last action code is `action` is shown under the filter at
// `position` of kActionFilterLabels. Position 0 ("All Actions") and any position outside the
// list show every session. "Searching" covers the MD5 requests too, the other half of a
// peer's search.
bool ActionFilterShows(int position, std::int32_t action);

}  // namespace corvane
