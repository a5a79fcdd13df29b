#include "platform/socket_api.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/uio.h>
#include <sys/utsname.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/host_signals.h"
#include "platform/win_errors.h"

namespace corvane::sockapi {
namespace {

// Either family, with the length the calls take.
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    sockaddr* get() { return reinterpret_cast<sockaddr*>(&storage); }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

SocketAddress ToSockaddr(const Endpoint& e)
{
    SocketAddress a;
    if (e.v6) {
        sockaddr_in6 in6{};
        in6.sin6_family = AF_INET6;
        std::memcpy(&in6.sin6_addr, e.address6.data(), 16);
        in6.sin6_port = htons(static_cast<std::uint16_t>(e.port));
        std::memcpy(&a.storage, &in6, sizeof in6);
        a.length = sizeof in6;
        return a;
    }
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(e.address);
    in.sin_port = htons(static_cast<std::uint16_t>(e.port));
    std::memcpy(&a.storage, &in, sizeof in);
    a.length = sizeof in;
    return a;
}

bool IsMapped(const std::uint8_t* bytes)
{
    static constexpr std::uint8_t kPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    return std::memcmp(bytes, kPrefix, sizeof kPrefix) == 0;
}

Endpoint FromSockaddr(const SocketAddress& a)
{
    Endpoint e;
    if (a.storage.ss_family == AF_INET6) {
        sockaddr_in6 in6{};
        std::memcpy(&in6, &a.storage, sizeof in6);
        e.port = ntohs(in6.sin6_port);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&in6.sin6_addr);
        if (IsMapped(bytes)) {
            e.address = static_cast<std::uint32_t>(bytes[12]) << 24 | static_cast<std::uint32_t>(bytes[13]) << 16 |
                        static_cast<std::uint32_t>(bytes[14]) << 8 | bytes[15];
            return e;
        }
        e.v6 = true;
        std::memcpy(e.address6.data(), bytes, 16);
        return e;
    }
    sockaddr_in in{};
    std::memcpy(&in, &a.storage, sizeof in);
    e.address = ntohl(in.sin_addr.s_addr);
    e.port = ntohs(in.sin_port);
    return e;
}

bool Unspecified(const Endpoint& e)
{
    for (std::uint8_t b : e.address6)
        if (b != 0) return false;
    return true;
}

int Result(int rc) { return rc < 0 ? LastWinSockError() : 0; }

int SetIntOption(int fd, int level, int name, int value)
{
    return Result(::setsockopt(fd, level, name, &value, sizeof value));
}

}  // namespace

int Create(Kind kind, int protocol, int& fd, bool v6)
{
    IgnoreConnectionFaultSignals();
    const int type = kind == Kind::Stream ? SOCK_STREAM : kind == Kind::Datagram ? SOCK_DGRAM : SOCK_RAW;
    fd = ::socket(v6 ? AF_INET6 : AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    return fd < 0 ? LastWinSockError() : 0;
}

int Close(int fd) { return Result(::close(fd)); }

int Shutdown(int fd, int how)
{
    const int mode = how == 0 ? SHUT_RD : how == 1 ? SHUT_WR : SHUT_RDWR;
    return Result(::shutdown(fd, mode));
}

int Bind(int fd, const Endpoint& local)
{
    // The host's default for IPV6_V6ONLY varies (a sysctl): say it, so that "::" is always both
    // families and a named IPv6 address never takes IPv4 traffic.
    if (local.v6) SetIntOption(fd, IPPROTO_IPV6, IPV6_V6ONLY, Unspecified(local) ? 0 : 1);
    const SocketAddress a = ToSockaddr(local);
    return Result(::bind(fd, a.get(), a.length));
}

int Listen(int fd, int backlog) { return Result(::listen(fd, backlog)); }

int Accept(int fd, int& newFd, Endpoint& peer)
{
    SocketAddress a;
    newFd = ::accept4(fd, a.get(), &a.length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (newFd < 0) return LastWinSockError();
    peer = FromSockaddr(a);
    return 0;
}

int Connect(int fd, const Endpoint& remote)
{
    const SocketAddress a = ToSockaddr(remote);
    if (::connect(fd, a.get(), a.length) == 0) return 0;
    return errno == EINPROGRESS ? WSAEWOULDBLOCK : LastWinSockError();
}

int PendingError(int fd, int& error)
{
    int value = 0;
    socklen_t len = sizeof value;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &value, &len) < 0) return LastWinSockError();
    error = WinSockErrorFromErrno(value);
    return 0;
}

int Send(int fd, const void* data, int len, bool urgent, int& sent)
{
    const ssize_t n = ::send(fd, data, static_cast<std::size_t>(len), MSG_NOSIGNAL | (urgent ? MSG_OOB : 0));
    if (n < 0) return LastWinSockError();
    sent = static_cast<int>(n);
    return 0;
}

