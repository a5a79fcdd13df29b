#include "net/wsocket_server.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace corvane;
using namespace std::chrono_literals;

namespace {

// A client connection that records what it receives and whether it was closed.
struct Probe {
    TWSocket socket;
    std::string received;
    bool connected = false, closed = false;

    explicit Probe(const std::string& port)
    {
        socket.OnSessionConnected = [this](TCustomWSocket*, std::uint16_t error) { connected = error == 0; };
        socket.OnDataAvailable = [this](TCustomWSocket* s, std::uint16_t) { received += s->ReceiveStr(); };
        socket.OnSessionClosed = [this](TCustomWSocket*, std::uint16_t) { closed = true; };
        socket.SetAddr("127.0.0.1");
        socket.SetPort(port);
        socket.Connect();
    }
};

}  // namespace

TEST(TWSocketServer, ThirdClientOfATwoClientServerIsTurnedAway)
{
    EventLoop loop;
    TWSocketServer server;
    server.SetMaxClients(2);
    int connects = 0, disconnects = 0;
    server.OnClientConnect = [&](TCustomWSocketServer*, TWSocketClient*, std::uint16_t) { ++connects; };
    server.OnClientDisconnect = [&](TCustomWSocketServer*, TWSocketClient* client, std::uint16_t) {
        ++disconnects;
        EXPECT_EQ(client->PeerAddr(), "127.0.0.1");  // still readable after the connection ended
    };
    server.SetAddr("127.0.0.1");
    server.SetPort("0");
    server.Listen();
    const std::string port = server.GetXPort();

    Probe first(port), second(port);
    ASSERT_TRUE(loop.RunUntil(
        [&] { return server.ClientCount() == 2 && !first.received.empty() && !second.received.empty(); }, 2000ms));
    EXPECT_EQ(first.received, "Welcome to TcpSrv\r\n");
    EXPECT_EQ(second.received, "Welcome to TcpSrv\r\n");

    Probe third(port);
    ASSERT_TRUE(loop.RunUntil([&] { return third.closed; }, 2000ms));
    EXPECT_EQ(third.received, "Sorry, too many clients\r\n");
    ASSERT_TRUE(loop.RunUntil([&] { return disconnects == 1; }, 2000ms));
    EXPECT_EQ(connects, 3);  // the refused client is connected and disconnected like any other
    EXPECT_EQ(server.ClientCount(), 2);
    EXPECT_FALSE(first.closed);
    EXPECT_EQ(server.Client(5), nullptr);
}

TEST(TWSocketServer, ClientsAreDestroyedAfterTheirSessionEvenWhenTheHandlerThrows)
{
    EventLoop loop;
    TWSocketServer server;
    server.SetBanner("");
    std::vector<TWSocketClient*> seen;
    server.OnClientConnect = [&](TCustomWSocketServer*, TWSocketClient* client, std::uint16_t) {
        seen.push_back(client);
    };
    server.OnClientDisconnect = [&](TCustomWSocketServer*, TWSocketClient*, std::uint16_t) {
        throw std::runtime_error("a failing disconnect handler");
    };
    server.SetAddr("127.0.0.1");
    server.SetPort("0");
    server.Listen();
    {
        Probe probe(server.GetXPort());
        ASSERT_TRUE(loop.RunUntil([&] { return server.ClientCount() == 1 && probe.connected; }, 2000ms));
        ASSERT_TRUE(server.IsClient(seen[0]));
        probe.socket.Close();
    }
    ASSERT_TRUE(loop.RunUntil([&] { return server.ClientCount() == 0; }, 2000ms));
    EXPECT_FALSE(server.IsClient(seen[0]));
}

TEST(TWSocketServer, ServerDestroyedWithLiveClientsCleansUp)
{
    EventLoop loop;
    auto server = std::make_unique<TWSocketServer>();
    server->SetAddr("127.0.0.1");
    server->SetPort("0");
    server->Listen();
    Probe probe(server->GetXPort());
    ASSERT_TRUE(loop.RunUntil([&] { return server->ClientCount() == 1; }, 2000ms));
    server.reset();  // the sanitizers catch a client event that would touch the dead server
    ASSERT_TRUE(loop.RunUntil([&] { return probe.closed; }, 2000ms));
    loop.ProcessMessages();
}
