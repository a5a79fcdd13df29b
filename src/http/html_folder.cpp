#include "html_folder.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "common/path_text.h"
#include "common/text_case.h"
#include "http/http_texts.h"
#include "platform/calendar_time.h"
#include "platform/fs.h"

namespace corvane {
namespace {

constexpr std::string_view kShortDays = "MonTueWedThuFriSatSun";
constexpr std::string_view kShortMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
constexpr const char* kFooter =
    "<A HREF=\"https://www.brinvale.com/corvane/\">Served by Brinvale Corvane Server, the file server of your "
    "desktop</A>";

std::string UpperExtension(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return std::string();
    std::string ext(name.substr(dot));
    std::transform(ext.begin(), ext.end(), ext.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
    return ext;
}

// Where each character of a name begins: UTF-8 sequences are one character when the whole name
// is valid UTF-8; otherwise every byte is one.
std::vector<std::size_t> CharacterStarts(std::string_view name)
{
    std::vector<std::size_t> starts;
    std::size_t i = 0;
    while (i < name.size()) {
        const auto lead = static_cast<unsigned char>(name[i]);
        std::size_t length = lead < 0x80           ? 1
                             : (lead >> 5) == 0x6  ? 2
                             : (lead >> 4) == 0xE  ? 3
                             : (lead >> 3) == 0x1E ? 4
                                                   : 0;
        bool valid = length != 0 && i + length <= name.size();
        for (std::size_t k = 1; valid && k < length; ++k) valid = (static_cast<unsigned char>(name[i + k]) >> 6) == 0x2;
        if (!valid) {
            starts.clear();
            for (std::size_t b = 0; b < name.size(); ++b) starts.push_back(b);
            return starts;
        }
        starts.push_back(i);
        i += length;
    }
    return starts;
}

std::string RightAligned(const std::string& text, std::size_t width)
{
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string TitleOf(const std::string& url)
{
    std::string title = url;
    if (const std::size_t scheme = title.find("://"); scheme != std::string::npos) title.erase(0, scheme + 3);
    std::size_t cut = title.find('/');
    if (cut == std::string::npos) cut = title.find('\\');
    if (cut != std::string::npos) title.erase(0, cut + 1);
    return title;
}

std::string WithoutFinalSeparator(std::string text)
{
    if (!text.empty() && (text.back() == '/' || text.back() == '\\')) text.pop_back();
    return text;
}

bool Listed(const fs::FileInfo& entry, int attributes, THTMLDisplaySets display, const std::string& headerName,
            const std::string& headerFull, const std::string& folder)
{
    if (entry.name == "." || entry.name == "..") return false;
    if (entry.isDirectory && ((display & dhtml_SubFolders) == 0 || (attributes & faDirectory) == 0)) return false;
    if (entry.isHidden && (attributes & faHidden) == 0) return false;
    if (entry.isSystem && (attributes & faSysFile) == 0) return false;
    if ((display & dhtml_HideSpecialFiles) != 0) {
        if (!headerName.empty() && FoldCase(entry.name) == FoldCase(headerName)) return false;
        if (!headerFull.empty() && FoldCase(FullRealPath(folder + entry.name)) == FoldCase(headerFull)) return false;
    }
    return true;
}

void SortEntries(std::vector<fs::FileInfo>& entries, THTMLSortSets sortBy)
{
    if (sortBy == shtml_None) return;
    // Each name is folded once, not at every comparison.
    std::vector<std::pair<std::string, std::size_t>> keys;
    keys.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        keys.emplace_back(sortBy == shtml_FileName ? FoldCase(entries[i].name) : std::string(), i);
    std::stable_sort(keys.begin(), keys.end(), [&entries, sortBy](const auto& ka, const auto& kb) {
        const fs::FileInfo& a = entries[ka.second];
        const fs::FileInfo& b = entries[kb.second];
        if (a.isDirectory != b.isDirectory) return a.isDirectory;
        switch (sortBy) {
        case shtml_FileSize: return a.size < b.size;
        case shtml_FileTime: return a.mtime < b.mtime;
        default: return ka.first < kb.first;
        }
    });
    std::vector<fs::FileInfo> sorted;
    sorted.reserve(entries.size());
    for (const auto& key : keys) sorted.push_back(std::move(entries[key.second]));
    entries.swap(sorted);
}

std::string EntryLine(const fs::FileInfo& entry, const std::string& linkBase, int width, bool longDate)
{
    const std::size_t length = NameLength(entry.name);
    std::string line = "  <A HREF=\"";
    line += linkBase;
    line += LinkEscape(entry.name);
    // A folder's link names the folder itself: crawlers take a link for a folder only by its
    // final "/", and a browser that follows it is not redirected.
    if (entry.isDirectory) line += '/';
    line += "\"><IMG ALIGN=absbottom BorDER=0 SRC=\"/images";
    line += IconOf(entry.name, entry.isDirectory);
    line += "\"> ";
    line += HtmlEscape(ShortenName(entry.name, width));
    line += "</A>";
    if (length < static_cast<std::size_t>(width)) line.append(static_cast<std::size_t>(width) - length, ' ');
    line += "   ";
    line += HtmlEscape(SizeText(entry.isDirectory, static_cast<std::uint64_t>(entry.size)));
    const CalendarTime local = LocalCalendarTime(entry.mtime);
    line += " " + HtmlEscape(DateTextOf(local, longDate)) + " " + HtmlEscape(TimeTextOf(local)) + " ";
    line += " " + TypeText(entry.name, entry.isDirectory);
    return line;
}

}  // namespace

std::string HtmlEscape(std::string_view text)
{
    if (text.find_first_of("&<>\"") == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size() + 16);
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string LinkEscape(std::string_view name)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "%22"; break;
        case '%': out += "%25"; break;
        case ' ': out += "%20"; break;
        case '#': out += "%23"; break;  // would end the path as a fragment
        case '?': out += "%3F"; break;  // would end the path as a query
        default:
            // Bytes beyond ASCII go as they are on disk, whatever character set the browser
            // reads the page in.
            if (byte >= 0x80 || byte < 0x20) {
                out += '%';
                out += kHex[byte >> 4];
                out += kHex[byte & 0x0F];
            } else {
                out += c;
            }
        }
    }
    return out;
}

static bool IsAscii(std::string_view name)
{
    return std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::size_t NameLength(std::string_view name) { return IsAscii(name) ? name.size() : CharacterStarts(name).size(); }

std::string ShortenName(std::string_view name, int width)
{
    const std::size_t w = static_cast<std::size_t>(std::max(width, 0));
    if (name.size() <= w) return std::string(name);  // no more characters than bytes
    const std::vector<std::size_t> starts = CharacterStarts(name);
    if (starts.size() <= w) return std::string(name);
    const std::size_t head = w / 2 - 1;
    const std::size_t tail = w / 2 - 1 + (w % 2);
    const std::size_t tailStart = starts[starts.size() - tail];
    return std::string(name.substr(0, starts[head])) + ".." + std::string(name.substr(tailStart));
}

std::string SizeText(bool isFolder, std::uint64_t size)
{
    std::string text;
    if (isFolder) text = "<DIR> ";
    else if (size > 10485760) text = std::to_string(size / 1048576) + " MB   ";
    else if (size > 10240) text = std::to_string(size / 1024) + " Kb   ";
    else text = std::to_string(size) + " bytes";
    return RightAligned(text, 12);
}

std::string DateText(std::time_t when, bool longDate) { return DateTextOf(LocalCalendarTime(when), longDate); }

std::string TimeText(std::time_t when) { return TimeTextOf(LocalCalendarTime(when)); }

namespace {

// The value in decimal, with leading zeros up to `digits` (more digits when it needs them).
void AppendDigits(std::string& out, int value, std::size_t digits)
{
    const std::string text = std::to_string(std::max(value, 0));
    if (text.size() < digits) out.append(digits - text.size(), '0');
    out += text;
}

}  // namespace

std::string DateTextOf(CalendarTime t, bool longDate)
{
    if (!t.valid) t = CalendarTime{1899, 12, 30, 0, 0, 0, 0, true};  // the zero date
    std::string text;
    text.reserve(16);
    if (longDate) {
        const int weekday = WeekdayOf(t.year, t.month, t.day);
        text.append(kShortDays.substr(static_cast<std::size_t>(weekday) * 3, 3));
        text += ' ';
        text.append(kShortMonths.substr(static_cast<std::size_t>(t.month - 1) * 3, 3));
        text += ' ';
        AppendDigits(text, t.day, 2);
        text += ' ';
        AppendDigits(text, t.year, 4);
    } else {
        AppendDigits(text, t.month, 2);
        text += '/';
        AppendDigits(text, t.day, 2);
        text += '/';
        AppendDigits(text, t.year, 4);
    }
    return text;
}

std::string TimeTextOf(const CalendarTime& t)
{
    if (!t.valid) return "00:00:00am";
    const bool pm = t.hour > 12;
    std::string text;
    text.reserve(10);
    AppendDigits(text, pm ? t.hour - 12 : t.hour, 2);
    text += ':';
    AppendDigits(text, t.minute, 2);
    text += ':';
    AppendDigits(text, t.second, 2);
    text += pm ? "pm" : "am";
    return text;
}

std::string IconOf(std::string_view name, bool isFolder)
{
    if (isFolder) return "/folder.gif";
    static const std::unordered_map<std::string, const char*> kIcons = [] {
        std::unordered_map<std::string, const char*> icons;
        for (const char* ext : {".EXE", ".DRV", ".VXD", ".BAT", ".COM", ".SYS"}) icons[ext] = "/binary.gif";
        for (const char* ext : {".MPG", ".MPEG", ".MOV", ".FLI", ".FLC", ".PPT", ".AVI"}) icons[ext] = "/movie.gif";
        for (const char* ext : {".WAV", ".MP2", ".MP3", ".WMA", ".MID", ".MIDI"}) icons[ext] = "/sound.gif";
        for (const char* ext : {".JPG", ".JPEG", ".BMP", ".GIF", ".PCX", ".PIC", ".TGA", ".TIF", ".TIFF", ".PNG"})
            icons[ext] = "/image.gif";
        return icons;
    }();
    const auto found = kIcons.find(UpperExtension(name));
    return found == kIcons.end() ? "/text.gif" : found->second;
}

std::string TypeText(std::string_view name, bool isFolder)
{
    if (isFolder) return "File Folder";
    static const std::unordered_map<std::string, const char*> kKnown = {
        {".TXT", "Text Document"},
        {".TEXT", "Text Document"},
        {".INI", "Configuration Settings"},
        {".DOC", "Word Document"},
        {".HTM", "HTML Document"},
        {".HTML", "HTML Document"},
        {".DHTML", "HTML Document"},
        {".ASP", "Active Server Page"},
        {".PDF", "PDF Document"},
        {".EXE", "Application"},
        {".COM", "MS-DOS Application"},
        {".BAT", "Batch File"},
        {".SYS", "System File"},
        {".DRV", "Device Driver"},
        {".VXD", "Virtual Device Driver"},
        {".ZIP", "Compressed (zipped) Folder"},
        {".GZ", "GZip Archive"},
        {".TAR", "Tape Archive"},
        {".ISO", "Disc Image File"},
        {".JPG", "JPEG Image"},
        {".JPEG", "JPEG Image"},
        {".GIF", "GIF Image"},
        {".PNG", "PNG Image"},
        {".BMP", "Bitmap Image"},
        {".TIF", "TIFF Image"},
        {".TIFF", "TIFF Image"},
        {".PCX", "PCX Image"},
        {".PIC", "PIC Image"},
        {".TGA", "Targa Image"},
        {".MP3", "MP3 Audio"},
        {".MP2", "MPEG Audio"},
        {".WAV", "Wave Sound"},
        {".WMA", "Windows Media Audio"},
        {".MID", "MIDI Sequence"},
        {".MIDI", "MIDI Sequence"},
        {".MPG", "MPEG Movie"},
        {".MPEG", "MPEG Movie"},
        {".MOV", "QuickTime Movie"},
        {".AVI", "Video Clip"},
        {".FLI", "Animation"},
        {".FLC", "Animation"},
        {".PPT", "Presentation"},
        {".MP4", "MPEG-4 Movie"},
        {".MKV", "Matroska Movie"},
    };
    const std::string ext = UpperExtension(name);
    if (ext.empty() || ext == ".") return "File";
    if (const auto found = kKnown.find(ext); found != kKnown.end()) return found->second;
    // An unknown extension is described by itself, as file managers do ("XYZ File"), cut so
    // that the whole text stays within 80 characters.
    return HtmlEscape(ext.substr(1, 70)) + " File";
}

void BuildHTMLFolder(std::stringstream& Stream, const std::string& Url, const std::string& Folder,
                     const std::string& MissingText, const std::string& ErrorText, const std::string& HeaderPath,
                     const std::string& HeaderName, int Attributes, THTMLDisplaySets Display, THTMLSortSets SortBy,
                     std::uint16_t NameWidth)
{
    const int width = std::max<int>(NameWidth, 12);
    auto writeLine = [&Stream](const std::string& line) {
        Stream << line << "\r\n";
        return static_cast<bool>(Stream);
    };
    Stream.str(std::string());
    Stream.clear();
    if (!fs::RealFolderExists(Folder)) {
        writeLine(MissingText);
        return;
    }
    const std::string folder = AddTrailingBackslash(Folder);
    if (!HeaderPath.empty()) writeLine(HeaderPath);
    if (!HeaderName.empty()) writeLine(folder + HeaderName);
    Stream.clear();
    writeLine("<PRE>");
    const std::string title = HtmlEscape(TitleOf(Url));
    writeLine("<TITLE>Directory listing of: " + title + "</TITLE>");
    writeLine("<H2>Directory listing of: " + title + "</H1>");
    const std::string linkBase = WithoutFinalSeparator(HtmlEscape(Url)) + "/";
    if ((Display & dhtml_Parent) != 0) {
        writeLine("<A HREF=\"" + linkBase +
                  "..\"><IMG ALIGN=absbottom BorDER=0 SRC=\"/images/folder.gif\"> Go UP To "
                  "Parent Folder \"..\"</A>");
    } else {
        writeLine("");
    }
    const int attributes = Attributes & ~faVolumeID;
    const std::string headerFull = HeaderPath.empty() ? std::string() : FullRealPath(HeaderPath);
    std::vector<fs::FileInfo> entries;
    for (fs::FileInfo& entry : fs::ListRealFolder(folder))
        if (Listed(entry, attributes, Display, HeaderName, headerFull, folder)) entries.push_back(std::move(entry));
    SortEntries(entries, SortBy);
    const bool longDate = (Display & dhtml_LongDate) != 0;
    for (const fs::FileInfo& entry : entries) {
        if (!writeLine(EntryLine(entry, linkBase, width, longDate))) {
            Stream.clear();
            writeLine(ErrorText);
            break;
        }
    }
    writeLine("");
    writeLine(kFooter);
    writeLine("</PRE>");
}

}  // namespace corvane
