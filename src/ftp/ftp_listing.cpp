#include "ftp/ftp_listing.h"

#include <cctype>
#include <ctime>
#include <string_view>
#include <vector>

#include "ftp/ftp_ctrl_socket.h"
#include "ftp/ftp_paths.h"
#include "platform/calendar_time.h"

namespace corvane {
namespace {

constexpr const char* kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr char kOwnerPiece[] = "   1 ftp      ftp  ";

bool HasWildcards(std::string_view name) { return name.find_first_of("*?") != std::string_view::npos; }

// Such a name would break the listing's line structure.
bool BreaksLines(std::string_view name) { return name.find_first_of("\r\n") != std::string_view::npos; }

std::size_t LastSeparator(std::string_view path) { return path.find_last_of("\\/"); }

std::string_view LastNameOf(std::string_view path)
{
    const std::size_t separator = LastSeparator(path);
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

// The extension as the system sees it: from the last "." of the name, compared in upper case.
bool IsProgramName(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.size() - dot != 4) return false;
    char extension[4];
    for (std::size_t i = 0; i < 3; ++i)
        extension[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[dot + 1 + i])));
    const std::string_view upper(extension, 3);
    return upper == "EXE" || upper == "COM" || upper == "BAT";
}

void AppendModeCharacters(std::string& out, const fs::FileInfo& entry)
{
    char mode[] = "-rw-rw-rw-";
    if (entry.isDirectory) mode[0] = 'd';
    if (entry.isReadOnly) mode[2] = mode[5] = mode[8] = '-';
    if (IsProgramName(entry.name)) mode[3] = mode[6] = mode[9] = 'x';
    out += mode;
}

// The decimal digits of `value`, right-aligned in at least `width` characters (as "%*lld").
// Written by hand: a listing of many entries spends a good part of its own time formatting.
void AppendRightAligned(std::string& out, long long value, std::size_t width)
{
    char digits[24];
    std::size_t count = 0;
    unsigned long long rest =
        value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    do {
        digits[count++] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (value < 0) digits[count++] = '-';
    if (count < width) out.append(width - count, ' ');
    while (count > 0) out += digits[--count];
}

// At least two digits, zero-padded (as "%2.2d").
void AppendTwoDigits(std::string& out, int value)
{
    if (value >= 0 && value < 10) out += '0';
    AppendRightAligned(out, value, 0);
}

void AppendDateAndTime(std::string& out, std::time_t mtime, int currentYear)
{
    const CalendarTime local = LocalCalendarTime(mtime);
    const int monthIndex = local.valid && local.month >= 1 && local.month <= 12 ? local.month - 1 : 0;
    out += kMonthNames[monthIndex];
    out += ' ';
    AppendTwoDigits(out, local.day);
    out += ' ';
    if (local.year == currentYear) {
        AppendTwoDigits(out, local.hour);
        out += ':';
        AppendTwoDigits(out, local.minute);
    } else {
        AppendRightAligned(out, local.year, 5);
    }
    out += ' ';
}

// The entries a pattern names, in listing order.
std::vector<fs::FileInfo> EntriesOf(const std::string& pattern)
{
    const std::string_view lastName = LastNameOf(pattern);
    if (!HasWildcards(lastName)) {
        std::vector<fs::FileInfo> one;
        // The drive root has no entry of its own, as on the system's home platform.
        if (lastName.empty()) return one;
        if (auto info = fs::StatReal(pattern)) {
            // The name as it was asked for, so "." and ".." keep theirs.
            info->name = std::string(lastName);
            one.push_back(std::move(*info));
        }
        return one;
    }
    const std::size_t separator = LastSeparator(pattern);
    std::vector<fs::FileInfo> entries = fs::ListRealFolder(std::string_view(pattern).substr(0, separator + 1), true);
    std::vector<fs::FileInfo> matching;
    matching.reserve(entries.size());
    for (fs::FileInfo& entry : entries)
        if (fs::NameMatchesWildcards(entry.name, lastName)) matching.push_back(std::move(entry));
    return matching;
}

int CurrentYear() { return LocalCalendarTime(std::time(nullptr)).year; }

}  // namespace

std::string ListingPattern(const std::string& directory, const std::string& params)
{
    std::string pattern = params.empty() ? directory + "*.*" : BuildFilePath(directory, params);
    if (!pattern.empty() && pattern.back() == '\\') pattern += "*.*";
    return pattern;
}

void AppendListingLine(std::string& out, const fs::FileInfo& entry, bool detailed, int currentYear)
{
    if (detailed) {
        AppendModeCharacters(out, entry);
        out += kOwnerPiece;
        AppendRightAligned(out, entry.size, 11);
        out += ' ';
        AppendDateAndTime(out, entry.mtime, currentYear);
    }
    out += entry.name;
    out += "\r\n";
}

std::string BuildListingText(const std::string& pattern, bool detailed)
{
    const int currentYear = CurrentYear();
    const std::vector<fs::FileInfo> entries = EntriesOf(pattern);
    std::string text;
    // About one line of 60 bytes per entry, so a big folder is not copied again and again.
    text.reserve(entries.size() * (detailed ? 64 : 16));
    for (const fs::FileInfo& entry : entries) {
        if (BreaksLines(entry.name)) continue;
        if (detailed && entry.isHidden) continue;
        AppendListingLine(text, entry, detailed, currentYear);
    }
    if (text.empty()) text = pattern + " not found\r\n";
    return text;
}

void BuildDirectory(const TFtpCtrlSocket& client, const std::string& params, std::ostream& stream, bool detailed)
{
    const std::string text = BuildListingText(ListingPattern(client.Directory(), params), detailed);
    stream.write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace corvane