int SendMore(int fd, const void* data, int len, int& sent)
{
    const ssize_t n = ::send(fd, data, static_cast<std::size_t>(len), MSG_NOSIGNAL | MSG_MORE);
    if (n < 0) return LastWinSockError();
    sent = static_cast<int>(n);
    return 0;
}

int Receive(int fd, void* buffer, int len, bool peek, int& received)
{
    const ssize_t n = ::recv(fd, buffer, static_cast<std::size_t>(len), peek ? MSG_PEEK : 0);
    if (n < 0) return LastWinSockError();
    received = static_cast<int>(n);
    return 0;
}

int SendGather(int fd, const Slice* slices, int count, bool urgent, int& sent)
{
    iovec pieces[kMaxSlices];
    const int used = count < kMaxSlices ? count : kMaxSlices;
    for (int i = 0; i < used; ++i) {
        pieces[i].iov_base = const_cast<void*>(slices[i].data);
        pieces[i].iov_len = static_cast<std::size_t>(slices[i].len);
    }
    msghdr message{};
    message.msg_iov = pieces;
    message.msg_iovlen = static_cast<std::size_t>(used);
    const ssize_t n = ::sendmsg(fd, &message, MSG_NOSIGNAL | (urgent ? MSG_OOB : 0));
    if (n < 0) return LastWinSockError();
    sent = static_cast<int>(n);
    return 0;
}

int SendTo(int fd, const Endpoint& remote, const void* data, int len, bool urgent, int& sent)
{
    const SocketAddress a = ToSockaddr(remote);
    const ssize_t n =
        ::sendto(fd, data, static_cast<std::size_t>(len), MSG_NOSIGNAL | (urgent ? MSG_OOB : 0), a.get(), a.length);
    if (n < 0) return LastWinSockError();
    sent = static_cast<int>(n);
    return 0;
}

int ReceiveFrom(int fd, void* buffer, int len, Endpoint& from, int& received)
{
    SocketAddress a;
    const ssize_t n = ::recvfrom(fd, buffer, static_cast<std::size_t>(len), 0, a.get(), &a.length);
    if (n < 0) return LastWinSockError();
    from = FromSockaddr(a);
    received = static_cast<int>(n);
    return 0;
}

int BytesReady(int fd, int& count)
{
    int value = 0;
    if (::ioctl(fd, FIONREAD, &value) < 0) return LastWinSockError();
    count = value;
    return 0;
}

int LocalEndpoint(int fd, Endpoint& local)
{
    SocketAddress a;
    if (::getsockname(fd, a.get(), &a.length) < 0) return LastWinSockError();
    local = FromSockaddr(a);
    return 0;
}

int PeerEndpoint(int fd, Endpoint& peer)
{
    SocketAddress a;
    if (::getpeername(fd, a.get(), &a.length) < 0) return LastWinSockError();
    peer = FromSockaddr(a);
    return 0;
}

int SetReuseAddress(int fd, bool on) { return SetIntOption(fd, SOL_SOCKET, SO_REUSEADDR, on ? 1 : 0); }
int SetNoDelay(int fd, bool on) { return SetIntOption(fd, IPPROTO_TCP, TCP_NODELAY, on ? 1 : 0); }
int SetKeepAlive(int fd, bool on) { return SetIntOption(fd, SOL_SOCKET, SO_KEEPALIVE, on ? 1 : 0); }
int SetBroadcast(int fd, bool on) { return SetIntOption(fd, SOL_SOCKET, SO_BROADCAST, on ? 1 : 0); }
int SetMulticastTtl(int fd, int ttl) { return SetIntOption(fd, IPPROTO_IP, IP_MULTICAST_TTL, ttl); }

int SetLinger(int fd, bool on, int seconds)
{
    linger value{};
    value.l_onoff = on ? 1 : 0;
    value.l_linger = seconds;
    return Result(::setsockopt(fd, SOL_SOCKET, SO_LINGER, &value, sizeof value));
}

int JoinMulticastGroup(int fd, std::uint32_t group)
{
    ip_mreq request{};
    request.imr_multiaddr.s_addr = htonl(group);
    request.imr_interface.s_addr = htonl(INADDR_ANY);
    return Result(::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request));
}

StackInfo HostStackInfo()
{
    StackInfo info;
    utsname host{};
    const std::string release = ::uname(&host) == 0 ? std::string(host.sysname) + " " + host.release : "Linux";
    info.description = release + " TCP/IP (Berkeley sockets)";
    info.status = "Running";
    rlimit files{};
    info.maxSockets = ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 0x7FFFFFFF
                          ? static_cast<int>(files.rlim_cur)
                          : 0x7FFFFFFF;
    info.maxDatagram = 65507;  // 65535 less the IPv4 and UDP headers
    return info;
}

}  // namespace corvane::sockapi
