#include "platform/file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <set>
#include <utility>

#include "platform/drive_map.h"
#include "platform/fs_internal.h"

namespace corvane {
namespace {

using fs::FsError;
using fs::detail::FailWith;
using fs::detail::FailWithErrno;
using fs::detail::Succeed;

// The files open for writing in this process, by device and inode: the stand-in for the share
// modes the host does not have.
std::mutex writerRegistryMutex;
std::set<std::pair<std::uint64_t, std::uint64_t>> openWriters;  // guarded by writerRegistryMutex

bool RegisterWriter(std::uint64_t device, std::uint64_t inode)
{
    std::lock_guard lock(writerRegistryMutex);
    return openWriters.insert({device, inode}).second;
}

void UnregisterWriter(std::uint64_t device, std::uint64_t inode)
{
    std::lock_guard lock(writerRegistryMutex);
    openWriters.erase({device, inode});
}

int OpenFlagsOf(FileStream::Mode mode)
{
    switch (mode) {
    case FileStream::Mode::Read: return O_RDONLY;
    case FileStream::Mode::ReadWrite: return O_RDWR;
    case FileStream::Mode::CreateNew: return O_RDWR | O_CREAT | O_EXCL;
    case FileStream::Mode::Create:
    case FileStream::Mode::OpenOrCreate:
    case FileStream::Mode::Append:
    case FileStream::Mode::AppendPrivate: return O_RDWR | O_CREAT;
    }
    return O_RDONLY;
}

}  // namespace

FileStream::~FileStream() { Close(); }

FileStream::FileStream(FileStream&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      writer_(std::exchange(other.writer_, false)),
      device_(other.device_),
      inode_(other.inode_),
      openedSize_(other.openedSize_),
      openedTime_(other.openedTime_)
{}

FileStream& FileStream::operator=(FileStream&& other) noexcept
{
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        writer_ = std::exchange(other.writer_, false);
        device_ = other.device_;
        inode_ = other.inode_;
        openedSize_ = other.openedSize_;
        openedTime_ = other.openedTime_;
    }
    return *this;
}

bool FileStream::OpenReal(std::string_view realPath, Mode mode)
{
    Close();
    auto hostPath = DriveMap::HostPathOf(realPath);
    if (!hostPath) return FailWith(FsError::NotFound);
    return OpenHostPath(*hostPath, mode);
}

bool FileStream::OpenHost(const std::string& hostPath, Mode mode)
{
    Close();
    if (hostPath.empty() || hostPath.find('\0') != std::string::npos) return FailWith(FsError::NotFound);
    return OpenHostPath(hostPath, mode);
}

bool FileStream::OpenHostPath(const std::string& hostPath, Mode mode)
{
    // O_NONBLOCK for the open: a FIFO in a shared folder must not hang the caller.
    const mode_t created = mode == Mode::AppendPrivate ? 0600 : 0666;
    int fd = ::open(hostPath.c_str(), OpenFlagsOf(mode) | O_CLOEXEC | O_NONBLOCK, created);
    if (fd < 0) return FailWithErrno();
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int error = errno;
        ::close(fd);
        errno = error;
        return FailWithErrno();
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return FailWith(S_ISDIR(st.st_mode) ? FsError::IsAFolder : FsError::AccessDenied);
    }
    // O_NONBLOCK stays: it changes nothing for a regular file, the only kind kept open.
    const bool writer = mode != Mode::Read;
    const auto device = static_cast<std::uint64_t>(st.st_dev);
    const auto inode = static_cast<std::uint64_t>(st.st_ino);
    // Registered before anything is truncated, so a refused second writer leaves the file alone.
    if (writer && !RegisterWriter(device, inode)) {
        ::close(fd);
        return FailWith(FsError::AccessDenied);
    }
    if ((mode == Mode::Create && ::ftruncate(fd, 0) != 0) ||
        ((mode == Mode::Append || mode == Mode::AppendPrivate) && ::lseek(fd, 0, SEEK_END) < 0)) {
        int error = errno;
        UnregisterWriter(device, inode);
        ::close(fd);
        errno = error;
        return FailWithErrno();
    }
    fd_ = fd;
    writer_ = writer;
    device_ = device;
    inode_ = inode;
    openedSize_ = mode == Mode::Create ? 0 : st.st_size;  // Create has just emptied it
    openedTime_ = st.st_mtime;
    return Succeed();
}

void FileStream::Close()
{
    if (fd_ < 0) return;
    if (writer_) UnregisterWriter(device_, inode_);
    ::close(fd_);
    fd_ = -1;
    writer_ = false;
}

std::int64_t FileStream::Read(void* buffer, std::size_t count)
{
    if (fd_ < 0) return FailWith(FsError::Other), -1;
    for (;;) {
        ssize_t got = ::read(fd_, buffer, count);
        if (got >= 0) return got;
        if (errno != EINTR) return FailWithErrno(), -1;
    }
}

bool FileStream::Write(const void* data, std::size_t count)
{
    if (fd_ < 0 || !writer_) return FailWith(FsError::AccessDenied);
    const char* bytes = static_cast<const char*>(data);
    while (count > 0) {
        ssize_t put = ::write(fd_, bytes, count);
        if (put < 0) {
            if (errno == EINTR) continue;
            return FailWithErrno();
        }
        bytes += put;
        count -= static_cast<std::size_t>(put);
    }
    return Succeed();
}

std::int64_t FileStream::Seek(std::int64_t offset, Origin origin)
{
    if (fd_ < 0) return FailWith(FsError::Other), -1;
    int whence = origin == Origin::Begin ? SEEK_SET : origin == Origin::Current ? SEEK_CUR : SEEK_END;
    off_t at = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (at < 0) return FailWithErrno(), -1;
    return at;
}

std::int64_t FileStream::Position() const
{
    if (fd_ < 0) return -1;
    return ::lseek(fd_, 0, SEEK_CUR);
}

std::int64_t FileStream::Size() const
{
    if (fd_ < 0) return -1;
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return -1;
    return st.st_size;
}

bool FileStream::SizeAndTimeAtOpen(std::int64_t& size, std::time_t& modified) const
{
    if (fd_ < 0) return false;
    size = openedSize_;
    modified = openedTime_;
    return true;
}

std::int64_t FileStream::ReadAt(void* buffer, std::size_t count, std::int64_t offset)
{
    if (fd_ < 0 || offset < 0) return -1;
    for (;;) {
        const ssize_t got = ::pread(fd_, buffer, count, static_cast<off_t>(offset));
        if (got >= 0) return got;
        if (errno != EINTR) return -1;
    }
}

bool FileStream::Truncate(std::int64_t size)
{
    if (fd_ < 0 || !writer_ || size < 0) return FailWith(FsError::AccessDenied);
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return FailWithErrno();
    return Succeed();
}

bool FileStream::Flush()
{
    if (fd_ < 0) return FailWith(FsError::Other);
    if (::fsync(fd_) != 0) return FailWithErrno();
    return Succeed();
}

bool FileStream::SameFileAs(const FileStream& other) const
{
    return IsOpen() && other.IsOpen() && device_ == other.device_ && inode_ == other.inode_;
}

std::size_t FileStream::OpenWriterCount()
{
    std::lock_guard lock(writerRegistryMutex);
    return openWriters.size();
}

}  // namespace corvane
