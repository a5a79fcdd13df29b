#include "platform/local_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

namespace corvane {
namespace {

// Runs `call` with the address of `path`. A path longer than a socket address can hold is
// reached through the folder's descriptor (/proc/self/fd/N/name), which is short.
int WithAddress(const std::string& path, const std::function<int(const sockaddr_un&)>& call)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() < sizeof address.sun_path) {
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        return call(address);
    }
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const int folder = ::open(path.substr(0, slash).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return -1;
    const std::string shortPath = "/proc/self/fd/" + std::to_string(folder) + path.substr(slash);
    int result = -1;
    if (shortPath.size() < sizeof address.sun_path) {
        std::memcpy(address.sun_path, shortPath.c_str(), shortPath.size() + 1);
        result = call(address);
    } else {
        errno = ENAMETOOLONG;
    }
    const int saved = errno;
    ::close(folder);
    errno = saved;
    return result;
}

int Remaining(std::chrono::steady_clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(left.count());
}

bool WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, Remaining(deadline));
        if (ready > 0) return true;
        if (ready == 0) return false;
        if (errno != EINTR) return false;
    }
}

}  // namespace

int ListenLocalSocket(const std::string& path, std::string& error)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    ::unlink(path.c_str());
    // Owner-only from the start: the socket file's mode at bind is the descriptor's mode less
    // the umask, so no moment exists in which others may connect; the chmod after it makes the
    // mode exact whatever the umask.
    ::fchmod(fd, 0600);
    const int bound = WithAddress(path, [fd](const sockaddr_un& address) {
        return ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    });
    if (bound != 0 || ::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 16) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

int AcceptLocalConnection(int listenFd)
{
    for (;;) {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0 || errno != EINTR) return fd;
    }
}

bool PeerIsOwnerOrRoot(int fd)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return false;
    return peer.uid == ::geteuid() || peer.uid == 0;
}

int ConnectLocalSocket(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int connected = WithAddress(path, [fd](const sockaddr_un& address) {
        int result = 0;
        do result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        while (result != 0 && errno == EINTR);
        return result;
    });
    if (connected != 0) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

bool SendAllBefore(int fd, std::string_view data, std::chrono::steady_clock::time_point deadline)
{
    std::string pending(data);
    while (!pending.empty()) {
        if (!SendAvailable(fd, pending)) return false;
        if (!pending.empty() && !WaitFor(fd, POLLOUT, deadline)) return false;
    }
    return true;
}

bool ReceiveAllBefore(int fd, std::string& out, std::size_t limit, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        bool failed = false;
        if (!ReceiveAvailable(fd, out, failed)) return !failed && out.size() <= limit;
        if (failed || out.size() > limit) return false;
        if (!WaitFor(fd, POLLIN, deadline)) return false;
    }
}

bool ReceiveAvailable(int fd, std::string& out, bool& failed)
{
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got > 0) {
            out.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got == 0) return false;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
        failed = true;
        return false;
    }
}

bool SendAvailable(int fd, std::string& pending)
{
    while (!pending.empty()) {
        const ssize_t sent = ::send(fd, pending.data(), pending.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            pending.erase(0, static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        return sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

void EndSending(int fd) { ::shutdown(fd, SHUT_WR); }
void CloseLocalSocket(int fd) { ::close(fd); }
void RemoveLocalSocketFile(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace corvane
