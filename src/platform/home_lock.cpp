#include "platform/home_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace corvane {
namespace {

std::string LockPath(const std::string& home) { return home + "/" + kHomeLockFileName; }

pid_t PidInText(const std::string& text)
{
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value > 1L << 30) return 0;
    }
    return static_cast<pid_t>(value);
}

std::string ReadAll(int fd)
{
    std::string text;
    char buffer[64];
    ssize_t got = 0;
    while ((got = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()))) > 0 && text.size() < 256)
        text.append(buffer, static_cast<std::size_t>(got));
    return text;
}

}  // namespace

HomeLock::Outcome HomeLock::TryAcquire(const std::string& home, std::unique_ptr<HomeLock>& lock, std::string& error)
{
    const int fd = ::open(LockPath(home).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = "cannot open " + LockPath(home) + ": " + std::strerror(errno);
        return Outcome::Failed;
    }
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        const int failure = errno;
        ::close(fd);
        if (failure == EWOULDBLOCK) return Outcome::Held;
        error = "cannot lock " + LockPath(home) + ": " + std::strerror(failure);
        return Outcome::Failed;
    }
    lock.reset(new HomeLock(fd));
    const pid_t previous = PidInText(ReadAll(fd));
    lock->previousHolder_ = previous == ::getpid() ? 0 : previous;
    return Outcome::Acquired;
}

pid_t HomeLock::LastHolder(const std::string& home)
{
    const int fd = ::open(LockPath(home).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return 0;
    const pid_t pid = PidInText(ReadAll(fd));
    ::close(fd);
    return pid;
}

void HomeLock::NameHolder()
{
    const std::string text = std::to_string(::getpid()) + "\n";
    // The number only serves messages; the lock holds without it.
    named_ =
        ::ftruncate(fd_, 0) == 0 && ::pwrite(fd_, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

HomeLock::~HomeLock()
{
    // A holder that ends in order leaves the file naming nobody; closing releases the lock.
    if (named_ && ::ftruncate(fd_, 0) != 0) {
        // The next holder then merely reports this process as one that did not clean up.
    }
    ::close(fd_);
}

}  // namespace corvane
