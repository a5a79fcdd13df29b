#include "ftp/ftp_paths.h"

#include <cctype>

#include "common/path_text.h"
#include "ftp/ftp_exceptions.h"

namespace corvane {
namespace {

bool HasDriveLetter(std::string_view path) { return path.size() >= 2 && path[1] == ':'; }

// "C:" of a drive path, the share part of a UNC path, empty otherwise.
std::string DriveOf(std::string_view path)
{
    if (IsUNC(path)) return UncSharePart(path);
    if (HasDriveLetter(path)) return std::string(path.substr(0, 2));
    return std::string();
}

bool SameDriveLetter(std::string_view a, std::string_view b)
{
    if (a.empty() || b.empty()) return a.empty() && b.empty();
    return std::toupper(static_cast<unsigned char>(a[0])) == std::toupper(static_cast<unsigned char>(b[0]));
}

// ".." on a UNC folder: up one name, never above the share.
std::string UncParent(const std::string& current)
{
    const std::string share = UncSharePart(current);
    const std::string parent = ParentFolderOf(current);
    return parent.size() <= share.size() ? AddTrailingBackslash(share) : parent;
}

void RefuseDotNotation(std::string_view rest)
{
    if (rest.find(".\\") != std::string_view::npos)
        throw EFtpCtrlSocketException("Cannot accept relative path using dot notation");
}

}  // namespace

std::string ToBackslashes(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        if (c == '/') c = '\\';
    return result;
}

std::string ToSlashes(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        if (c == '\\') c = '/';
    return result;
}

bool IsUNC(std::string_view text) { return text.size() >= 2 && text[0] == '\\' && text[1] == '\\'; }

void PatchIE5(std::string& text)
{
    if (text.size() > 2 && text[0] == '\\' && text[2] == ':') text.erase(0, 1);
}

std::string UncSharePart(std::string_view path)
{
    const std::size_t afterServer = path.find('\\', 2);
    if (afterServer == std::string_view::npos) return std::string(path);
    const std::size_t afterShare = path.find('\\', afterServer + 1);
    return std::string(path.substr(0, afterShare == std::string_view::npos ? path.size() : afterShare));
}

std::string ResolveDirectory(const std::string& current, std::string requested, bool uncAccepted)
{
    if (requested == current) return current;
    // "/C:" is a client's absolute path to the root of C: (lftp walks "/C:/a/b" as "/C:", then
    // "a", then "b"); the bare "C:" that the IE5 patch leaves would mean the current folder of
    // that drive instead.
    const bool rootedDrive = requested.size() == 3 && requested[0] == '\\' && requested[2] == ':';
    PatchIE5(requested);
    if (rootedDrive) requested += '\\';
    if (IsUNC(requested)) {
        if (!uncAccepted) throw EFtpCtrlSocketException("Cannot accept UNC path");
        return AddTrailingBackslash(requested);
    }
    std::string drive;
    std::string rest;
    if (HasDriveLetter(requested)) {
        drive = requested.substr(0, 2);
        rest = requested.substr(2);
    } else {
        drive = DriveOf(current);
        rest = requested;
    }
    if (rest.find(':') != std::string::npos) throw EFtpCtrlSocketException("Invalid directory name syntax");
    const bool currentIsUnc = IsUNC(current);
    const std::string currentFolder = current.size() > 2 ? current.substr(2) : std::string();
    if (rest == "..") {
        if (currentIsUnc) return UncParent(current);
        rest = ParentFolderOf(currentFolder);
    }
    if (!rest.empty() && rest[0] != '\\') {
        if (currentIsUnc) return AddTrailingBackslash(current + rest);
        if (!SameDriveLetter(drive, current))
            throw EFtpCtrlSocketException("Cannot accept path not relative to current directory");
        RefuseDotNotation(rest);
        rest = rest == "." ? currentFolder : currentFolder + rest;
    } else if (!rest.empty()) {
        RefuseDotNotation(rest);
    } else {
        rest = SameDriveLetter(drive, current) ? currentFolder : std::string("\\");
    }
    if (!rest.empty()) rest = AddTrailingBackslash(rest);
    return drive + rest;
}

std::string BuildFilePath(const std::string& directory, const std::string& name)
{
    std::string path = ToBackslashes(name);
    PatchIE5(path);
    if (IsUNC(path)) return path;
    if (IsUNC(directory)) return path.starts_with('\\') ? UncSharePart(directory) + path : directory + path;
    std::string drive;
    std::string rest;
    if (HasDriveLetter(path)) {
        drive = {static_cast<char>(std::toupper(static_cast<unsigned char>(path[0]))), ':'};
        rest = path.substr(2);
    } else {
        drive = directory.substr(0, 2);
        rest = path;
    }
    if (rest.starts_with('\\')) return drive + rest;
    if (drive != directory.substr(0, 2)) throw FtpServerException("No current dir for '" + drive + "'");
    return directory + rest;
}

ClientPath ResolveClientPath(const std::string& directory, std::string_view sent)
{
    ClientPath path;
    path.named = BuildFilePath(directory, std::string(sent));
    path.real = RealFormOf(path.named);
    return path;
}

std::string RealFormOf(const std::string& named)
{
    std::string full = FullRealPath(named);
    return full.empty() ? named : full;
}

std::string RebaseRootedName(std::string_view name, std::string_view home)
{
    if (!name.starts_with('/') || name.find(':') != std::string_view::npos) return std::string(name);
    std::string rebased = "/" + ToSlashes(home);
    if (rebased.back() != '/') rebased += '/';
    return rebased.append(name.substr(1));
}

}  // namespace corvane
