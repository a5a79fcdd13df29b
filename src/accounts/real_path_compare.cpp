#include "accounts/real_path_compare.h"

#include <cctype>
#include <vector>

namespace corvane {
namespace {
bool HasDriveLetter(std::string_view p) {
  return p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0]));
}
}  // namespace

bool SameRealPathText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (HasDriveLetter(a) && HasDriveLetter(b)) {
    if (std::toupper(static_cast<unsigned char>(a[0])) != std::toupper(static_cast<unsigned char>(b[0])))
      return false;
    return a.substr(1) == b.substr(1);
  }
  return a == b;
}

std::string WithTrailingBackslash(std::string_view path) {
  std::string out(path);
  if (!out.empty() && out.back() != '\\') out += '\\';
  return out;
}

bool SameRealFolder(std::string_view a, std::string_view b) {
  return SameRealPathText(WithTrailingBackslash(a), WithTrailingBackslash(b));
}

std::string RemoveDotDotSegments(std::string_view path) {
  std::vector<std::string_view> kept;
  size_t start = 0;
  bool first = true;
  for (;;) {
    size_t at = path.find('\\', start);
    std::string_view segment =
        path.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start);
    if (!first && segment == "..") {
      if (kept.size() > 1) kept.pop_back();
    } else {
      kept.push_back(segment);
    }
    first = false;
    if (at == std::string_view::npos) break;
    start = at + 1;
  }
  std::string out;
  for (size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) out += '\\';
    out += kept[i];
  }
  // A ".." that was the last segment leaves its parent as a folder: keep the "\".
  if (path.size() >= 2 && path.substr(path.size() - 2) == ".." &&
      (path.size() == 2 || path[path.size() - 3] == '\\'))
    out = WithTrailingBackslash(out);
  return out;
}

std::string ParentRealFolder(std::string_view folder) {
  std::string_view p = folder;
  if (!p.empty() && p.back() == '\\') p.remove_suffix(1);
  size_t last = p.rfind('\\');
  if (last == std::string_view::npos) return {};
  return std::string(p.substr(0, last + 1));
}

}  // namespace corvane
