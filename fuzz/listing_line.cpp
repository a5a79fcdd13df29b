// The listing lines of LIST and NLST: one line built from any entry (name, size, time, flags,
// the current year), and the listing of a folder holding an entry of any name, through any
// pattern.
//
// Checked, for a single detailed line: ten mode characters ("d" or "-", then "r", "w" or "-",
// "x" or "-"), the owner piece, the size as it was (right-aligned in at least 11 characters), a
// month name, a two-digit day, "hh:mm" or a year, then the name and CR LF. A name-only line is
// the name and CR LF. For a whole listing: every line ends in CR LF and holds no other line
// break, and a name-only listing names only entries of the folder (or says "not found").
#include <unistd.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "ftp/ftp_listing.h"
#include "platform/drive_map.h"

using namespace corvane;

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail)
{
    std::fprintf(stderr, "fuzz_listing_line: %s\n%s\n", what, detail.c_str());
    std::abort();
}

bool IsMonthName(const std::string& text)
{
    static const std::set<std::string> months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return months.count(text) != 0;
}

bool AllDigits(const std::string& text)
{
    if (text.empty()) return false;
    for (const char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

void CheckDetailedLine(const std::string& line, const fs::FileInfo& entry)
{
    const auto fail = [&](const char* what) { Fail(what, "line: " + line + "\nname: " + entry.name); };
    const std::string tail = entry.name + "\r\n";
    if (line.size() < 10 + tail.size() || line.compare(line.size() - tail.size(), tail.size(), tail) != 0)
        fail("the line does not end in the name and CR LF");
    const std::string mode = line.substr(0, 10);
    if ((mode[0] != 'd' && mode[0] != '-') || (mode[0] == 'd') != entry.isDirectory) fail("a wrong type character");
    for (int i = 1; i < 10; ++i) {
        const char allowed = "rwx"[(i - 1) % 3];
        if (mode[i] != allowed && mode[i] != '-') fail("a wrong mode character");
    }
    std::string rest = line.substr(10, line.size() - 10 - tail.size());
    const std::string owner = "   1 ftp      ftp  ";
    if (rest.compare(0, owner.size(), owner) != 0) fail("the owner piece is missing");
    rest.erase(0, owner.size());
    // size, month, day, time or year, each right-aligned or separated by blanks; then a blank.
    std::size_t cut = rest.find_first_not_of(' ');
    const std::size_t sizeEnd = rest.find(' ', cut);
    if (cut == std::string::npos || sizeEnd == std::string::npos || sizeEnd < 11) fail("the size is not 11 wide");
    const std::string size = rest.substr(cut, sizeEnd - cut);
    if (entry.size >= 0 && size != std::to_string(entry.size)) fail("the size differs");
    if (rest.size() < sizeEnd + 1 + 4 + 3 + 1) fail("the date is cut short");
    if (!IsMonthName(rest.substr(sizeEnd + 1, 3)) || rest[sizeEnd + 4] != ' ') fail("no month name");
    const std::string day = rest.substr(sizeEnd + 5, 2);
    if (!AllDigits(day)) fail("the day is not two digits");
    const std::string when = rest.substr(sizeEnd + 7);
    const bool clock = when.size() == 7 && when[0] == ' ' && AllDigits(when.substr(1, 2)) && when[3] == ':' &&
                       AllDigits(when.substr(4, 2)) && when[6] == ' ';
    const std::size_t yearStart = when.find_first_not_of(' ');
    const bool year = when.size() >= 7 && when.back() == ' ' && yearStart != std::string::npos &&
                      AllDigits(when.substr(yearStart, when.size() - 1 - yearStart));
    if (!clock && !year) fail("neither a time nor a year");
}

struct Scratch {
    std::filesystem::path root;
    Scratch()
    {
        root = std::filesystem::temp_directory_path() / ("corvane-fuzz-listing-" + std::to_string(::getpid()));
        std::filesystem::create_directories(root / "d");
        DriveMap::Configure({{'C', root.string()}}, root.string());
    }
};

void CheckFolderListing(const std::string& name, const std::string& pattern, bool detailed)
{
    static Scratch scratch;
    const std::filesystem::path folder = scratch.root / "d";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        std::filesystem::remove_all(entry.path(), error);
    const bool valid = !name.empty() && name.size() < 200 && name != "." && name != ".." &&
                       name.find_first_of(std::string("/\0", 2)) == std::string::npos;
    if (valid) std::ofstream(folder / name) << "x";
    const std::string fullPattern = "C:\\d\\" + pattern;
    const std::string text = BuildListingText(fullPattern, detailed);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) Fail("a listing line without CR LF", text);
        const std::string line = text.substr(start, end - start);
        if (line.find('\n') != std::string::npos ||
            (line.find('\r') != std::string::npos && !line.ends_with(" not found")))
            Fail("a line break inside a listing line", "line: " + line + "\npattern: " + pattern);
        const bool inTheFolder = pattern.find_first_of("\\/") == std::string::npos;
        if (!detailed && inTheFolder && line != fullPattern + " not found" && line != name && line != "." &&
            line != ".." && line != pattern)
            Fail("a name-only listing names something else",
                 "line: " + line + "\nname: " + name + "\npattern: " + pattern);
        start = end + 2;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    fs::FileInfo entry;
    // What a file system gives: no negative size, times of the years 1425 to 3058.
    entry.size = in.ConsumeIntegralInRange<std::int64_t>(0, INT64_MAX);
    entry.mtime = static_cast<std::time_t>(in.ConsumeIntegralInRange<std::int64_t>(-(1LL << 35), 1LL << 35));
    entry.isDirectory = in.ConsumeBool();
    entry.isReadOnly = in.ConsumeBool();
    entry.isHidden = in.ConsumeBool();
    const bool detailed = in.ConsumeBool();
    const bool listFolder = in.ConsumeBool();
    const int currentYear = in.ConsumeIntegralInRange<int>(1900, 2200);
    entry.name = in.ConsumeRandomLengthString(300);
    const std::string pattern = in.ConsumeRemainingBytesAsString();
    if (entry.name.find_first_of("\r\n") != std::string::npos) return 0;  // left out of listings
    if (pattern.find('\n') != std::string::npos) return 0;                // ends a command line

    std::string line;
    AppendListingLine(line, entry, detailed, currentYear);
    if (detailed) CheckDetailedLine(line, entry);
    else if (line != entry.name + "\r\n") Fail("a name-only line is not the name", line);

    if (listFolder) CheckFolderListing(entry.name, pattern, detailed);
    return 0;
}
