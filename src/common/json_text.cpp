#include "common/json_text.h"

#include <cstdio>

#include "common/decimal_text.h"

namespace corvane {
namespace {

// The length of the valid UTF-8 sequence that starts at `i`, or 0.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    // Overlong three- and four-byte forms, surrogates and code points beyond U+10FFFF.
    if (length == 3 && ((lead == 0xE0 && byte(i + 1) < 0xA0) || (lead == 0xED && byte(i + 1) >= 0xA0))) return 0;
    if (length == 4 && ((lead == 0xF0 && byte(i + 1) < 0x90) || (lead == 0xF4 && byte(i + 1) >= 0x90))) return 0;
    return length;
}

void AppendEscape(std::string& out, unsigned code)
{
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", code);
    out += escape;
}

}  // namespace

std::string JsonQuoted(std::string_view text)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = Utf8SequenceLength(text, i);
            if (length == 0) {
                AppendEscape(out, c);
                ++i;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            AppendEscape(out, c);
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    return out + "\"";
}

void JsonWriter::Key(std::string_view key)
{
    if (needComma_) text_ += ',';
    if (!key.empty()) text_ += JsonQuoted(key) + ":";
    needComma_ = true;
}

JsonWriter& JsonWriter::BeginObject(std::string_view key)
{
    Key(key);
    text_ += '{';
    needComma_ = false;
    return *this;
}

JsonWriter& JsonWriter::EndObject()
{
    text_ += '}';
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::BeginArray(std::string_view key)
{
    Key(key);
    text_ += '[';
    needComma_ = false;
    return *this;
}

JsonWriter& JsonWriter::EndArray()
{
    text_ += ']';
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::String(std::string_view key, std::string_view value)
{
    Key(key);
    text_ += JsonQuoted(value);
    return *this;
}

JsonWriter& JsonWriter::Number(std::string_view key, long long value)
{
    Key(key);
    text_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::Real(std::string_view key, double value)
{
    Key(key);
    text_ += DecimalText(value, 9);
    return *this;
}

JsonWriter& JsonWriter::Bool(std::string_view key, bool value)
{
    Key(key);
    text_ += value ? "true" : "false";
    return *this;
}

}  // namespace corvane
