#include "platform/send_file.h"

#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <string>

#include "platform/host_signals.h"
#include "platform/win_errors.h"

namespace corvane::sockapi {
namespace {

// The host hands over at most this much in one call.
constexpr long long kLargestCall = 0x7ffff000;
// The buffer of the fallback: one read and one send per call.
constexpr long long kFallbackBlock = 64 * 1024;

// Errors that say the file cannot be sent directly, not that the connection failed.
bool NotDirectlySendable(int error) { return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP; }

int SendThroughBuffer(int socketFd, int fileFd, long long offset, long long count, long long& sent)
{
    thread_local char buffer[kFallbackBlock];
    const ssize_t got = ::pread(fileFd, buffer, static_cast<std::size_t>(std::min(count, kFallbackBlock)), offset);
    if (got < 0) return LastWinSockError();
    if (got == 0) {
        sent = 0;
        return 0;
    }
    // What the stack does not take now is read again from the file next time.
    const ssize_t n = ::send(socketFd, buffer, static_cast<std::size_t>(got), MSG_NOSIGNAL);
    if (n < 0) return LastWinSockError();
    sent = n;
    return 0;
}

}  // namespace

int SendFile(int socketFd, int fileFd, long long offset, long long count, long long& sent)
{
    // sendfile has no flag against SIGPIPE, and a peer's close that arrives while the call runs
    // raises it even when the call still reports a partial count: only a process that ignores
    // the signal is safe from it.
    IgnoreConnectionFaultSignals();
    sent = 0;
    if (count <= 0) return 0;
    if (offset < 0) return WinSockErrorFromErrno(EINVAL);
    off_t position = static_cast<off_t>(offset);
    const ssize_t n = ::sendfile(socketFd, fileFd, &position, static_cast<std::size_t>(std::min(count, kLargestCall)));
    const int error = n < 0 ? errno : 0;
    if (n >= 0) {
        sent = n;
        return 0;
    }
    if (NotDirectlySendable(error)) return SendThroughBuffer(socketFd, fileFd, offset, count, sent);
    return WinSockErrorFromErrno(error);
}

int ReadFileAt(int fileFd, void* buffer, int len, long long offset, int& got)
{
    got = 0;
    if (len <= 0) return 0;
    if (offset < 0) return WinSockErrorFromErrno(EINVAL);
    for (;;) {
        const ssize_t n = ::pread(fileFd, buffer, static_cast<std::size_t>(len), static_cast<off_t>(offset));
        if (n >= 0) {
            got = static_cast<int>(n);
            return 0;
        }
        if (errno != EINTR) return WinSockErrorFromErrno(errno);
    }
}

bool KernelTlsAvailable()
{
    // The list of upper-layer protocols names "tls" once the kernel's TLS module is loaded.
    std::ifstream list("/proc/sys/net/ipv4/tcp_available_ulp");
    std::string name;
    while (list >> name)
        if (name == "tls") return true;
    return false;
}

}  // namespace corvane::sockapi
