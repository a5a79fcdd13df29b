// A blocking FTP control connection on loopback for benchmarks that time single replies from
// threads of their own (NOOP latency, a search's reply). One thread at a time.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace corvane::bench {

class BlockingFtpClient {
public:
    explicit BlockingFtpClient(int port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) Close();
    }
    ~BlockingFtpClient() { Close(); }
    BlockingFtpClient(const BlockingFtpClient&) = delete;
    BlockingFtpClient& operator=(const BlockingFtpClient&) = delete;

    bool Connected() const { return fd_ >= 0; }

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
        if (fd_ < 0 || ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size())) return {};
        return Reply();
    }
    // Greeting, USER and PASS; true at the 230.
    bool LoginAnonymously()
    {
        Reply();
        const std::string user = Command("USER anonymous");
        const std::string pass = user.rfind("331", 0) == 0 ? Command("PASS bench@example.org") : user;
        return pass.rfind("230", 0) == 0;
    }

private:
    void Close()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd_ = -1;
    std::string pending_;
};

}  // namespace corvane::bench
