#include "common/path_text.h"

#include <vector>

#include "common/file_queries.h"
#include "platform/real_path_names.h"

namespace corvane {
namespace {

char UpperDrive(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string_view WithoutFinalBackslash(std::string_view p)
{
    if (!p.empty() && p.back() == '\\') p.remove_suffix(1);
    return p;
}

}  // namespace

std::string AddTrailingBackslash(std::string_view s)
{
    std::string result(s);
    if (result.empty() || result.back() != '\\') result += '\\';
    return result;
}

std::string RemoveTrailingBackslash(std::string_view s) { return std::string(WithoutFinalBackslash(s)); }

std::string JoinPath(std::string_view a, std::string_view b)
{
    std::string result = AddTrailingBackslash(a);
    if (!b.empty() && b.front() == '\\' && !a.empty()) b.remove_prefix(1);
    result.append(b);
    return result;
}

std::string ParentFolderOf(std::string_view path)
{
    const std::string_view entry = WithoutFinalBackslash(path);
    const std::size_t cut = entry.rfind('\\');
    return cut == std::string_view::npos ? std::string() : std::string(entry.substr(0, cut + 1));
}

std::string FolderOfPath(std::string_view path)
{
    std::string_view p = WithoutFinalBackslash(path);
    if (FolderExists(p)) return std::string(p);
    std::size_t last = p.rfind('\\');
    return last == std::string_view::npos ? std::string() : std::string(p.substr(0, last));
}

std::string NameOfPath(std::string_view path)
{
    std::string_view p = WithoutFinalBackslash(path);
    if (FolderExists(p)) return std::string(p);
    std::size_t last = p.rfind('\\');
    return std::string(last == std::string_view::npos ? p : p.substr(last + 1));
}

std::string SlashesToBackslashes(std::string_view s)
{
    if (s.empty()) return "\\";
    std::string result(s);
    for (char& c : result)
        if (c == '/') c = '\\';
    return result;
}

std::string BackslashesToSlashes(std::string_view s)
{
    std::string result(s);
    for (char& c : result)
        if (c == '\\') c = '/';
    return result;
}

std::string ExtensionOf(std::string_view s)
{
    std::size_t dot = s.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(s.substr(dot));
}

void SplitAtStar(std::string& s, std::string& first)
{
    std::size_t star = s.find('*');
    if (star == std::string::npos) {
        first = s;
        return;
    }
    first = s.substr(0, star);
    s.erase(0, star + 1);
}

std::string FullRealPath(std::string_view path)
{
    const auto split = SplitRealPathNames(path);
    if (!split) return {};
    std::string full{split->drive, ':', '\\'};
    for (std::size_t i = 0; i < split->names.size(); ++i) {
        if (i > 0) full += '\\';
        full.append(split->names[i]);
    }
    if (split->trailingSeparator) full += '\\';
    return full;
}

bool IsInsideFolder(std::string_view path, std::string_view root)
{
    const std::string full = FullRealPath(path);
    if (full.empty() || root.empty()) return false;
    const std::string prefix = std::string(root) + "\\";
    if (full.size() < prefix.size()) return false;
    // The drive letter is the same drive in either case; the rest names host folders, which
    // this host tells apart by case.
    if (UpperDrive(full[0]) != UpperDrive(prefix[0])) return false;
    return full.compare(1, prefix.size() - 1, prefix, 1, prefix.size() - 1) == 0;
}

}  // namespace corvane
