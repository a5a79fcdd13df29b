// Comparing names without regard to case: account and group names, ini sections and keys,
// cache keys. Only ASCII letters fold; other bytes (UTF-8 included) compare exactly.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The text with A-Z turned into a-z.
std::string FoldCase(std::string_view s);
// Whether the texts are equal without regard to ASCII case.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace corvane
