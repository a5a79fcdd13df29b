// Blanks around a text: property values and header values are stored without them.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The text without the blanks (" ") at either end.
std::string TrimBlanks(std::string_view text);
// The text without blanks and tabs at either end.
std::string TrimWhitespace(std::string_view text);

}  // namespace corvane
