// Real peers of the HTTP client, started by the tests on loopback ports they pick: a small
// Python origin server, tinyproxy as the HTTP proxy and dante (danted) as the SOCKS server.
// Each runs in a process group of its own and is stopped, group and all, when it goes.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "platform/scratch_folder.h"
#include "test_source_dir.h"

namespace corvane::testing {

// A loopback port that was free a moment ago.
inline int FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

inline bool PortAccepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

inline bool ProgramInstalled(const std::string& name)
{
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// A shell command run as a child in its own process group; its standard output is a pipe.
class ChildProcess {
public:
    explicit ChildProcess(const std::string& command)
    {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setpgid(0, 0);
            ::dup2(fds[1], 1);
            ::close(fds[0]);
            ::close(fds[1]);
            ::execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::setpgid(pid_, pid_);
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~ChildProcess()
    {
        if (pid_ > 0) {
            ::kill(-pid_, SIGTERM);
            for (int i = 0; i < 100 && ::waitpid(pid_, nullptr, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ::kill(-pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line of its output, or empty when none came within the time.
    std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000))
    {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char c = 0;
            if (::read(out_, &c, 1) != 1) break;
            if (c == '\n') return line;
            line += c;
        }
        return line;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

// Waits until a loopback port accepts connections.
inline bool WaitForPort(int port, std::chrono::milliseconds timeout = std::chrono::milliseconds(10000))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (PortAccepts(port)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// The origin: Python's http.server with the answers the client tests need (http_origin.py
// beside this file, found through CORVANE_TEST_SOURCE_DIR).
class OriginServer {
public:
    // `address` is where it listens: "::1" for an IPv6 origin.
    explicit OriginServer(const std::string& address = "127.0.0.1")
        : process_("python3 -u " + std::string(CORVANE_TEST_SOURCE_DIR) + "/net/http_origin.py 0 " + address +
                   " 2>/dev/null"),
          host_(address.find(':') == std::string::npos ? address : "[" + address + "]")
    {
        const std::string line = process_.ReadLine();
        port_ = line.empty() ? 0 : std::atoi(line.c_str());
    }
    int Port() const { return port_; }
    std::string Url(const std::string& path) const { return "http://" + host_ + ":" + std::to_string(port_) + path; }

private:
    ChildProcess process_;
    std::string host_;
    int port_ = 0;
};

// A test suite whose tests share one origin server.
class WithOrigin : public ::testing::Test {
protected:
    static void SetUpTestSuite() { origin_ = new OriginServer(); }
    static void TearDownTestSuite()
    {
        delete origin_;
        origin_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(origin_->Port(), 0) << "the origin did not start"; }

    static inline OriginServer* origin_ = nullptr;
};

// tinyproxy in the foreground, optionally asking for Basic credentials.
class TinyProxy {
public:
    explicit TinyProxy(const std::string& user = {}, const std::string& password = {})
        : port_(FreeLoopbackPort())
    {
        std::ofstream(scratch_.Join("tinyproxy.conf"))
            << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 64\nAllow 127.0.0.1\n"
            << "LogLevel Critical\n"
            << (user.empty() ? std::string() : "BasicAuth " + user + " " + password + "\n");
        process_ =
            std::make_unique<ChildProcess>("tinyproxy -d -c " + scratch_.Join("tinyproxy.conf") + " 2>/dev/null");
        ready_ = WaitForPort(port_);
    }
    int Port() const { return port_; }
    bool Ready() const { return ready_; }

private:
    ScratchFolder scratch_;
    int port_;
    std::unique_ptr<ChildProcess> process_;
    bool ready_ = false;
};

// dante as a SOCKS 4 and 5 server; with a user it asks version 5 clients for a user name and
// password, checked against the system's accounts (so that account is made first, as root,
// and removed again when the server goes: no account with a known password stays behind).
class DanteServer {
public:
    static constexpr const char* kUser = "corvsocks";
    static constexpr const char* kPassword = "Pw-4-socks";

    explicit DanteServer(bool withPassword)
        : port_(FreeLoopbackPort())
    {
        if (withPassword && !EnsureAccount()) return;
        std::ofstream(scratch_.Join("danted.conf"))
            << "logoutput: stderr\ninternal: 127.0.0.1 port = " << port_ << "\nexternal: 127.0.0.1\n"
            << "socksmethod: " << (withPassword ? "username" : "none") << "\nclientmethod: none\n"
            << "user.privileged: root\nuser.unprivileged: nobody\n"
            << "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
            << "socks pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n";
        process_ = std::make_unique<ChildProcess>("danted -N 1 -f " + scratch_.Join("danted.conf") + " 2>/dev/null");
        ready_ = WaitForPort(port_);
    }
    ~DanteServer()
    {
        process_.reset();
        if (madeAccount_) (void)std::system((std::string("userdel ") + kUser + " >/dev/null 2>&1").c_str());
    }
    DanteServer(const DanteServer&) = delete;
    DanteServer& operator=(const DanteServer&) = delete;
    int Port() const { return port_; }
    bool Ready() const { return ready_; }

    static bool CanRun() { return ::geteuid() == 0 && ProgramInstalled("danted"); }

private:
    bool EnsureAccount()
    {
        const std::string user = kUser;
        if (std::system(("id " + user + " >/dev/null 2>&1").c_str()) != 0) {
            if (std::system(("useradd -M -s /usr/sbin/nologin " + user + " >/dev/null 2>&1").c_str()) != 0)
                return false;
            madeAccount_ = true;
        }
        return std::system(("echo '" + user + ":" + kPassword + "' | chpasswd").c_str()) == 0;
    }

    ScratchFolder scratch_;
    int port_;
    std::unique_ptr<ChildProcess> process_;
    bool ready_ = false;
    bool madeAccount_ = false;
};

}  // namespace corvane::testing
