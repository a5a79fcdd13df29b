#include "common/url_codec.h"

namespace corvane {
namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool Kept(unsigned char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Letters and digits as they are, the blank as "+" when `blankAsPlus`, everything else as
// "%" and two digits of `hex`.
std::string PercentEncode(std::string_view text, const char* hex, bool blankAsPlus)
{
    std::string out;
    out.reserve(text.size() * 3);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (Kept(byte)) {
            out += c;
        } else if (blankAsPlus && c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 15];
        }
    }
    return out;
}

}  // namespace

std::string FormEncode(std::string_view text) { return PercentEncode(text, "0123456789abcdef", true); }

std::string UrlEncode(std::string_view text) { return PercentEncode(text, "0123456789ABCDEF", false); }

std::string UrlDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high << 4 | low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

}  // namespace corvane
