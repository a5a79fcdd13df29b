// The host's socket calls, behind one wall. Every descriptor is non-blocking and close-on-exec
// from creation; no call blocks. Each function returns 0 on success and otherwise the system's
// socket error number (win_errors.h), so that nothing above the platform sees errno.
// An IPv4 address is a host-order number (a.b.c.d is a<<24 | b<<16 | c<<8 | d); an IPv6 one is
// its 16 bytes in network order. An IPv4-mapped IPv6 peer (a dual-stack listener's IPv4 client)
// is reported as the IPv4 address it carries, so that the rest of the system sees one form.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace corvane::sockapi {

enum class Kind { Stream, Datagram, Raw };

struct Endpoint {
    std::uint32_t address = 0;
    int port = 0;
    bool v6 = false;
    std::array<std::uint8_t, 16> address6{};
};

// `v6` makes an IPv6 socket. An IPv6 stream socket bound to the unspecified address (::) takes
// IPv4 connections too (dual stack); one bound to a named address takes only that address.
int Create(Kind kind, int protocol, int& fd, bool v6 = false);
int Close(int fd);
int Shutdown(int fd, int how);  // 0 receive, 1 send, 2 both

int Bind(int fd, const Endpoint& local);
int Listen(int fd, int backlog);
// The new descriptor is non-blocking too. WSAEWOULDBLOCK when nothing is waiting.
int Accept(int fd, int& newFd, Endpoint& peer);
// 0 when connected at once, WSAEWOULDBLOCK while the connection is being made.
int Connect(int fd, const Endpoint& remote);
// The outcome of a connection attempt, once the descriptor reports writable or an error.
int PendingError(int fd, int& error);

// `sent` / `received` hold the byte count on success. A received count of 0 is the end of the
// stream. Sending never raises SIGPIPE.
int Send(int fd, const void* data, int len, bool urgent, int& sent);
// As Send, but the stack holds the last part of a segment back for what the caller sends next,
// at once: a shutdown of the sending direction then puts its FIN in the same segment.
int SendMore(int fd, const void* data, int len, int& sent);
// One piece of a gathered send.
struct Slice {
    const void* data = nullptr;
    int len = 0;
};
// Sends several pieces, in order, in one call of the stack (at most kMaxSlices are used).
constexpr int kMaxSlices = 64;
int SendGather(int fd, const Slice* slices, int count, bool urgent, int& sent);
int Receive(int fd, void* buffer, int len, bool peek, int& received);
int SendTo(int fd, const Endpoint& remote, const void* data, int len, bool urgent, int& sent);
int ReceiveFrom(int fd, void* buffer, int len, Endpoint& from, int& received);
// Bytes the stack holds ready to read.
int BytesReady(int fd, int& count);

int LocalEndpoint(int fd, Endpoint& local);
int PeerEndpoint(int fd, Endpoint& peer);

int SetReuseAddress(int fd, bool on);
int SetNoDelay(int fd, bool on);
int SetKeepAlive(int fd, bool on);
int SetLinger(int fd, bool on, int seconds);
int SetBroadcast(int fd, bool on);
int SetMulticastTtl(int fd, int ttl);
int JoinMulticastGroup(int fd, std::uint32_t group);

// What the host's socket stack says about itself, for the stack description of the system.
struct StackInfo {
    std::string description;  // e.g. "Linux 6.1.0 TCP/IP (Berkeley sockets)"
    std::string status;       // "Running"
    int maxSockets = 0;       // descriptors this process may open
    int maxDatagram = 0;      // largest UDP payload over IPv4
};
StackInfo HostStackInfo();

}  // namespace corvane::sockapi
