// The engine's own folder listings for LIST and NLST: which entries a listing holds, and the
// text of each line.
//
// A detailed (LIST) line is the Unix-like line that FTP clients parse:
//   -rw-rw-rw-   1 ftp      ftp        123456 Mar 07 09:05 name
// "d" marks a folder, a read-only entry loses its three "w", a name ending in .EXE, .COM or .BAT
// (any case) gains three "x"; the size is the full 64-bit size, right-aligned in at least 11
// characters; an entry of an earlier or later year shows the year in place of the time. Month
// names are English whatever the host's language. A name-only (NLST) line is the name alone.
// Every line ends in CR LF.
//
// The entries are those of the pattern, in listing order of the file-system boundary, "." and
// ".." included where the folder has them; LIST leaves hidden entries out, NLST keeps them.
// Entries whose names hold CR or LF are left out of both: such a name would split its line in
// two and no client could tell the pieces from real entries. A listing with no line at all is
// the single line "<pattern> not found".
//
// Free functions of the engine; any thread (they only read the file system).
#pragma once

#include <ostream>
#include <string>

#include "platform/fs.h"

namespace corvane {

class TFtpCtrlSocket;

// The search pattern of LIST or NLST: BuildFilePath(directory, params), or the folder itself
// for empty params; a pattern that ends in a backslash gets "*.*". Raises what BuildFilePath
// raises.
std::string ListingPattern(const std::string& directory, const std::string& params);

// Appends one line for the entry (detailed or name only). `currentYear` decides between the
// time and the year.
void AppendListingLine(std::string& out, const fs::FileInfo& entry, bool detailed, int currentYear);

// The whole listing of a pattern (a real path whose last name may hold "*" and "?"; without
// them it names one entry, so a folder named without a final backslash lists as its own line).
std::string BuildListingText(const std::string& pattern, bool detailed);

// The engine's BuildDirectory: the listing of `params` relative to the client's Directory,
// written to `stream`. Raises what BuildFilePath raises.
void BuildDirectory(const TFtpCtrlSocket& client, const std::string& params, std::ostream& stream, bool detailed);

}  // namespace corvane
