// A TFtpServer on 127.0.0.1 (a free port picked by the system) with plain client sockets, all
// on the test's thread, which pumps the EventLoop while it waits.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "common/ip_text.h"
#include "ftp/ftp_server.h"

namespace corvane::testing {

using namespace std::chrono_literals;

// One client connection that records the bytes it receives and whether it was closed.
struct FtpProbe {
    TWSocket socket;
    std::string received;
    bool connected = false, closed = false;

    explicit FtpProbe(const std::string& port, const std::string& host = "127.0.0.1")
    {
        socket.OnSessionConnected = [this](TCustomWSocket*, std::uint16_t error) { connected = error == 0; };
        socket.OnDataAvailable = [this](TCustomWSocket* s, std::uint16_t) { received += s->ReceiveStr(); };
        socket.OnSessionClosed = [this](TCustomWSocket*, std::uint16_t) { closed = true; };
        socket.SetAddr(host);
        socket.SetPort(port);
        socket.Connect();
    }

    void Send(const std::string& bytes) { socket.Send(bytes.data(), static_cast<int>(bytes.size())); }

    int LineCount() const
    {
        int count = 0;
        for (std::size_t pos = received.find("\r\n"); pos != std::string::npos; pos = received.find("\r\n", pos + 2))
            ++count;
        return count;
    }

    // The received text split at CR LF (the greeting included).
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t pos = received.find("\r\n"); pos != std::string::npos; pos = received.find("\r\n", start)) {
            lines.push_back(received.substr(start, pos - start));
            start = pos + 2;
        }
        return lines;
    }
};

class FtpServerTest : public ::testing::Test {
protected:
    // The address the server listens on and the probes connect to ("::1" for IPv6 clients).
    std::string address = "127.0.0.1";

    void StartServer()
    {
        server->SetAddr(address);
        server->SetPort("0");
        server->Start();
        ASSERT_TRUE(server->Active());
        port = server->ServerWSocket().GetXPort();
    }

    bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 3000ms)
    {
        return loop.RunUntil(done, timeout);
    }

    // Connects a client and waits for its greeting.
    std::unique_ptr<FtpProbe> Connect()
    {
        auto probe = std::make_unique<FtpProbe>(port, LooksIPv6(address) ? address : std::string("127.0.0.1"));
        FtpProbe* raw = probe.get();
        EXPECT_TRUE(WaitFor([raw] { return raw->LineCount() >= 1 || raw->closed; }));
        return probe;
    }

    // Sends the bytes and waits for `replies` more reply lines; returns those lines.
    std::vector<std::string> Exchange(FtpProbe& probe, const std::string& bytes, int replies = 1)
    {
        const int before = probe.LineCount();
        probe.Send(bytes);
        EXPECT_TRUE(WaitFor([&] { return probe.LineCount() >= before + replies || probe.closed; }));
        const std::vector<std::string> all = probe.Lines();
        return std::vector<std::string>(all.begin() + before, all.end());
    }

    std::string Ask(FtpProbe& probe, const std::string& line)
    {
        const std::vector<std::string> replies = Exchange(probe, line + "\r\n");
        return replies.empty() ? std::string("<no reply>") : replies.front();
    }

    EventLoop loop;
    std::unique_ptr<TFtpServer> server = std::make_unique<TFtpServer>();
    std::string port;
};

}  // namespace corvane::testing
