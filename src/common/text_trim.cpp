#include "common/text_trim.h"

namespace corvane {
namespace {

std::string TrimSet(std::string_view text, std::string_view set)
{
    const auto first = text.find_first_not_of(set);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(set);
    return std::string(text.substr(first, last - first + 1));
}

}  // namespace

std::string TrimSpaces(std::string_view text) { return TrimSet(text, " "); }
std::string TrimWhitespace(std::string_view text) { return TrimSet(text, " \t"); }

}  // namespace corvane
