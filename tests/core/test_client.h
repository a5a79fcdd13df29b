// A blocking loopback client for tests that talk to a server running on another thread.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>

namespace corvane::testing {

// A loopback port that was free a moment ago. The server's settings take FTP ports up to
// 32275 only, below the host's ephemeral range, so the port is drawn from 10000-32000 and
// tried (bound and released) until one is free.
inline int FreeLoopbackPort()
{
    static std::mt19937 draw{std::random_device{}()};
    std::uniform_int_distribution<int> range(10000, 32000);
    for (;;) {
        const int port = range(draw);
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (free) return port;
    }
}

// Takes the first CR LF line out of `pending` into `line`; false when no whole line is there.
inline bool TakeLine(std::string& pending, std::string& line)
{
    const std::size_t end = pending.find("\r\n");
    if (end == std::string::npos) return false;
    line = pending.substr(0, end);
    pending.erase(0, end + 2);
    return true;
}

inline sockaddr_in LoopbackAddress(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A blocking stream socket connected to the loopback port; `connected` tells whether it is.
inline int ConnectLoopback(int port, bool& connected)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = LoopbackAddress(port);
    connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    return fd;
}

// A listener of another program's kind on the loopback port, so that a server cannot take it;
// -1 when the port is not free.
inline int HoldLoopbackPort(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = LoopbackAddress(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 1) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

class LineClient {
public:
    explicit LineClient(int port) { fd_ = ConnectLoopback(port, connected_); }
    ~LineClient() { ::close(fd_); }
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;

    bool Connected() const { return connected_; }
    void Send(const std::string& text) { ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL); }

    // The next line without its CR LF; "<timeout>" or "<closed>" when none comes.
    std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (std::string line;;) {
            if (TakeLine(pending_, line)) return line;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return "<timeout>";
            pollfd ready{fd_, POLLIN, 0};
            if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) return "<timeout>";
            char buffer[4096];
            const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
            if (got <= 0) return "<closed>";
            pending_.append(buffer, static_cast<std::size_t>(got));
        }
    }

    // True when the server closes the connection within the timeout.
    bool WaitClosed(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000))
    {
        for (;;) {
            const std::string line = ReadLine(timeout);
            if (line == "<closed>") return true;
            if (line == "<timeout>") return false;
        }
    }

private:
    int fd_ = -1;
    bool connected_ = false;
    std::string pending_;
};

}  // namespace corvane::testing
