// The engine's path rules: how a folder or file name that a client sends becomes a local path
// in the system's form (a drive "C:" or a UNC share "\\server\share", backslash separators, a
// current folder that always ends in a backslash). Texts only: nothing here asks the file
// system, and nothing confines a path to a folder; the owner's events decide what is allowed.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The engine's two slash conversions: every "/" becomes "\", every "\" becomes "/". Unlike
// the program's general helper, an empty text stays empty (an empty CWD stays where it is).
std::string ToBackslashes(std::string_view text);
std::string ToSlashes(std::string_view text);

// True when the text is at least two characters long and starts with two backslashes.
bool IsUNC(std::string_view text);

// A client that sent "/C:/x" has become "\C:\x": drop that leading backslash (the text is
// longer than two characters, starts with "\" and has ":" as its third character).
void PatchIE5(std::string& text);

// The share part of a UNC path: "\\server\share" of "\\server\share\a\b" (the whole text when
// it has no backslash after the share name).
std::string UncSharePart(std::string_view path);

// The current folder after a change to `requested` (a local path, relative or absolute,
// already in backslashes) from `current` (ends in a backslash). UNC paths are accepted only
// when `uncAccepted`. Raises EFtpCtrlSocketException with the reason: "Cannot accept UNC
// path", "Invalid directory name syntax", "Cannot accept path not relative to current
// directory", "Cannot accept relative path using dot notation".
std::string ResolveDirectory(const std::string& current, std::string requested, bool uncAccepted);

// The local path of a file or folder that a command names, relative to the current folder.
// Raises FtpServerException "No current dir for 'D:'" for a relative name on another drive.
// "." and ".." parts are kept as they are.
std::string BuildFilePath(const std::string& directory, const std::string& name);

}  // namespace corvane
