// A blocking FTP control connection on loopback for benchmarks that time single replies from
// threads of their own (NOOP latency, a search's reply). One thread at a time.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>

namespace corvane::bench {

// The data port of a 227 reply "(h1,h2,h3,h4,p1,p2)"; -1 when the reply has none.
inline int PassivePort(const std::string& reply)
{
    unsigned a, b, c, d, p1, p2;
    const std::size_t open = reply.find('(');
    if (open == std::string::npos ||
        std::sscanf(reply.c_str() + open, "(%u,%u,%u,%u,%u,%u)", &a, &b, &c, &d, &p1, &p2) != 6)
        return -1;
    return static_cast<int>(p1 * 256 + p2);
}

class BlockingFtpClient {
public:
    // `source` (a loopback address such as "127.0.0.7"; empty for the stack's choice) is the
    // address this client connects from, for its control and its data connections.
    explicit BlockingFtpClient(int port, std::string source = {})
        : source_(std::move(source))
    {
        fd_ = ConnectTo(port);
    }
    ~BlockingFtpClient() { Close(); }
    BlockingFtpClient(const BlockingFtpClient&) = delete;
    BlockingFtpClient& operator=(const BlockingFtpClient&) = delete;

    bool Connected() const { return fd_ >= 0; }
    std::string lastReply;  // the reply that ended the last login, for a report

    // The last line of the next reply (a multi-line reply ends at "ddd "); empty when the
    // connection ends first.
    std::string Reply()
    {
        for (;;) {
            const std::size_t end = pending_.find("\r\n");
            if (end != std::string::npos) {
                std::string line = pending_.substr(0, end);
                pending_.erase(0, end + 2);
                if (line.size() >= 4 && line[3] == '-') continue;
                return line;
            }
            char buffer[4096];
            const ssize_t got = fd_ < 0 ? -1 : ::recv(fd_, buffer, sizeof buffer, 0);
            if (got <= 0) return {};
            pending_.append(buffer, static_cast<std::size_t>(got));
        }
    }
    std::string Command(const std::string& line)
    {
        const std::string text = line + "\r\n";
        if (fd_ < 0 || ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size()))
            return {};
        return Reply();
    }
    // Greeting, USER and PASS; true at the 230.
    bool LoginAnonymously() { return Login("anonymous", "bench@example.org"); }
    bool Login(const std::string& user, const std::string& password)
    {
        Reply();
        const std::string userReply = Command("USER " + user);
        lastReply = userReply.rfind("331", 0) == 0 ? Command("PASS " + password) : userReply;
        return lastReply.rfind("230", 0) == 0;
    }
    // PASV and RETR of `path`: the bytes received, or -1 unless the transfer ended with a 226.
    long long Retrieve(const std::string& path)
    {
        const int port = PassivePort(Command("PASV"));
        const int data = port < 0 ? -1 : ConnectTo(port);
        if (data < 0) return -1;
        std::string reply = Command("RETR " + path);
        long long received = 0;
        char buffer[65536];
        for (ssize_t got; (got = ::recv(data, buffer, sizeof buffer, 0)) > 0;) received += got;
        ::close(data);
        if (reply.rfind("150", 0) == 0 || reply.rfind("125", 0) == 0) reply = Reply();
        return reply.rfind("226", 0) == 0 ? received : -1;
    }

private:
    int ConnectTo(int port) const
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return -1;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        if (!source_.empty()) {
            ::inet_pton(AF_INET, source_.c_str(), &address.sin_addr);
            // The port is picked at the connect, for the whole address pair: a bind that picked
            // it alone would run out of ports while thousands of closed data connections wait.
            ::setsockopt(fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &one, sizeof one);
            if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
                ::close(fd);
                return -1;
            }
        }
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
        ::close(fd);
        return -1;
    }
    void Close()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    std::string source_;
    int fd_ = -1;
    std::string pending_;
};

}  // namespace corvane::bench
