#include "accounts/real_path_compare.h"

#include <cctype>
#include <vector>

#include "common/path_text.h"

namespace corvane {
namespace {
bool HasDriveLetter(std::string_view p)
{
    return p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0]));
}
}  // namespace

bool SameRealPathText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    if (HasDriveLetter(a) && HasDriveLetter(b)) {
        if (std::toupper(static_cast<unsigned char>(a[0])) != std::toupper(static_cast<unsigned char>(b[0])))
            return false;
        return a.substr(1) == b.substr(1);
    }
    return a == b;
}

bool SameRealFolder(std::string_view a, std::string_view b)
{
    return SameRealPathText(AddTrailingBackslash(a), AddTrailingBackslash(b));
}

namespace {
// "C:\a\." and "C:\a\b\.." name folders although they do not end in a separator.
bool EndsInDotName(std::string_view path)
{
    size_t separator = path.find_last_of("\\/");
    std::string_view last = separator == std::string_view::npos ? path : path.substr(separator + 1);
    return last == "." || last == "..";
}
}  // namespace

std::string RemoveDotDotSegments(std::string_view path)
{
    // The rules must judge the very folder the host opens for this text, so the text is
    // normalised as the drive map translates it (FullRealPath), not by a looser reading of its
    // own: otherwise "C:\Pub\.\" or "C:\Pub\\" would pass for a subfolder of C:\Pub\ and take
    // the rights of an inheriting entry above it instead of C:\Pub\'s own entry.
    std::string full = FullRealPath(path);
    if (full.empty()) return std::string(path);  // not a drive path: it names nothing here
    if (EndsInDotName(path)) full = AddTrailingBackslash(full);
    return full;
}

}  // namespace corvane
