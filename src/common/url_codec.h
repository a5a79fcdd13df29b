// Percent-encoding of URL parts, as the HTTP client writes form values and query texts.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// ASCII letters and digits stay; every other byte becomes "%" and two upper-case hex digits.
std::string UrlEncode(std::string_view text);
// The form encoding of the index-server and account requests: ASCII letters and digits stay,
// a blank becomes "+", every other byte "%" and two lower-case hex digits ("*" gives %2a).
std::string FormEncode(std::string_view text);
// Every "%" with two hex digits (either case) becomes that byte; anything else stays as it is,
// a "%" without two hex digits included.
std::string UrlDecode(std::string_view text);

}  // namespace corvane
