// The search over the local index (SITE SRCH) and the digest lookup (SITE MD5): the query's
// terms, the matching of search lines, the listing line a hit is shown as, and the digest of a
// virtual path. The caller holds the search lock for a whole search; each read of the index
// takes the index lock by itself (LocalIndex).
//
// Server thread (they only read the index and call the caller's filter).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "p2p/local_index.h"

namespace corvane {

inline constexpr std::size_t kSearchResultLimit = 200;
// The most distinct terms a search that takes any term looks for: each costs a pass over
// every line, and a 60 KB query must not hold the server thread for minutes. Terms past it
// are left out.
inline constexpr std::size_t kMostAnyTerms = 64;

// The query's terms: split at blanks, a double-quoted run is one term (a "b c" d gives a,
// b c, d); an empty query gives one empty term, which matches nothing.
std::vector<std::string> SplitQuery(std::string_view query);

// The FTP listing line of a search line: type, "r--r--r--   1 ftp      ftp", the size
// right-aligned in 14 columns, the listing date and the whole virtual path. Empty when the
// text is not a search line.
std::string SearchResultListingLine(std::string_view searchLine);

// Whether the searching account may see an entry: `folder` is the real folder to test (the
// folder itself for a folder entry, the folder holding a file).
using SearchFilter = std::function<bool(const std::string& folder)>;

// Runs the search of `mode` (0: every term occurs in the path, 1: any term does; without regard
// to case) and replaces `results` with the listing lines of the first distinct hits that pass
// the filter, at most kSearchResultLimit. Any other mode searches nothing and leaves `results`
// as it was.
void SearchLocalIndex(const LocalIndex& index, int mode, std::string_view query, const SearchFilter& mayList,
                      std::vector<std::string>& results);

// The folder the filter tests for a search line's entry ("/C:/Music/a.mp3" -> "C:\Music").
std::string SearchFilterFolder(std::string_view virtualPath, char entryType);

// The digest field of the first line whose virtual path is `virtualPath` (the drive letter
// without regard to case, the rest exactly); kNoDigest when none.
std::string DigestInIndex(const LocalIndex& index, std::string_view virtualPath);

}  // namespace corvane
