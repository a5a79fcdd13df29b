// The file-system boundary: the only code that calls the host's file API.
//
// Two forms of each operation exist:
//  - real-path operations take the system's own paths (C:\Pub\a.txt) and translate them
//    through DriveMap; a path that translates to nothing fails with FsError::NotFound, exactly
//    like a path to a file that is not there;
//  - host-path operations take host paths as they are ("/home/me/.local/share/corvane-server/
//    usersgroups.ini"); they are for the files the system keeps in its home, never for paths a
//    client sent.
//
// Every operation returns a bool (or an empty optional / empty list) on failure and records the
// reason in LastFsError() of the calling thread, so a caller that must tell "not found" from
// "access denied" can. Any thread may call any function; nothing here keeps state except the
// per-thread last error and the writer registry of FileStream.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::fs {

// Why the last failing operation of this thread failed.
enum class FsError {
    None,
    NotFound,      // no such file or folder, or a path that names nothing (unmapped, UNC, ...)
    AccessDenied,  // the host refused (permissions), or the file is in use by another writer
    AlreadyExists,
    NotEmpty,  // a folder to remove still has entries
    NotAFolder,
    IsAFolder,
    NameTooLong,
    NoSpace,
    Other,
};
FsError LastFsError();
// A short fixed English text for an FsError ("File not found", "Access denied", ...).
const char* FsErrorText(FsError error);

// One directory entry or stat result, with the attributes the system's listings use.
struct FileInfo {
    std::string name;       // the last name of the path; "." and ".." for those entries
    std::int64_t size = 0;  // bytes; 0 for folders and other non-regular entries
    std::time_t mtime = 0;  // last modification time, whole seconds since the epoch (UTC
                            // based; the caller converts to local time for display)
    long mtimeNanoseconds = 0;  // the part of the modification time below the second
    bool isDirectory = false;
    bool isHidden = false;     // the name begins with "." (but is not "." or "..")
    bool isReadOnly = false;   // the owner's write bit is clear
    bool isSystem = false;     // neither a regular file nor a folder (device, socket, FIFO,
                               // dangling link)
    std::uint64_t device = 0;  // the file system and the entry's number on it: together they
    std::uint64_t inode = 0;   // name the entry whatever path reaches it
};

// ---- Host paths (the home and files beside the program) ----

// Reads a whole file into `out` (bytes as they are). False, with `out` empty, when it cannot.
bool ReadFileText(const std::string& hostPath, std::string& out);
// Writes the file as a whole so that a crash or kill at any moment leaves either the old
// content or the new one: a unique temporary file in the same folder, written, fsynced, renamed
// over the target, then the folder fsynced. The temporary file is removed on failure. An
// existing target keeps its permission bits.
bool WriteFileAtomically(const std::string& hostPath, std::string_view content);
// The same, but the file ends up readable and writable by its owner only (0600), whatever its
// permission bits were: for files that hold passwords.
bool WriteFileAtomicallyOwnerOnly(const std::string& hostPath, std::string_view content);
// Makes a file that holds passwords or keys readable and writable by its owner only when its
// group or others may read or write it; true when its mode was changed.
bool MakeOwnerOnlyIfShared(const std::string& hostPath);
bool RemoveHostFile(const std::string& hostPath);  // files only; a missing file is a failure
bool HostFileExists(const std::string& hostPath);  // an existing entry that is not a folder
bool HostFolderExists(const std::string& hostPath);
// The names in a folder (without "." and ".."), sorted bytewise; empty when it cannot be read.
std::vector<std::string> ListHostFolder(const std::string& hostFolder);
std::optional<FileInfo> StatHost(const std::string& hostPath);
bool MakeHostFolders(const std::string& hostFolder);  // with parents; true when it exists after
bool CopyHostFile(const std::string& fromHostPath, const std::string& toHostPath, bool overwrite);
bool RenameHostFile(const std::string& fromHostPath, const std::string& toHostPath);

// ---- Real paths (translated through DriveMap) ----

bool RealFileExists(std::string_view realPath);  // an existing entry that is not a folder
bool RealFolderExists(std::string_view realPath);
// The entry's attributes; its name is the last name of the path (the drive root gives "").
std::optional<FileInfo> StatReal(std::string_view realPath);
// Every entry of a folder, sorted bytewise by name. With `withDotEntries`, "." and ".." come
// first, as the system lists them, except at the root of a drive (which has neither).
// Empty (LastFsError tells why) when the folder cannot be read; an entry that vanishes while
// the folder is read is left out.
std::vector<FileInfo> ListRealFolder(std::string_view realFolder, bool withDotEntries = false);
// Whether a name matches a wildcard pattern as the system's file searches match them: "*" any
// run of characters (none included), "?" any one character, everything else compared as this
// host compares names (exactly). A pattern ending in ".*" also matches the names its part
// before ".*" matches, so "*.*" matches every name, with or without a ".".
bool NameMatchesWildcards(std::string_view name, std::string_view pattern);
// The first entry a file search finds: when the last name of `realPattern` holds "*" or "?", the
// first entry of its folder in listing order (ListRealFolder with its dot entries) whose name
// matches; otherwise the entry itself, as StatReal. Nothing (NotFound) when no entry matches.
std::optional<FileInfo> FindFirstReal(std::string_view realPattern);
bool MakeRealFolder(std::string_view realPath);  // the parent must exist
// Creates the folder and every missing parent below the drive's root. True when it exists
// afterwards (also when it existed before).
bool ForceRealFolders(std::string_view realPath);
bool DeleteRealFile(std::string_view realPath);  // files only; a folder fails with IsAFolder
// Sets a regular file's modification time (whole seconds since the epoch); a folder fails with
// IsAFolder. A file system may hold fewer moments than a call can name and keep the nearest
// one: read the time back to learn what was stored.
bool SetRealModificationTime(std::string_view realPath, std::time_t mtime);
bool RemoveRealFolder(std::string_view realPath);  // empty folders only; never a drive root
// Renames or moves a file or folder. Fails with AlreadyExists when the target exists (the
// target is never replaced), and never moves a drive root.
bool RenameReal(std::string_view fromRealPath, std::string_view toRealPath);
// Copies a regular file's bytes and permission bits. With `overwrite` false an existing target
// fails with AlreadyExists. Copying a file onto itself fails (it would empty it). A target open
// for writing in this process fails with AccessDenied.
bool CopyRealFile(std::string_view fromRealPath, std::string_view toRealPath, bool overwrite);
// Creates a new empty file with a unique name "<prefix>XXXXXX.tmp" in the folder and returns
// its real path; nullopt when it cannot.
std::optional<std::string> CreateUniqueRealTempFile(std::string_view realFolder, std::string_view prefix);
// The same in a host folder; returns the host path.
std::optional<std::string> CreateUniqueHostTempFile(const std::string& hostFolder, std::string_view prefix);

}  // namespace corvane::fs
