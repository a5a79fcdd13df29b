#include "common/base64.h"

namespace corvane {

std::string EncodeStr(std::string_view text)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((text.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= text.size(); i += 3) {
        const unsigned group = static_cast<unsigned char>(text[i]) << 16 |
                               static_cast<unsigned char>(text[i + 1]) << 8 | static_cast<unsigned char>(text[i + 2]);
        out += kAlphabet[group >> 18];
        out += kAlphabet[(group >> 12) & 63];
        out += kAlphabet[(group >> 6) & 63];
        out += kAlphabet[group & 63];
    }
    const std::size_t rest = text.size() - i;
    if (rest == 0) return out;
    unsigned group = static_cast<unsigned char>(text[i]) << 16;
    if (rest == 2) group |= static_cast<unsigned char>(text[i + 1]) << 8;
    out += kAlphabet[group >> 18];
    out += kAlphabet[(group >> 12) & 63];
    out += rest == 2 ? kAlphabet[(group >> 6) & 63] : '=';
    out += '=';
    return out;
}

}  // namespace corvane
