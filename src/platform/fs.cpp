#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/drive_map.h"
#include "platform/file_stream.h"
#include "platform/fs_internal.h"

namespace corvane::fs {

namespace detail {

namespace {
thread_local FsError lastFsError = FsError::None;
}

void SetLastFsError(FsError error) { lastFsError = error; }

FsError FsErrorFromErrno(int error)
{
    switch (error) {
    case 0: return FsError::None;
    case ENOENT:
    case ENOTDIR:  // a name on the way is not a folder: the path does not exist
        return FsError::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EBUSY: return FsError::AccessDenied;
    case EEXIST: return FsError::AlreadyExists;
    case ENOTEMPTY: return FsError::NotEmpty;
    case EISDIR: return FsError::IsAFolder;
    case ENAMETOOLONG: return FsError::NameTooLong;
    case ENOSPC:
    case EDQUOT: return FsError::NoSpace;
    default: return FsError::Other;
    }
}

bool FailWithErrno()
{
    SetLastFsError(FsErrorFromErrno(errno));
    return false;
}

bool FailWith(FsError error)
{
    SetLastFsError(error);
    return false;
}

bool Succeed()
{
    SetLastFsError(FsError::None);
    return true;
}

bool ResolveRewriteTarget(const std::string& hostPath, StagedFile& staged)
{
    if (hostPath.empty() || hostPath.find('\0') != std::string::npos) return FailWith(FsError::NotFound);
    // A link is kept a link: the file it points to is the one rewritten.
    staged.target = hostPath;
    struct stat st {};
    if (::lstat(hostPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* resolved = ::realpath(hostPath.c_str(), nullptr)) {
            staged.target = resolved;
            std::free(resolved);
        }
    }
    staged.keptMode = -1;
    if (::stat(staged.target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return FailWith(FsError::IsAFolder);
        staged.keptMode = static_cast<int>(st.st_mode & 07777);
    }
    const std::size_t slash = staged.target.rfind('/');
    staged.folder = slash == std::string::npos ? "." : slash == 0 ? "/" : staged.target.substr(0, slash);
    return Succeed();
}

bool WriteTemporary(StagedFile& staged, std::string_view content, bool syncNow)
{
    const std::size_t slash = staged.target.rfind('/');
    const std::string name = slash == std::string::npos ? staged.target : staged.target.substr(slash + 1);
    staged.temporary = staged.folder + "/." + name + ".XXXXXX";
    int fd = ::mkostemp(staged.temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        staged.temporary.clear();
        return FailWithErrno();
    }
    auto abandon = [&](bool open) {
        int error = errno;
        if (open) ::close(fd);
        ::unlink(staged.temporary.c_str());
        staged.temporary.clear();
        errno = error;
        return FailWithErrno();
    };
    // New files are the owner's only (they may hold scrambled passwords); a rewritten file keeps
    // its permission bits.
    if (staged.keptMode >= 0 && ::fchmod(fd, static_cast<mode_t>(staged.keptMode)) != 0) return abandon(true);
    const char* bytes = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        ssize_t put = ::write(fd, bytes, left);
        if (put < 0) {
            if (errno == EINTR) continue;
            return abandon(true);
        }
        bytes += put;
        left -= static_cast<std::size_t>(put);
    }
    if (syncNow && ::fsync(fd) != 0) return abandon(true);
    if (::close(fd) != 0) return abandon(false);
    return Succeed();
}

void SyncFolder(const std::string& hostFolder)
{
    // The rename itself must reach the disk too, or a power cut may bring back the old name.
    int dirFd = ::open(hostFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

}  // namespace detail

using detail::FailWith;
using detail::FailWithErrno;
using detail::Succeed;

namespace {

constexpr std::size_t kCopyBlockSize = 64 * 1024;

// A host path from text that reached us from outside: a NUL byte would silently cut it short.
bool UsableHostPath(const std::string& hostPath)
{
    return !hostPath.empty() && hostPath.find('\0') == std::string::npos;
}

std::optional<std::string> Translate(std::string_view realPath)
{
    auto hostPath = DriveMap::HostPathOf(realPath);
    if (!hostPath) FailWith(FsError::NotFound);
    return hostPath;
}

std::string LastNameOf(std::string_view hostPath)
{
    while (hostPath.size() > 1 && hostPath.back() == '/') hostPath.remove_suffix(1);
    std::size_t slash = hostPath.rfind('/');
    return std::string(slash == std::string_view::npos ? hostPath : hostPath.substr(slash + 1));
}

FileInfo InfoFromStat(std::string name, const struct stat& st)
{
    FileInfo info;
    info.isDirectory = S_ISDIR(st.st_mode);
    info.isSystem = !S_ISREG(st.st_mode) && !info.isDirectory;
    info.size = S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : 0;
    info.mtime = st.st_mtim.tv_sec;
    info.mtimeNanoseconds = st.st_mtim.tv_nsec;
    info.isReadOnly = (st.st_mode & S_IWUSR) == 0;
    info.device = static_cast<std::uint64_t>(st.st_dev);
    info.inode = static_cast<std::uint64_t>(st.st_ino);
    info.isHidden = name.size() > 0 && name[0] == '.' && name != "." && name != "..";
    info.name = std::move(name);
    return info;
}

// Follows links as the host does; a dangling link is still an entry (a system one).
std::optional<FileInfo> StatEntry(int dirFd, const char* path, std::string name)
{
    struct stat st {};
    if (::fstatat(dirFd, path, &st, 0) == 0) return InfoFromStat(std::move(name), st);
    int error = errno;
    if (::fstatat(dirFd, path, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
        FileInfo info = InfoFromStat(std::move(name), st);
        info.isSystem = true;
        info.size = 0;
        return info;
    }
    errno = error;
    FailWithErrno();
    return std::nullopt;
}

std::vector<FileInfo> ListFolderAt(const std::string& hostFolder)
{
    std::vector<FileInfo> entries;
    DIR* dir = ::opendir(hostFolder.c_str());
    if (dir == nullptr) {
        FailWithErrno();
        return entries;
    }
    const int dirFd = ::dirfd(dir);
    errno = 0;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") {
            // An entry that vanished between readdir and stat is simply not listed.
            if (auto info = StatEntry(dirFd, entry->d_name, name)) entries.push_back(std::move(*info));
        }
        errno = 0;
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const FileInfo& a, const FileInfo& b) { return a.name < b.name; });
    Succeed();
    return entries;
}

bool RenameWithoutReplacing(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return Succeed();
    if (errno != EINVAL && errno != ENOSYS) return FailWithErrno();
    // A file system without the no-replace flag: check first, as closely as the host allows.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) return FailWith(FsError::AlreadyExists);
    if (::rename(from.c_str(), to.c_str()) != 0) return FailWithErrno();
    return Succeed();
}

bool CopyFileAt(const std::string& from, const std::string& to, bool overwrite)
{
    FileStream source;
    if (!source.OpenHost(from, FileStream::Mode::Read)) return false;
    FileStream target;
    // Opened without truncating, so the same-file check below runs before any byte is lost.
    if (!target.OpenHost(to, overwrite ? FileStream::Mode::OpenOrCreate : FileStream::Mode::CreateNew)) return false;
    if (target.SameFileAs(source)) return FailWith(FsError::AccessDenied);
    if (!target.Truncate(0)) return false;
    std::vector<char> block(kCopyBlockSize);
    for (;;) {
        std::int64_t got = source.Read(block.data(), block.size());
        if (got < 0) return false;
        if (got == 0) break;
        if (!target.Write(block.data(), static_cast<std::size_t>(got))) return false;
    }
    struct stat st {};
    if (::stat(from.c_str(), &st) == 0) ::chmod(to.c_str(), st.st_mode & 07777);
    return Succeed();
}

bool MakeFoldersBelow(const std::string& existingRoot, const std::string& hostFolder)
{
    std::size_t pos = existingRoot == "/" ? 1 : existingRoot.size() + 1;
    while (pos <= hostFolder.size()) {
        std::size_t end = hostFolder.find('/', pos);
        if (end == std::string::npos) end = hostFolder.size();
        if (end > pos) {
            std::string partial = hostFolder.substr(0, end);
            if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) return FailWithErrno();
            struct stat st {};
            if (::stat(partial.c_str(), &st) != 0) return FailWithErrno();
            if (!S_ISDIR(st.st_mode)) return FailWith(FsError::NotAFolder);
        }
        pos = end + 1;
    }
    return Succeed();
}

}  // namespace

