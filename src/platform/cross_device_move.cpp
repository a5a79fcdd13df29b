#include "platform/cross_device_move.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/drive_map.h"
#include "platform/fs.h"
#include "platform/fs_internal.h"
#include "platform/host_path_text.h"
#include "platform/writer_probe.h"

namespace corvane::fs {
namespace {

using detail::FailWith;
using detail::FailWithErrno;
using detail::Succeed;

constexpr std::size_t kCopyBlockSize = 1 << 20;

std::string ParentFolderOf(const std::string& hostPath)
{
    const std::size_t slash = hostPath.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : hostPath.substr(0, slash);
}

// Closes a descriptor and, unless released, removes the temporary it was written through.
class Temporary {
public:
    Temporary(int fd, std::string path)
        : fd_(fd),
          path_(std::move(path))
    {}
    ~Temporary()
    {
        if (fd_ >= 0) ::close(fd_);
        if (!released_) ::unlink(path_.c_str());
    }
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;

    int Fd() const { return fd_; }
    const std::string& Path() const { return path_; }
    bool Close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }
    void Release() { released_ = true; }

private:
    int fd_;
    std::string path_;
    bool released_ = false;
};

bool CopyBytes(int from, int to)
{
    std::vector<char> block(kCopyBlockSize);
    for (;;) {
        const ssize_t got = ::read(from, block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(to, block.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put < 0) return false;
            done += put;
        }
    }
}

// Gives the complete temporary the target's name, failing when the target exists.
bool NameWithoutReplacing(const std::string& temporary, const std::string& target)
{
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(temporary.c_str(), target.c_str()) == 0;
}

bool CopyThenRemove(const std::string& from, const std::string& to, const struct stat& source)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return FailWithErrno();
    std::string pattern = ParentFolderOf(to) + "/.corvane-move-XXXXXX";
    const int out = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        errno = error;
        return FailWithErrno();
    }
    Temporary copy(out, pattern);
    const bool copied = CopyBytes(in, copy.Fd());
    const int copyError = errno;
    ::close(in);
    if (!copied) {
        errno = copyError;
        return FailWithErrno();
    }
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    ::fchmod(copy.Fd(), source.st_mode & 07777);
    ::futimens(copy.Fd(), times);
    if (::fsync(copy.Fd()) != 0 || !copy.Close()) return FailWithErrno();
    if (!NameWithoutReplacing(copy.Path(), to)) return FailWithErrno();
    copy.Release();
    if (::unlink(from.c_str()) != 0) {
        const int error = errno;
        // The source stays: take the copy back, so the file is not found twice.
        ::unlink(to.c_str());
        errno = error;
        return FailWithErrno();
    }
    return Succeed();
}

}  // namespace

bool MoveReal(std::string_view fromRealPath, std::string_view toRealPath)
{
    if (RenameReal(fromRealPath, toRealPath)) return true;
    const FsError renameError = LastFsError();
    const auto from = DriveMap::HostPathOf(fromRealPath);
    const auto to = DriveMap::HostPathOf(toRealPath);
    if (!from || !to || renameError == FsError::AlreadyExists || DriveMap::IsDriveRoot(fromRealPath))
        return FailWith(renameError);
    const std::string source = WithoutTrailingSlashes(*from);
    const std::string target = WithoutTrailingSlashes(*to);
    struct stat sourceStat {
    }, targetFolderStat{};
    if (::lstat(source.c_str(), &sourceStat) != 0 || ::stat(ParentFolderOf(target).c_str(), &targetFolderStat) != 0)
        return FailWith(renameError);
    // Only another file system is a reason to copy; any other refusal stands.
    if (sourceStat.st_dev == targetFolderStat.st_dev) return FailWith(renameError);
    if (!S_ISREG(sourceStat.st_mode)) return FailWith(renameError);
    if (RealFileOpenForWriting(fromRealPath)) return FailWith(FsError::AccessDenied);
    return CopyThenRemove(source, target, sourceStat);
}

}  // namespace corvane::fs
