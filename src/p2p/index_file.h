// "p2pIndex.ksl": the index lines of the last upload, one per line, each ended by CR LF, in the
// program folder. Read at the start of each indexing pass; rewritten after a successful upload.
#pragma once

#include <string>
#include <vector>

namespace corvane {

inline constexpr const char* kIndexFileName = "p2pIndex.ksl";

// The host path of "p2pIndex.ksl" in the program folder.
std::string IndexFilePath();

// The file's lines (LF or CR LF ends; a last line without an end counts). A missing, empty or
// unreadable file gives none; lines too long to be an index line are dropped (the caller
// drops the other texts that are not index lines).
std::vector<std::string> ReadIndexFile(const std::string& hostPath);

// Rewrites the file from the lines, each followed by CR LF, as a whole: a crash at any moment
// leaves either the old file or the new one. False when it could not be written.
bool WriteIndexFile(const std::string& hostPath, const std::vector<std::string>& lines);

}  // namespace corvane
