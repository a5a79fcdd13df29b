// The lines of a text file's content: each ends at LF, a CR before the LF belongs to the line
// end, and a last line without an end still counts (an empty content has no line).
#pragma once

#include <string_view>
#include <vector>

namespace corvane {

// Views into `content`: they live as long as it does.
std::vector<std::string_view> TextLines(std::string_view content);

}  // namespace corvane
