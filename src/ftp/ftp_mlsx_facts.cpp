#include "ftp/ftp_mlsx_facts.h"

#include <array>
#include <cctype>
#include <cstdio>

#include "platform/calendar_time.h"

namespace corvane {
namespace {

constexpr std::array<std::string_view, mlsxFactCount> kFactNames = {"type", "size", "modify", "perm", "unique"};

bool SameFactName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
    return true;
}

bool Selected(unsigned selected, TFtpMlsxFact fact) { return (selected & (1u << fact)) != 0; }

std::string Hex(std::uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
    return text;
}

int Digits(std::string_view text, std::size_t at, std::size_t count)
{
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) value = value * 10 + (text[i] - '0');
    return value;
}

}  // namespace

unsigned ParseMlsxFactSelection(std::string_view facts)
{
    unsigned selected = 0;
    while (!facts.empty()) {
        const std::size_t end = facts.find(';');
        const std::string_view name = facts.substr(0, end);
        for (unsigned fact = 0; fact < mlsxFactCount; ++fact)
            if (SameFactName(name, kFactNames[fact])) selected |= 1u << fact;
        if (end == std::string_view::npos) break;
        facts.remove_prefix(end + 1);
    }
    return selected;
}

std::string MlsxFactNames(unsigned selected, bool allWithMarks)
{
    std::string text;
    for (unsigned fact = 0; fact < mlsxFactCount; ++fact) {
        const bool chosen = Selected(selected, static_cast<TFtpMlsxFact>(fact));
        if (!allWithMarks && !chosen) continue;
        text += kFactNames[fact];
        if (allWithMarks && chosen) text += '*';
        text += ';';
    }
    return text;
}

std::string MlsxPermFact(const fs::FileInfo& entry, const TFtpFolderRights& folder, const TFtpFolderRights& inside)
{
    // RFC 3659's letters, in its order, each only for what the account's rights allow here.
    std::string perm;
    if (entry.isDirectory) {
        if (inside.put) perm += 'c';
        if (folder.rmd) perm += 'd';
        if (inside.cwd) perm += 'e';
        if (folder.dele) perm += 'f';
        if (inside.list && inside.cwd) perm += 'l';
        if (inside.mkDir) perm += 'm';
        if (inside.dele) perm += 'p';
        return perm;
    }
    if (folder.put) perm += 'a';
    if (folder.dele) perm += "df";
    if (folder.get) perm += 'r';
    if (folder.put) perm += 'w';
    return perm;
}

std::string MlsxFacts(const fs::FileInfo& entry, unsigned selected, std::string_view perm)
{
    std::string facts;
    if (Selected(selected, mlsxType)) facts += entry.isDirectory ? "type=dir;" : "type=file;";
    if (Selected(selected, mlsxSize) && !entry.isDirectory) facts += "size=" + std::to_string(entry.size) + ";";
    if (Selected(selected, mlsxModify)) {
        const std::string time = MlsxTime(entry.mtime);
        if (!time.empty()) facts += "modify=" + time + ";";
    }
    if (Selected(selected, mlsxPerm)) facts += "perm=" + std::string(perm) + ";";
    if (Selected(selected, mlsxUnique) && entry.inode != 0)
        facts += "unique=" + Hex(entry.device) + "U" + Hex(entry.inode) + ";";
    return facts;
}

std::string MlsxLine(const fs::FileInfo& entry, unsigned selected, std::string_view perm)
{
    return MlsxFacts(entry, selected, perm) + " " + entry.name + "\r\n";
}

std::string MlsxTime(std::time_t when)
{
    const CalendarTime utc = UtcCalendarTime(when);
    if (!utc.valid || utc.year < 0 || utc.year > 9999) return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", utc.year, utc.month, utc.day, utc.hour, utc.minute,
                  utc.second);
    return text;
}

std::optional<std::time_t> ParseMlsxTime(std::string_view text)
{
    if (text.size() < 14) return std::nullopt;
    for (std::size_t i = 0; i < 14; ++i)
        if (std::isdigit(static_cast<unsigned char>(text[i])) == 0) return std::nullopt;
    if (text.size() > 14) {
        if (text[14] != '.' || text.size() == 15) return std::nullopt;
        for (std::size_t i = 15; i < text.size(); ++i)
            if (std::isdigit(static_cast<unsigned char>(text[i])) == 0) return std::nullopt;
    }
    CalendarTime utc;
    utc.year = Digits(text, 0, 4);
    utc.month = Digits(text, 4, 2);
    utc.day = Digits(text, 6, 2);
    utc.hour = Digits(text, 8, 2);
    utc.minute = Digits(text, 10, 2);
    utc.second = Digits(text, 12, 2);
    utc.valid = true;
    std::time_t when = 0;
    if (utc.year < 1 || !UtcMomentOf(utc, when)) return std::nullopt;
    return when;
}

}  // namespace corvane
