// Blanks around a text: property values and header values are stored without them.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The text without the spaces at either end (the FTP engine's TrimBlanks also drops control
// characters).
std::string TrimSpaces(std::string_view text);
// The text without blanks and tabs at either end.
std::string TrimWhitespace(std::string_view text);

}  // namespace corvane
