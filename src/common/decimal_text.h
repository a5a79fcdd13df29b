// Decimal numbers read from stored texts.
#pragma once

#include <optional>
#include <string_view>

namespace corvane {

// An optional sign ("+" or "-") and decimal digits only, within 32 bits; nothing for any other
// text (empty, blanks, letters, 2^31).
std::optional<int> ParseInt32(std::string_view text);

}  // namespace corvane
