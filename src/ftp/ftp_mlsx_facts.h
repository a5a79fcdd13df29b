// The texts of the machine listings (MLSD, MLST) and of MFMT: which facts a client asked for,
// the facts of one entry, the rights an entry's "perm" fact tells, and the time stamps.
//
// A machine listing line is the facts, each "name=value;", a blank, and the entry's name:
//   type=file;size=5;modify=20261210065300;perm=adfrw;unique=803U1a2b; a.txt
// Times are UTC to the second. "unique" is the file system and the entry's number on it in
// hexadecimal, so two paths that reach one file (a link, a second mapped drive) show one value.
// Free functions; any thread.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "platform/fs.h"

namespace corvane {

enum TFtpMlsxFact : unsigned { mlsxType, mlsxSize, mlsxModify, mlsxPerm, mlsxUnique, mlsxFactCount };

// What an account may do in one folder, as the owner's folder rights say. Without an owner
// that says otherwise, everything.
struct TFtpFolderRights {
    bool get = true;
    bool put = true;
    bool list = true;
    bool cwd = true;
    bool mkDir = true;
    bool dele = true;
    bool rmd = true;
};

// The facts of OPTS MLST's parameter ("type;size;"), compared without regard to case; names
// it does not know are passed over, as clients expect.
unsigned ParseMlsxFactSelection(std::string_view facts);
// Every fact the server knows, each followed by ";", those selected marked with "*" (the FEAT
// line), or only the selected ones without marks (the reply to OPTS MLST).
std::string MlsxFactNames(unsigned selected, bool allWithMarks);

// The "perm" fact of an entry: `folder` holds the rights in the folder that lists the entry,
// `inside` those in the entry itself when it is a folder (ignored for a file).
std::string MlsxPermFact(const fs::FileInfo& entry, const TFtpFolderRights& folder, const TFtpFolderRights& inside);

// The selected facts of an entry ("type=dir;...;"), with its perm fact text.
std::string MlsxFacts(const fs::FileInfo& entry, unsigned selected, std::string_view perm);

// The listing line of an entry: its selected facts, a blank, its name, CR LF.
std::string MlsxLine(const fs::FileInfo& entry, unsigned selected, std::string_view perm);

// A moment as the facts and MFMT write it: YYYYMMDDHHMMSS in UTC; empty when the host cannot.
std::string MlsxTime(std::time_t when);
// MFMT's time: YYYYMMDDHHMMSS in UTC, optionally followed by "." and digits of a fraction of a
// second (dropped: the host's times are whole seconds). Nothing for a text of another form or
// a date that does not exist.
std::optional<std::time_t> ParseMlsxTime(std::string_view text);

}  // namespace corvane
