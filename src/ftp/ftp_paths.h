// The engine's path rules: how a folder or file name that a client sends becomes a local path
// in the system's form (a drive "C:" or a UNC share "\\server\share", backslash separators, a
// current folder that always ends in a backslash). Texts only: nothing here asks the file
// system, and nothing confines a path to a folder; the owner's events decide what is allowed,
// always on the real path that ResolveClientPath gives, the one the file operation then uses.
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

// A file or folder that a command names, in the two forms the engine needs.
struct ClientPath {
    // The current folder and the name joined (BuildFilePath), "." and ".." kept as sent: the
    // text the replies quote ("550 'C:\Pub\..\x': ...").
    std::string named;
    // The same entry in its full form (FullRealPath: ".." resolved and clamped at the drive's
    // root, "." and doubled separators gone): the path that every check decides on and every
    // file operation touches. A text with no full form (a UNC path) stays as named: the file
    // system names nothing there and refuses it.
    std::string real;
};

// The one way from a name that a command sends to the path that it touches, relative to the
// current folder `directory`; "/" and "\" both separate. Raises what BuildFilePath raises.
ClientPath ResolveClientPath(const std::string& directory, std::string_view sent);

// Hands the real path to an owner's validation event (`ask` calls it with the path, which the
// event may change). An event that names another entry in its place is obeyed, and the replies
// then quote the entry it named.
template <class Ask>
void AskOwnerOn(ClientPath& path, Ask&& ask)
{
    const std::string asked = path.real;
    ask(path.real);
    if (path.real != asked) path.named = path.real;
}

// The real form of a path that the engine built earlier (the source of a rename).
std::string RealFormOf(const std::string& named);

// "/" as the account's home folder: a name that starts with "/" and holds no ":" is rebased
// onto `home` ("/x" with home C:\Pub gives "/C:/Pub/x"); any other name comes back as it is.
// The owner applies it to the names of the commands that take "/" that way, before the engine
// resolves them, so the replies quote the rebased name.
std::string RebaseRootedName(std::string_view name, std::string_view home);

}  // namespace corvane
