#include "ftp/ftp_command_line.h"

namespace corvane {
namespace {

constexpr unsigned char kTelnetIac = 255;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsKeywordChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::string RemoveTelnetEscapes(std::string_view line)
{
    std::string out;
    out.reserve(line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (static_cast<unsigned char>(line[i]) != kTelnetIac) {
            out.push_back(line[i]);
            continue;
        }
        if (i + 1 < line.size() && static_cast<unsigned char>(line[i + 1]) == kTelnetIac) out.push_back(line[i]);
        ++i;  // the byte after the escape goes with it
    }
    return out;
}

void SplitFtpCommandLine(std::string_view line, std::string& keyword, std::string& params)
{
    std::size_t pos = 0;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    keyword.clear();
    while (pos < line.size() && IsKeywordChar(line[pos])) keyword.push_back(AsciiUpper(line[pos++]));
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    params.assign(line.substr(pos));
}

std::string TrimBlanks(std::string_view text)
{
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return std::string(text);
}

}  // namespace corvane
