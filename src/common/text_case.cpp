#include "common/text_case.h"

namespace corvane {
namespace {

char FoldChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string FoldCase(std::string_view s)
{
    std::string folded(s);
    for (char& c : folded) c = FoldChar(c);
    return folded;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldChar(a[i]) != FoldChar(b[i])) return false;
    return true;
}

}  // namespace corvane
