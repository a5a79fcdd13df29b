#include <gtest/gtest.h>

#include <string>

#include "net/custom_wsocket.h"
#include "net/wsocket_functions.h"

using namespace corvane;
using namespace std::chrono_literals;

namespace {

// A datagram socket bound to a free loopback port that answers every datagram with its
// upper-case copy, to the address it came from.
struct UdpEchoServer {
    TCustomWSocket socket;
    std::string lastFrom;
    int connectedEvents = 0;

    UdpEchoServer()
    {
        socket.SetProto("udp");
        socket.SetAddr("127.0.0.1");
        socket.SetPort("0");
        socket.OnSessionConnected = [this](TCustomWSocket*, std::uint16_t) { ++connectedEvents; };
        socket.OnDataAvailable = [this](TCustomWSocket* sender, std::uint16_t) {
            char buffer[65536];
            sockapi::Endpoint from;
            const int count = sender->ReceiveFrom(buffer, sizeof buffer, from);
            if (count < 0) return;
            lastFrom = DottedAddress(from.address);
            std::string reply(buffer, static_cast<std::size_t>(count));
            for (char& c : reply) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_EQ(sender->SendTo(from, wsSendNormal, reply.data(), static_cast<int>(reply.size())), count);
        };
        socket.Listen();
    }
};

}  // namespace

TEST(DatagramSocket, ListenAndConnectAreReadyAtOnceAndDatagramsRoundTrip)
{
    EventLoop loop;
    UdpEchoServer server;
    EXPECT_EQ(server.socket.State(), wsConnected);  // bound, listening, then connected
    EXPECT_EQ(server.connectedEvents, 1);
    const std::string port = server.socket.GetXPort();
    ASSERT_NE(port, "error");

    TCustomWSocket client;
    int connected = -1;
    std::vector<std::string> replies;
    client.OnSessionConnected = [&](TCustomWSocket*, std::uint16_t error) { connected = error; };
    client.OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t) { replies.push_back(sender->ReceiveStr()); };
    client.SetProto("udp");
    client.SetAddr("127.0.0.1");
    client.SetPort(port);
    client.Connect();
    EXPECT_EQ(connected, 0);  // a datagram socket needs no handshake
    EXPECT_EQ(client.State(), wsConnected);
    EXPECT_NE(client.LocalPort(), "0");  // bound: the actual port is read back

    EXPECT_EQ(client.SendStr("ping"), 4);
    // One message of more than a send block is still one datagram, not several.
    const std::string big(4000, 'b');
    EXPECT_EQ(client.SendStr(big), 4000);
    ASSERT_TRUE(loop.RunUntil([&] { return replies.size() == 2; }, 2000ms));
    EXPECT_EQ(replies[0], "PING");
    EXPECT_EQ(replies[1], std::string(4000, 'B'));
    EXPECT_EQ(server.lastFrom, "127.0.0.1");
    EXPECT_EQ(server.socket.ReadCount(), 4004);
}

TEST(DatagramSocket, UnreachablePeerDoesNotCloseTheSocket)
{
    EventLoop loop;
    std::string deadPort;
    {
        UdpEchoServer probe;
        deadPort = probe.socket.GetXPort();
    }
    TCustomWSocket client;
    int closed = 0;
    client.OnSessionClosed = [&](TCustomWSocket*, std::uint16_t) { ++closed; };
    client.SetProto("17");
    client.SetAddr("127.0.0.1");
    client.SetPort(deadPort);
    client.Connect();
    client.SendStr("anyone?");
    loop.RunUntil([] { return false; }, 50ms);  // the stack's port-unreachable comes back meanwhile
    EXPECT_EQ(client.State(), wsConnected);
    EXPECT_EQ(closed, 0);
}

TEST(DatagramSocket, SendToAndReceiveFromReportFailuresThroughLastError)
{
    EventLoop loop;
    TCustomWSocket closed;
    char byte = 'x';
    sockapi::Endpoint somewhere{0x7F000001, 9};
    EXPECT_EQ(closed.SendTo(somewhere, wsSendNormal, &byte, 1), -1);
    EXPECT_EQ(closed.LastError(), 10038);

    UdpEchoServer server;
    EXPECT_EQ(server.socket.SendTo(somewhere, 7, &byte, 1), -1);  // not a send flag
    EXPECT_EQ(server.socket.LastError(), 10022);
    sockapi::Endpoint from;
    EXPECT_EQ(server.socket.ReceiveFrom(&byte, 1, from), -1);  // nothing waiting: never blocks
    EXPECT_EQ(server.socket.LastError(), 10035);
}

TEST(DatagramSocket, BroadcastAndMulticastOptions)
{
    EventLoop loop;
    TCustomWSocket broadcaster;
    broadcaster.SetProto("udp");
    broadcaster.SetAddr("255.255.255.255");
    broadcaster.SetPort("9");
    broadcaster.SetMultiCast(true);
    broadcaster.SetMultiCastIpTTL(4);
    broadcaster.Connect();  // allows broadcast and sets the multicast time-to-live, or raises
    EXPECT_EQ(broadcaster.State(), wsConnected);
    broadcaster.Close();
    // The datagram options are not reset by a close.
    EXPECT_TRUE(broadcaster.MultiCast());
    EXPECT_EQ(broadcaster.MultiCastIpTTL(), 4);

    TCustomWSocket member;
    member.SetProto("udp");
    member.SetAddr("0.0.0.0");
    member.SetPort("0");
    member.SetReuseAddr(true);
    member.SetMultiCast(true);
    member.SetMultiCastAddrStr("239.255.42.99");
    try {
        member.Listen();
    } catch (const ESocketException& e) {
        // A host without a multicast route cannot join any group; that is the host, not us.
        const std::string text = e.what();
        ASSERT_NE(text.find("setsockopt(IP MULTICAST)"), std::string::npos) << text;
        GTEST_SKIP() << "no multicast route on this host: " << text;
    }
    EXPECT_EQ(member.State(), wsConnected);

    TCustomWSocket badGroup;
    badGroup.SetProto("udp");
    badGroup.SetAddr("0.0.0.0");
    badGroup.SetPort("0");
    badGroup.SetMultiCast(true);  // no group given
    EXPECT_THROW(badGroup.Listen(), ESocketException);
}