FsError LastFsError() { return detail::lastFsError; }

const char* FsErrorText(FsError error)
{
    switch (error) {
    case FsError::None: return "No error";
    case FsError::NotFound: return "File not found";
    case FsError::AccessDenied: return "Access denied";
    case FsError::AlreadyExists: return "File exists";
    case FsError::NotEmpty: return "Directory not empty";
    case FsError::NotAFolder: return "Not a directory";
    case FsError::IsAFolder: return "Is a directory";
    case FsError::NameTooLong: return "File name too long";
    case FsError::NoSpace: return "Disk full";
    case FsError::Other: return "File system error";
    }
    return "File system error";
}

// ---- Host paths ----

bool ReadFileText(const std::string& hostPath, std::string& out)
{
    out.clear();
    FileStream file;
    if (!file.OpenHost(hostPath, FileStream::Mode::Read)) return false;
    std::int64_t size = file.Size();
    if (size > 0) out.reserve(static_cast<std::size_t>(size));
    std::vector<char> block(kCopyBlockSize);
    for (;;) {
        std::int64_t got = file.Read(block.data(), block.size());
        if (got < 0) {
            out.clear();
            return false;
        }
        if (got == 0) break;
        out.append(block.data(), static_cast<std::size_t>(got));
    }
    return Succeed();
}

