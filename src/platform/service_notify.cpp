#include "platform/service_notify.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace corvane {

bool NotifyServiceManager(const std::string& state)
{
    const char* target = std::getenv("NOTIFY_SOCKET");
    if (target == nullptr) return false;
    const std::string path = target;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // "@name" is a name of the abstract namespace (a leading NUL byte); anything else a path.
    if (path.size() < 2 || path.size() >= sizeof address.sun_path || (path[0] != '/' && path[0] != '@')) return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    if (path[0] == '@') address.sun_path[0] = '\0';
    const socklen_t size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const ssize_t sent =
        ::sendto(fd, state.data(), state.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address), size);
    ::close(fd);
    return sent == static_cast<ssize_t>(state.size());
}

}  // namespace corvane
