#include "common/text_lines.h"

namespace corvane {

std::vector<std::string_view> TextLines(std::string_view content)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string_view::npos) end = content.size();
        std::string_view line = content.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

}  // namespace corvane
