#include "platform/socket_oob_inline.h"

#include <sys/socket.h>

#include <cerrno>

#include "platform/win_errors.h"

namespace corvane::sockapi {

int SetOobInline(int fd, bool on)
{
    const int value = on ? 1 : 0;
    if (::setsockopt(fd, SOL_SOCKET, SO_OOBINLINE, &value, sizeof value) == 0) return 0;
    return WinSockErrorFromErrno(errno);
}

}  // namespace corvane::sockapi
