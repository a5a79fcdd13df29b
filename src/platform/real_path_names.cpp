#include "platform/real_path_names.h"

namespace corvane {
namespace {
bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsSeparator(char c) { return c == '\\' || c == '/'; }
}  // namespace

std::optional<RealPathNames> SplitRealPathNames(std::string_view realPath)
{
    if (realPath.size() < 2 || !IsDriveLetter(realPath[0]) || realPath[1] != ':') return std::nullopt;
    std::string_view rest = realPath.substr(2);
    if (!rest.empty() && !IsSeparator(rest.front())) return std::nullopt;
    RealPathNames split;
    split.drive = realPath[0];
    std::size_t pos = 0;
    while (pos < rest.size()) {
        while (pos < rest.size() && IsSeparator(rest[pos])) ++pos;
        std::size_t end = pos;
        while (end < rest.size() && !IsSeparator(rest[end])) ++end;
        std::string_view name = rest.substr(pos, end - pos);
        pos = end;
        if (name.empty() || name == ".") continue;
        if (name == "..") {
            if (!split.names.empty()) split.names.pop_back();  // clamped at the root
            continue;
        }
        split.names.push_back(name);
    }
    split.trailingSeparator = !split.names.empty() && IsSeparator(rest.back());
    return split;
}

}  // namespace corvane
