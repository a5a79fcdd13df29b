// Texts of real local paths in the system's own form: "\" separates names, a folder path ends
// in "\", a drive letter leads ("C:\Pub\"). Pure text work except where a function says it asks
// the file system (FolderOfPath, NameOfPath).
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Appends "\" unless the text already ends with it; an empty text becomes "\". The one
// trailing-separator helper of every path text in the system's form.
std::string AddTrailingBackslash(std::string_view s);
// Removes one final "\" when present.
std::string RemoveTrailingBackslash(std::string_view s);
// AddTrailingBackslash(a), then b; b loses its leading "\" when it has one and a is not empty.
// JoinPath("C:\A", "\B") and JoinPath("C:\A\", "B") are both "C:\A\B".
std::string JoinPath(std::string_view a, std::string_view b);
// The path without a final "\"; when that is not an existing folder, the text before its last
// "\" (no trailing "\"). Asks the file system.
std::string FolderOfPath(std::string_view path);
// The path without a final "\"; when that is not an existing folder, the text after its last
// "\". Asks the file system.
std::string NameOfPath(std::string_view path);
// The folder that holds an entry, with its trailing "\": "C:\Pub\a.txt" and "C:\Pub\sub\" are
// both in "C:\Pub\", "\TEMP\" is in "\"; empty when the text has no "\" before its last name
// ("C:\" and "C:" hold nothing above them). Text only: ".." is not resolved, so a caller that
// decides on the folder gives the full form (FullRealPath).
std::string ParentFolderOf(std::string_view path);
// Every "/" becomes "\"; an empty text gives "\".
std::string SlashesToBackslashes(std::string_view s);
// Every "\" becomes "/".
std::string BackslashesToSlashes(std::string_view s);
// The text from the last "." to the end, the "." included; empty when there is no ".".
std::string ExtensionOf(std::string_view s);
// `first` receives the text before the first "*" and `s` keeps the text after it; without "*",
// `first` receives s and s is unchanged.
void SplitAtStar(std::string& s, std::string& first);

// The full form of a real path, the one normaliser of real paths (the file system's host
// translation reads a path the same way, so this form names exactly what is touched): "/" become "\", repeated "\" count as one, "." segments go, ".."
// removes the segment before it and stops at the drive's root; a trailing "\" is kept. "C:"
// alone gives "C:\". Texts that are not drive-letter paths (UNC, relative) give "".
std::string FullRealPath(std::string_view path);

// Whether `path`, in its full form (FullRealPath), lies inside `root` (given without a trailing
// "\"): its first length(root)+1 characters equal root + "\". The drive letter compares without
// regard to case, the rest exactly, as the host compares names; so the folder root itself
// counts only when written with its trailing "\". A path that has no full form is never inside.
bool IsInsideFolder(std::string_view path, std::string_view root);

}  // namespace corvane
