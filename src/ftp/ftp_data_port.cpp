#include "ftp/ftp_data_port.h"

#include <cctype>

namespace corvane {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A decimal field of PORT: digits between blanks. Values are capped well above 255, so a long
// run of digits cannot overflow and still reads as "above 255".
bool ReadField(const std::string& text, std::size_t& pos, unsigned& value)
{
    value = 0;
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) != 0) {
        value = value * 10 + static_cast<unsigned>(text[pos] - '0');
        if (value > 100000) value = 100000;
        ++pos;
    }
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    return pos == text.size() || text[pos] == ',';
}

}  // namespace

std::string TFtpPortParams::Address() const
{
    return std::to_string(fields[0]) + "." + std::to_string(fields[1]) + "." + std::to_string(fields[2]) + "." +
           std::to_string(fields[3]);
}

bool TFtpPortParams::FieldsAreBytes() const
{
    for (unsigned field : fields)
        if (field > 255) return false;
    return true;
}

std::optional<TFtpPortParams> ParsePortParams(const std::string& params)
{
    TFtpPortParams result;
    std::size_t pos = 0;
    for (int i = 0; i < 6; ++i) {
        if (!ReadField(params, pos, result.fields[i])) return std::nullopt;
        if (pos == params.size()) return result;  // the fields not given count as 0
        ++pos;                                    // the comma
    }
    return std::nullopt;  // a seventh field
}

std::optional<std::uint32_t> ParsePasvAddress(const std::string& text)
{
    std::uint32_t address = 0;
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != '.') return std::nullopt;
            ++pos;
        }
        const std::size_t start = pos;
        unsigned value = 0;
        while (pos < text.size() && pos - start < 3 && std::isdigit(static_cast<unsigned char>(text[pos])) != 0)
            value = value * 10 + static_cast<unsigned>(text[pos++] - '0');
        if (pos == start || value > 255) return std::nullopt;
        address = (address << 8) | value;
    }
    if (pos != text.size() || address == 0xFFFFFFFFu) return std::nullopt;
    return address;
}

std::string PassiveModeReply(std::uint32_t address, int port)
{
    return "227 Entering Passive Mode (" + std::to_string(address >> 24) + "," +
           std::to_string((address >> 16) & 0xFF) + "," + std::to_string((address >> 8) & 0xFF) + "," +
           std::to_string(address & 0xFF) + "," + std::to_string(port / 256) + "," + std::to_string(port % 256) + ").";
}

}  // namespace corvane
