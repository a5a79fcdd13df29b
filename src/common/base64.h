// Base64 (RFC 2045 alphabet, "=" padding, no line breaks): the encoding of HTTP Basic
// credentials.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The bytes of the text encoded in Base64.
std::string EncodeStr(std::string_view text);

}  // namespace corvane
