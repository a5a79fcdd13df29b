// A TFtpServer whose drive C: is a scratch folder, with logged-in clients and the client side of
// data connections (passive: the test connects; active: the test listens and the server
// connects), all on the test's thread.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ftp_server_fixture.h"
#include "platform/byte_pattern.h"
#include "platform/drive_map.h"
#include "platform/scratch_folder.h"

namespace corvane::testing {

// The test's end of one data connection.
struct DataPeer {
    TWSocket listener;
    std::unique_ptr<TWSocket> conn;
    std::string received;
    bool connected = false, closed = false;

    // Passive mode: connects to the server's listener, optionally from another local address.
    void ConnectTo(int port, const std::string& fromAddr = "127.0.0.1", const std::string& toAddr = "127.0.0.1")
    {
        conn = std::make_unique<TWSocket>();
        Wire();
        conn->SetAddr(toAddr);
        conn->SetPort(std::to_string(port));
        conn->SetLocalAddr(fromAddr);
        conn->SetLingerOnOff(wsLingerOff);
        conn->Connect();
    }

    // Active mode: listens on a free loopback port for the server's connection; returns it.
    int Listen(const std::string& on = "127.0.0.1")
    {
        listener.SetAddr(on);
        listener.SetPort("0");
        listener.SetProto("tcp");
        listener.OnSessionAvailable = [this](TCustomWSocket*, std::uint16_t) {
            const int handle = listener.Accept();
            if (handle < 0) return;
            conn = std::make_unique<TWSocket>();
            Wire();
            conn->SetLingerOnOff(wsLingerOff);
            conn->Dup(handle);
            connected = true;
            listener.Close();
        };
        listener.Listen();
        return std::stoi(listener.GetXPort());
    }

    void Send(const std::string& bytes) { conn->Send(bytes.data(), static_cast<int>(bytes.size())); }

private:
    void Wire()
    {
        conn->OnSessionConnected = [this](TCustomWSocket*, std::uint16_t error) { connected = error == 0; };
        conn->OnDataAvailable = [this](TCustomWSocket* s, std::uint16_t) {
            char buf[65536];
            const int got = s->Receive(buf, sizeof buf);
            if (got > 0) received.append(buf, static_cast<std::size_t>(got));
        };
        conn->OnSessionClosed = [this](TCustomWSocket*, std::uint16_t) { closed = true; };
    }
};

class FtpTransferTest : public FtpServerTest {
protected:
    void SetUp() override
    {
        DriveMap::Configure({{'C', scratch.Path()}}, scratch.Path());
        server->OnClientConnect = [this](TFtpServer*, TFtpCtrlSocket* client, std::uint16_t) {
            client->SetHomeDirectory("C:\\");
            clients.push_back(client);
        };
    }

    std::unique_ptr<FtpProbe> LoggedIn()
    {
        if (port.empty()) StartServer();
        auto probe = Connect();
        EXPECT_EQ(Ask(*probe, "USER tester"), "331 Password required for tester.");
        EXPECT_EQ(Ask(*probe, "PASS secret"), "230 User tester logged in.");
        return probe;
    }

    // PASV; returns the announced port (0 when the reply is not a 227).
    int Pasv(FtpProbe& probe)
    {
        const std::string reply = Ask(probe, "PASV");
        unsigned a = 0, b = 0, c = 0, d = 0, p1 = 0, p2 = 0;
        if (std::sscanf(reply.c_str(), "227 Entering Passive Mode (%u,%u,%u,%u,%u,%u).", &a, &b, &c, &d, &p1, &p2) != 6)
            return 0;
        return static_cast<int>(p1 * 256 + p2);
    }

    // PORT naming the peer's listener.
    std::string Port(FtpProbe& probe, DataPeer& peer)
    {
        const int listening = peer.Listen();
        return Ask(probe, "PORT 127,0,0,1," + std::to_string(listening / 256) + "," + std::to_string(listening % 256));
    }

    // Waits until `count` reply lines have arrived after the first `mark` lines; returns them.
    std::vector<std::string> RepliesAfter(FtpProbe& probe, int mark, int count,
                                          std::chrono::milliseconds timeout = 3000ms)
    {
        WaitFor([&] { return probe.LineCount() >= mark + count || probe.closed; }, timeout);
        const auto all = probe.Lines();
        return std::vector<std::string>(all.begin() + std::min<int>(mark, static_cast<int>(all.size())), all.end());
    }

    // Sends everything to the server and closes, as a client ends an upload.
    void SendAndClose(DataPeer& peer, const std::string& bytes)
    {
        ASSERT_TRUE(WaitFor([&] { return peer.connected; }));
        if (!bytes.empty()) peer.Send(bytes);
        ASSERT_TRUE(WaitFor([&] { return peer.conn->AllSent(); }));
        peer.conn->Close();
    }

    static std::string Pattern(std::size_t size) { return testing::BytePattern(size); }

    ScratchFolder scratch;
    std::vector<TFtpCtrlSocket*> clients;
};

}  // namespace corvane::testing
