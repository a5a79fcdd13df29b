#include "p2p/index_lines.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

#include "common/text_case.h"
#include "platform/calendar_time.h"

namespace corvane {
namespace {

constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

void AppendTwoDigits(std::string& out, int value)
{
    const int v = value < 0 ? 0 : value % 100;
    out += static_cast<char>('0' + v / 10);
    out += static_cast<char>('0' + v % 10);
}

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// Splits "<rest><sep><type><sep><32 digits>" off the end of a line.
bool SplitTypeAndDigest(std::string_view line, char separator, std::string_view& rest, char& type,
                        std::string_view& digest)
{
    if (line.size() < 35) return false;
    const std::size_t at = line.size() - 35;
    if (line[at] != separator || line[at + 2] != separator) return false;
    digest = line.substr(at + 3);
    for (char c : digest)
        if (!IsHexDigit(c)) return false;
    type = line[at + 1];
    if (type != 'd' && type != '-') return false;
    rest = line.substr(0, at);
    return true;
}

// Splits the last field off: `field` gets the text after the last separator.
bool SplitLastField(std::string_view& rest, char separator, std::string_view& field)
{
    const std::size_t cut = rest.rfind(separator);
    if (cut == std::string_view::npos) return false;
    field = rest.substr(cut + 1);
    rest = rest.substr(0, cut);
    return true;
}

}  // namespace

std::string VirtualPathOf(std::string_view realPath)
{
    std::string path = "/";
    path.reserve(realPath.size() + 1);
    for (char c : realPath) path += c == '\\' ? '/' : c;
    return path;
}

std::string VirtualPathKey(std::string_view virtualPath)
{
    std::string key(virtualPath);
    if (key.size() >= 3 && key[0] == '/' && key[2] == ':')
        key[1] = static_cast<char>(std::toupper(static_cast<unsigned char>(key[1])));
    return key;
}

std::string ListingDateText(std::time_t mtime, int currentYear)
{
    const CalendarTime t = LocalCalendarTime(mtime);
    std::string text = kMonthNames[t.valid && t.month >= 1 && t.month <= 12 ? t.month - 1 : 0];
    text += ' ';
    AppendTwoDigits(text, t.day);
    if (t.year % 100 == currentYear % 100) {
        text += ' ';
        AppendTwoDigits(text, t.hour);
        text += ':';
        AppendTwoDigits(text, t.minute);
    } else {
        text += "  ";
        text += std::to_string(t.year);
    }
    return text;
}

std::string StampText(std::time_t mtime)
{
    const CalendarTime t = LocalCalendarTime(mtime);
    std::string text;
    AppendTwoDigits(text, t.year);
    AppendTwoDigits(text, t.month);
    AppendTwoDigits(text, t.day);
    AppendTwoDigits(text, t.hour);
    AppendTwoDigits(text, t.second);
    return text;
}

char EntryTypeOf(const IndexedEntry& entry) { return entry.isFolder ? 'd' : '-'; }

std::string SearchLineHead(const IndexedEntry& entry, int currentYear)
{
    return entry.virtualPath + "?" + std::to_string(entry.size) + "?" + ListingDateText(entry.mtime, currentYear) +
           "?" + EntryTypeOf(entry);
}

std::string IndexLineHead(const IndexedEntry& entry)
{
    return entry.virtualPath + "*" + std::to_string(static_cast<std::uint32_t>(entry.size)) + "*" +
           StampText(entry.mtime) + "*" + EntryTypeOf(entry);
}

std::string DigestStampLine(const DigestStamp& stamp)
{
    std::string nanoseconds = std::to_string(stamp.nanoseconds);
    nanoseconds.insert(0, 9 - std::min<std::size_t>(nanoseconds.size(), 9), '0');
    return "#" + std::to_string(stamp.size) + " " + std::to_string(stamp.seconds) + "." + nanoseconds;
}

std::optional<DigestStamp> ParseDigestStampLine(std::string_view line)
{
    DigestStamp stamp;
    if (line.empty() || line.front() != '#') return std::nullopt;
    const char* end = line.data() + line.size();
    auto [afterSize, sizeError] = std::from_chars(line.data() + 1, end, stamp.size);
    if (sizeError != std::errc() || afterSize == end || *afterSize != ' ') return std::nullopt;
    auto [afterSeconds, secondsError] = std::from_chars(afterSize + 1, end, stamp.seconds);
    if (secondsError != std::errc() || afterSeconds == end || *afterSeconds != '.') return std::nullopt;
    if (end - (afterSeconds + 1) != 9) return std::nullopt;
    auto [afterNanoseconds, nanosecondsError] = std::from_chars(afterSeconds + 1, end, stamp.nanoseconds);
    if (nanosecondsError != std::errc() || afterNanoseconds != end || stamp.nanoseconds < 0) return std::nullopt;
    return stamp;
}

std::optional<IndexLineFields> ParseIndexLine(std::string_view line)
{
    IndexLineFields fields;
    std::string_view rest;
    if (!SplitTypeAndDigest(line, '*', rest, fields.entryType, fields.digest)) return std::nullopt;
    if (!SplitLastField(rest, '*', fields.stamp) || !SplitLastField(rest, '*', fields.size)) return std::nullopt;
    if (rest.empty()) return std::nullopt;
    fields.virtualPath = rest;
    return fields;
}

std::optional<SearchLineFields> ParseSearchLine(std::string_view line)
{
    SearchLineFields fields;
    std::string_view rest;
    if (!SplitTypeAndDigest(line, '?', rest, fields.entryType, fields.digest)) return std::nullopt;
    if (!SplitLastField(rest, '?', fields.listingDate) || !SplitLastField(rest, '?', fields.size)) return std::nullopt;
    fields.virtualPath = rest;
    return fields;
}

std::string_view SearchLinePathOf(std::string_view line)
{
    if (line.size() < 35 || line[line.size() - 35] != '?' || line[line.size() - 33] != '?') return {};
    const std::size_t date = line.rfind('?', line.size() - 36);
    if (date == std::string_view::npos || date == 0) return {};
    const std::size_t size = line.rfind('?', date - 1);
    if (size == std::string_view::npos) return {};
    return line.substr(0, size);
}

int FileTypeCode(std::string_view name)
{
    struct Row {
        int code;
        std::array<const char*, 16> extensions;
    };
    static const Row kRows[] = {
        {1,
         {".mp3", ".mp2", ".wav", ".snd", ".au", ".aif", ".aifc", ".wma", ".mid", ".midi", ".rmi", ".it", ".voc", ".xm",
          ".stm", ".s3m"}},
        {2, {".avi", ".mpg", ".mov"}},
        {3, {".jpg", ".gif", ".bmp", ".png", ".tif"}},
        {4, {".exe", ".zip", ".rar", ".arj"}},
        {5, {".doc", ".rtf", ".txt", ".wps", ".htm", ".html"}},
    };
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return 6;
    const std::string extension = FoldCase(name.substr(dot));
    for (const Row& row : kRows)
        for (const char* e : row.extensions)
            if (e != nullptr && extension == e) return row.code;
    return 6;
}

std::string UploadLineOf(std::string_view indexLine)
{
    const auto fields = ParseIndexLine(indexLine);
    if (!fields) return {};
    const std::size_t slash = fields->virtualPath.rfind('/');
    const std::string_view folder = fields->virtualPath.substr(0, slash + 1);
    const std::string_view name = fields->virtualPath.substr(slash + 1);
    std::string line;
    line.reserve(indexLine.size() + 16);
    line.append(folder).append("*").append(name).append("*");
    line += fields->entryType;
    line.append("*").append(fields->size).append("*d*").append(fields->stamp).append("*");
    line += std::to_string(FileTypeCode(name));
    line.append("*").append(fields->digest);
    return line;
}

}  // namespace corvane