namespace {

bool RewriteAtomically(const std::string& hostPath, std::string_view content, bool ownerOnly)
{
    detail::StagedFile staged;
    if (!detail::ResolveRewriteTarget(hostPath, staged)) return false;
    if (ownerOnly) staged.keptMode = -1;  // the temporary is created owner-only
    if (!detail::WriteTemporary(staged, content, true)) return false;
    if (::rename(staged.temporary.c_str(), staged.target.c_str()) != 0) {
        int error = errno;
        ::unlink(staged.temporary.c_str());
        errno = error;
        return FailWithErrno();
    }
    detail::SyncFolder(staged.folder);
    return Succeed();
}

}  // namespace

bool MakeOwnerOnlyIfShared(const std::string& hostPath)
{
    struct stat st {};
    // A symbolic link's own mode means nothing: only a regular file is tightened.
    if (::lstat(hostPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if ((st.st_mode & 077) == 0) return false;
    return ::chmod(hostPath.c_str(), st.st_mode & 0700) == 0;
}

bool WriteFileAtomically(const std::string& hostPath, std::string_view content)
{
    return RewriteAtomically(hostPath, content, false);
}

bool WriteFileAtomicallyOwnerOnly(const std::string& hostPath, std::string_view content)
{
    return RewriteAtomically(hostPath, content, true);
}

bool RemoveHostFile(const std::string& hostPath)
{
    if (!UsableHostPath(hostPath)) return FailWith(FsError::NotFound);
    if (::unlink(hostPath.c_str()) != 0) return FailWithErrno();
    return Succeed();
}

bool HostFileExists(const std::string& hostPath)
{
    auto info = StatHost(hostPath);
    return info && !info->isDirectory;
}

bool HostFolderExists(const std::string& hostPath)
{
    auto info = StatHost(hostPath);
    return info && info->isDirectory;
}

std::vector<std::string> ListHostFolder(const std::string& hostFolder)
{
    std::vector<std::string> names;
    if (!UsableHostPath(hostFolder)) {
        FailWith(FsError::NotFound);
        return names;
    }
    for (FileInfo& info : ListFolderAt(hostFolder)) names.push_back(std::move(info.name));
    return names;
}

std::optional<FileInfo> StatHost(const std::string& hostPath)
{
    if (!UsableHostPath(hostPath)) {
        FailWith(FsError::NotFound);
        return std::nullopt;
    }
    auto info = StatEntry(AT_FDCWD, hostPath.c_str(), LastNameOf(hostPath));
    if (info) Succeed();
    return info;
}

bool MakeHostFolders(const std::string& hostFolder)
{
    if (!UsableHostPath(hostFolder)) return FailWith(FsError::NotFound);
    if (hostFolder.front() == '/') return MakeFoldersBelow("/", hostFolder);
    return MakeFoldersBelow(".", "./" + hostFolder);
}

bool CopyHostFile(const std::string& fromHostPath, const std::string& toHostPath, bool overwrite)
{
    return CopyFileAt(fromHostPath, toHostPath, overwrite);
}

bool RenameHostFile(const std::string& fromHostPath, const std::string& toHostPath)
{
    if (!UsableHostPath(fromHostPath) || !UsableHostPath(toHostPath)) return FailWith(FsError::NotFound);
    return RenameWithoutReplacing(fromHostPath, toHostPath);
}

// ---- Real paths ----

bool RealFileExists(std::string_view realPath)
{
    auto info = StatReal(realPath);
    return info && !info->isDirectory;
}

bool RealFolderExists(std::string_view realPath)
{
    auto info = StatReal(realPath);
    return info && info->isDirectory;
}

std::optional<FileInfo> StatReal(std::string_view realPath)
{
    auto hostPath = Translate(realPath);
    if (!hostPath) return std::nullopt;
    auto info = StatEntry(AT_FDCWD, hostPath->c_str(), LastNameOf(*hostPath));
    if (!info) return std::nullopt;
    if (DriveMap::IsDriveRoot(realPath)) {
        info->name.clear();
        info->isHidden = false;
    }
    Succeed();
    return info;
}

std::vector<FileInfo> ListRealFolder(std::string_view realFolder, bool withDotEntries)
{
    auto hostFolder = Translate(realFolder);
    if (!hostFolder) return {};
    std::vector<FileInfo> entries = ListFolderAt(*hostFolder);
    if (LastFsError() != FsError::None || !withDotEntries || DriveMap::IsDriveRoot(realFolder)) return entries;
    std::vector<FileInfo> dots;
    if (auto self = StatEntry(AT_FDCWD, hostFolder->c_str(), ".")) dots.push_back(std::move(*self));
    std::string parent = *hostFolder + "/..";
    if (auto up = StatEntry(AT_FDCWD, parent.c_str(), "..")) dots.push_back(std::move(*up));
    entries.insert(entries.begin(), std::make_move_iterator(dots.begin()), std::make_move_iterator(dots.end()));
    Succeed();
    return entries;
}

namespace {

// "*" and "?" over the whole name, backtracking to the last "*" on a mismatch.
bool MatchesWholeName(std::string_view name, std::string_view pattern)
{
    std::size_t n = 0, p = 0;
    std::size_t starAt = std::string_view::npos, resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = n;
        } else if (starAt != std::string_view::npos) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

bool NameMatchesWildcards(std::string_view name, std::string_view pattern)
{
    if (MatchesWholeName(name, pattern)) return true;
    // "x.*" also stands for "x" with no extension at all.
    return pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
           MatchesWholeName(name, pattern.substr(0, pattern.size() - 2));
}

std::optional<FileInfo> FindFirstReal(std::string_view realPattern)
{
    const std::size_t separator = realPattern.find_last_of("\\/");
    const std::string_view pattern =
        separator == std::string_view::npos ? realPattern : realPattern.substr(separator + 1);
    if (separator == std::string_view::npos || pattern.find_first_of("*?") == std::string_view::npos)
        return StatReal(realPattern);
    std::vector<FileInfo> entries = ListRealFolder(realPattern.substr(0, separator + 1), true);
    for (FileInfo& entry : entries) {
        if (!NameMatchesWildcards(entry.name, pattern)) continue;
        Succeed();
        return std::move(entry);
    }
    if (LastFsError() == FsError::None) FailWith(FsError::NotFound);
    return std::nullopt;
}

bool MakeRealFolder(std::string_view realPath)
{
    auto hostPath = Translate(realPath);
    if (!hostPath) return false;
    if (::mkdir(hostPath->c_str(), 0777) != 0) return FailWithErrno();
    return Succeed();
}

bool ForceRealFolders(std::string_view realPath)
{
    auto hostPath = Translate(realPath);
    if (!hostPath) return false;
    auto root = DriveMap::HostFolderOfDrive(realPath[0]);
    struct stat st {};
    if (!root || ::stat(root->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return FailWith(FsError::NotFound);
    if (*hostPath == *root) return Succeed();
    return MakeFoldersBelow(*root, *hostPath);
}

bool DeleteRealFile(std::string_view realPath)
{
    auto hostPath = Translate(realPath);
    if (!hostPath) return false;
    struct stat st {};
    if (::stat(hostPath->c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return FailWith(FsError::IsAFolder);
    if (::unlink(hostPath->c_str()) != 0) return FailWithErrno();
    return Succeed();
}

bool SetRealModificationTime(std::string_view realPath, std::time_t mtime)
{
    auto hostPath = Translate(realPath);
    if (!hostPath) return false;
    struct stat st {};
    if (::stat(hostPath->c_str(), &st) != 0) return FailWithErrno();
    if (S_ISDIR(st.st_mode)) return FailWith(FsError::IsAFolder);
    if (!S_ISREG(st.st_mode)) return FailWith(FsError::AccessDenied);
    const struct timespec times[2] = {{0, UTIME_OMIT}, {mtime, 0}};
    if (::utimensat(AT_FDCWD, hostPath->c_str(), times, 0) != 0) return FailWithErrno();
    return Succeed();
}

bool RemoveRealFolder(std::string_view realPath)
{
    if (DriveMap::IsDriveRoot(realPath)) return FailWith(FsError::AccessDenied);
    auto hostPath = Translate(realPath);
    if (!hostPath) return false;
    if (::rmdir(hostPath->c_str()) != 0) return FailWithErrno();
    return Succeed();
}

bool RenameReal(std::string_view fromRealPath, std::string_view toRealPath)
{
    if (DriveMap::IsDriveRoot(fromRealPath)) return FailWith(FsError::AccessDenied);
    if (DriveMap::IsDriveRoot(toRealPath)) return FailWith(FsError::AlreadyExists);
    auto from = Translate(fromRealPath);
    if (!from) return false;
    auto to = Translate(toRealPath);
    if (!to) return false;
    return RenameWithoutReplacing(*from, *to);
}

bool CopyRealFile(std::string_view fromRealPath, std::string_view toRealPath, bool overwrite)
{
    auto from = Translate(fromRealPath);
    if (!from) return false;
    auto to = Translate(toRealPath);
    if (!to) return false;
    return CopyFileAt(*from, *to, overwrite);
}

std::optional<std::string> CreateUniqueHostTempFile(const std::string& hostFolder, std::string_view prefix)
{
    if (!UsableHostPath(hostFolder) || prefix.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos) {
        FailWith(FsError::NotFound);
        return std::nullopt;
    }
    std::string path = hostFolder;
    if (path.back() != '/') path += '/';
    path.append(prefix);
    path += "XXXXXX.tmp";
    int fd = ::mkostemps(path.data(), 4, O_CLOEXEC);
    if (fd < 0) {
        FailWithErrno();
        return std::nullopt;
    }
    ::close(fd);
    Succeed();
    return path;
}

std::optional<std::string> CreateUniqueRealTempFile(std::string_view realFolder, std::string_view prefix)
{
    auto hostFolder = Translate(realFolder);
    if (!hostFolder) return std::nullopt;
    auto hostPath = CreateUniqueHostTempFile(*hostFolder, prefix);
    if (!hostPath) return std::nullopt;
    std::string real(realFolder);
    if (real.back() != '\\' && real.back() != '/') real += '\\';
    real += LastNameOf(*hostPath);
    return real;
}

}  // namespace corvane::fs
