// The three line forms that describe one shared entry (a file or a folder found by the
// indexer), and the pieces they are made of:
//   search line  /C:/Music/a.mp3?4181232?Mar 07 14:05?-?<32 digest digits>    (localIndexList)
//   index line   /C:/Music/a.mp3*4181232*0303071410*-*<32 digest digits>      (p2pIndex.ksl)
//   upload line  /C:/Music/*a.mp3*-*4181232*d*0303071410*1*<32 digest digits> (index servers)
// Every line ends in the entry type and exactly 32 digest characters, so the lines are read
// from their end: a name that holds "?" or "*" does not shift the fields.
//
// Pure text work (the dates use the host's local time zone); any thread.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// The digest field of an entry whose digest was not computed.
inline constexpr std::string_view kNoDigest = "00000000000000000000000000000000";

// "/" + the real path with every "\" turned into "/" (C:\Music\a.mp3 -> /C:/Music/a.mp3).
std::string VirtualPathOf(std::string_view realPath);
// The key under which the indexer and the digest lookup compare virtual paths: the drive
// letter without regard to case, the rest exactly, as real paths compare on this host.
std::string VirtualPathKey(std::string_view virtualPath);

// "mmm dd hh:mm" when the entry's year is `currentYear`, else "mmm dd  yyyy"; local time,
// English month names (as the FTP listings).
std::string ListingDateText(std::time_t mtime, int currentYear);
// "yymmddhhss": year, month, day, hour and seconds (the minutes are not part of it).
std::string StampText(std::time_t mtime);

// The entry as the walk found it.
struct IndexedEntry {
    std::string virtualPath;
    std::uint64_t size = 0;
    std::time_t mtime = 0;
    bool isFolder = false;
};

char EntryTypeOf(const IndexedEntry& entry);
// The search line without its digest: path ? size ? date ? type. The size is the full 64-bit
// size (the line only feeds this server's own listings).
std::string SearchLineHead(const IndexedEntry& entry, int currentYear);
// The index line without its digest: path * size * stamp * type, with the size's low 32 bits
// (the form index servers read).
std::string IndexLineHead(const IndexedEntry& entry);

// What a stored digest was made for: the file's whole size and its modification time to the
// nanosecond. The stamp of an index line has no minutes and its size only the low 32 bits, so a
// digest is taken again only for a file that matches this. It is stored on a line of its own
// right after the index line it belongs to: "#<size> <seconds>.<nanoseconds, 9 digits>", a
// text that is never an index line (readers that do not know it drop it).
struct DigestStamp {
    std::uint64_t size = 0;
    std::int64_t seconds = 0;
    long nanoseconds = 0;
    bool operator==(const DigestStamp&) const = default;
};
std::string DigestStampLine(const DigestStamp& stamp);
std::optional<DigestStamp> ParseDigestStampLine(std::string_view line);

// The fields of an index line, read from its end.
struct IndexLineFields {
    std::string_view virtualPath;
    std::string_view size;
    std::string_view stamp;
    char entryType = '-';
    std::string_view digest;
};
// Nothing when the text is not an index line (no "*" type "*" 32-digit end, too few fields).
std::optional<IndexLineFields> ParseIndexLine(std::string_view line);

// The fields of a search line, read from its end.
struct SearchLineFields {
    std::string_view virtualPath;
    std::string_view size;
    std::string_view listingDate;
    char entryType = '-';
    std::string_view digest;
};
std::optional<SearchLineFields> ParseSearchLine(std::string_view line);
// Only the virtual path of a search line, without checking the digest's digits: the search's
// cheap first look at every line (empty when the line has not the search line's shape).
std::string_view SearchLinePathOf(std::string_view line);

// The code of a name's file type: 1 sound, 2 video, 3 picture, 4 program or archive,
// 5 document, 6 anything else (by the extension, without regard to case).
int FileTypeCode(std::string_view name);
// The eight-field upload line of an index line (empty for a text that is not one).
std::string UploadLineOf(std::string_view indexLine);

}  // namespace corvane
