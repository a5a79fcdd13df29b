#include "http/http_texts.h"

#include <array>
#include <cctype>
#include <cstdio>

#include "common/file_queries.h"
#include "common/text_case.h"
#include "platform/calendar_time.h"

namespace corvane {
namespace {

constexpr std::string_view kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Days since 1970-01-01 of a Gregorian date (valid for any year).
long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

int MonthOf(std::string_view name)
{
    for (int i = 0; i < 12; ++i)
        if (EqualsIgnoreCase(kMonths.substr(static_cast<std::size_t>(i) * 3, 3), name)) return i + 1;
    return 0;
}

}  // namespace

std::string_view DocumentToContentType(std::string_view path)
{
    const std::size_t slash = path.find_last_of("\\/");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    const std::string_view ext = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
    const auto is = [ext](std::string_view known) { return EqualsIgnoreCase(ext, known); };
    if (is("htm") || is("html")) return "text/html";
    if (is("gif")) return "image/gif";
    if (is("bmp")) return "image/bmp";
    if (is("jpg") || is("jpeg")) return "image/jpeg";
    if (is("txt")) return "text/plain";
    return "application/binary";
}

int WeekdayOf(int year, int month, int day)
{
    // 1970-01-01 was a Thursday (3 when Monday is 0).
    const long long days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return static_cast<int>(((days % 7) + 7 + 3) % 7);
}

std::optional<std::time_t> ParseHttpDate(std::string_view text)
{
    // Split into words at blanks, commas, dashes and colons; the three forms then differ only in
    // the order of day, month and year.
    std::array<std::string, 8> words;
    std::size_t count = 0;
    std::string word;
    auto flush = [&] {
        if (!word.empty() && count < words.size()) words[count++] = word;
        word.clear();
    };
    for (char c : text) {
        if (c == ' ' || c == ',' || c == '-' || c == ':' || c == '\t') flush();
        else word += c;
    }
    flush();
    auto number = [](const std::string& w, int& out) {
        if (w.empty() || w.size() > 4) return false;
        out = 0;
        for (char c : w) {
            if (!IsDigit(c)) return false;
            out = out * 10 + (c - '0');
        }
        return true;
    };
    int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
    bool ok = false;
    if (count >= 7 && MonthOf(words[2]) != 0) {  // RFC 1123 and RFC 850: weekday day month year h m s
        month = MonthOf(words[2]);
        ok = number(words[1], day) && number(words[3], year) && number(words[4], hour) && number(words[5], minute) &&
             number(words[6], second);
        if (ok && words[3].size() == 2) year += year < 70 ? 2000 : 1900;
    } else if (count >= 7 && MonthOf(words[1]) != 0) {  // asctime: weekday month day h m s year
        month = MonthOf(words[1]);
        ok = number(words[2], day) && number(words[3], hour) && number(words[4], minute) && number(words[5], second) &&
             number(words[6], year);
    }
    if (!ok || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 || year < 1970) return std::nullopt;
    const long long days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return static_cast<std::time_t>(days * 86400LL + hour * 3600LL + minute * 60LL + second);
}

std::time_t FileDate(std::string_view realPath) { return FileLastWriteTime(realPath); }

namespace httpsrv {

std::string UrlDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '%' || i + 2 >= text.size()) {
            out += text[i++];
            continue;
        }
        unsigned value = 0;
        std::size_t j = i + 1;
        while (j < i + 3 && text[j] == ' ') ++j;
        for (; j < i + 3; ++j) {
            const char c = text[j];
            if (IsDigit(c)) value = value * 16 + static_cast<unsigned>(c - '0');
            else if (IsLetter(c)) value = value * 16 + (static_cast<unsigned char>(c) & 0x0F) + 9;
            else break;
        }
        out += static_cast<char>(value & 0xFF);
        i += 3;
    }
    return out;
}

}  // namespace httpsrv

}  // namespace corvane
