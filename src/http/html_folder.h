// BuildHTMLFolder: the page that answers a browser's request for a folder without a default
// document. Preformatted text, one line per entry, with a fixed-width name column so that the
// size, date, time and type columns line up. The pieces are public so that they can be tested
// one by one.
#pragma once

#include <cstdint>
#include <ctime>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/calendar_time.h"

namespace corvane {

enum THTMLDisplay : unsigned {
    dhtml_Parent = 1u << 0,            // a link to the parent folder
    dhtml_SubFolders = 1u << 1,        // folders are listed as well as files
    dhtml_LongDate = 1u << 2,          // "Wed Dec 09 2026" instead of "12/09/2026"
    dhtml_HideSpecialFiles = 1u << 3,  // hides the header file and the entry at HeaderPath
};
using THTMLDisplaySets = unsigned;  // a set of THTMLDisplay bits
enum THTMLSortSets { shtml_None, shtml_FileName, shtml_FileSize, shtml_FileTime };

// File attribute bits of the Attributes argument (the volume-label bit is always removed).
inline constexpr int faReadOnly = 0x01, faHidden = 0x02, faSysFile = 0x04, faVolumeID = 0x08, faDirectory = 0x10,
                     faArchive = 0x20;

// Writes the listing page of the real folder `Folder` into `Stream` (emptied first), each line
// followed by CR LF. `Url` is the request path of the folder, as the browser sent it.
void BuildHTMLFolder(std::stringstream& Stream, const std::string& Url, const std::string& Folder,
                     const std::string& MissingText, const std::string& ErrorText, const std::string& HeaderPath,
                     const std::string& HeaderName, int Attributes, THTMLDisplaySets Display, THTMLSortSets SortBy,
                     std::uint16_t NameWidth);

// "&" "<" ">" and the double quote as entities.
std::string HtmlEscape(std::string_view text);
// A name as it goes into a link: the HTML escape, then "%" as "%25", blanks as "%20", the
// double quote as "%22", "#" and "?" (which would end the path) and every byte outside
// printable ASCII percent-encoded.
std::string LinkEscape(std::string_view name);
// The name cut to `width` characters (UTF-8 sequences count as one, and are never split): its
// first width/2-1 characters, "..", and its last width/2-1 (one more when width is odd).
std::string ShortenName(std::string_view name, int width);
// The number of characters of a name (UTF-8 sequences count as one; other bytes one each).
std::size_t NameLength(std::string_view name);
// "<DIR> " or the size in bytes, Kb or MB, right-aligned in 12 characters.
std::string SizeText(bool isFolder, std::uint64_t size);
// "12/09/2026", or with the long form "Wed Dec 09 2026", of a local time.
std::string DateText(std::time_t when, bool longDate);
// "01:05:09pm": hours 13-23 less 12 with "pm", 0-12 as they are with "am".
std::string TimeText(std::time_t when);
// The same of calendar fields already taken (an invalid time is the zero date, "00:00:00am").
std::string DateTextOf(CalendarTime local, bool longDate);
std::string TimeTextOf(const CalendarTime& local);
// The icon file of an entry, "/folder.gif", "/binary.gif", ... by its extension.
std::string IconOf(std::string_view name, bool isFolder);
// The stable description of an entry's type, as a file manager shows it ("Text Document").
std::string TypeText(std::string_view name, bool isFolder);

}  // namespace corvane
