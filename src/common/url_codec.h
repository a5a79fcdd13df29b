// Percent-encoding of URL parts, as the HTTP client writes form values and query texts.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// ASCII letters and digits stay; every other byte becomes "%" and two upper-case hex digits.
std::string UrlEncode(std::string_view text);
// Every "%" with two hex digits (either case) becomes that byte; anything else stays as it is,
// a "%" without two hex digits included.
std::string UrlDecode(std::string_view text);

}  // namespace corvane
