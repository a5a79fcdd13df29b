#include "net/custom_wsocket.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace corvane;
using namespace std::chrono_literals;

namespace {

// A listener on a free loopback port, and the accepted side of each connection.
struct LoopbackPair {
    EventLoop& loop;
    TCustomWSocket listener;
    std::unique_ptr<TCustomWSocket> accepted;

    explicit LoopbackPair(EventLoop& l)
        : loop(l)
    {
        listener.SetAddr("127.0.0.1");
        listener.SetPort("0");
        listener.OnSessionAvailable = [this](TCustomWSocket* sender, std::uint16_t) {
            accepted = std::make_unique<TCustomWSocket>();
            // The default linger (on, 0 s) closes abortively; these tests want a graceful close.
            accepted->SetLingerOnOff(wsLingerOff);
            accepted->Dup(sender->Accept());
        };
        listener.Listen();
    }
    std::string Port() { return listener.GetXPort(); }
};

}  // namespace

TEST(TCustomWSocket, ConnectSendReceiveAndOneSessionClosed)
{
    EventLoop loop;
    LoopbackPair pair(loop);
    ASSERT_EQ(pair.listener.State(), wsListening);

    TCustomWSocket client;
    int connected = -1, closedCount = 0;
    bool insideSend = false, dataSentInsideSend = false, dataSent = false;
    client.OnSessionConnected = [&](TCustomWSocket*, std::uint16_t error) { connected = error; };
    client.OnDataSent = [&](TCustomWSocket*, std::uint16_t) {
        dataSent = true;
        dataSentInsideSend = insideSend;
    };
    client.OnSessionClosed = [&](TCustomWSocket*, std::uint16_t) { ++closedCount; };
    client.SetAddr("127.0.0.1");
    client.SetPort(pair.Port());
    client.Connect();
    EXPECT_EQ(client.State(), wsConnecting);
    ASSERT_TRUE(loop.RunUntil([&] { return connected == 0 && pair.accepted; }, 2000ms));
    EXPECT_EQ(client.State(), wsConnected);
    EXPECT_EQ(client.PeerAddr(), "127.0.0.1");
    EXPECT_EQ(client.PeerPort(), pair.Port());

    std::string received;
    pair.accepted->OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t) { received += sender->ReceiveStr(); };
    insideSend = true;
    EXPECT_EQ(client.SendStr("hello"), 5);
    insideSend = false;
    EXPECT_FALSE(dataSent);  // never from inside Send
    ASSERT_TRUE(loop.RunUntil([&] { return dataSent && received == "hello"; }, 2000ms));
    EXPECT_FALSE(dataSentInsideSend);
    EXPECT_EQ(pair.accepted->ReadCount(), 5);

    // Data held when the peer closes is all delivered before the single OnSessionClosed.
    std::string clientGot;
    client.OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t) {
        EXPECT_EQ(closedCount, 0);
        clientGot += sender->ReceiveStr();
    };
    const std::string big(100000, 'x');
    pair.accepted->SendStr(big);
    pair.accepted->Flush();
    pair.accepted->Close();
    ASSERT_TRUE(loop.RunUntil([&] { return closedCount > 0; }, 3000ms));
    EXPECT_EQ(clientGot.size(), big.size());
    EXPECT_EQ(client.State(), wsClosed);
    client.Close();  // already closed: fires nothing
    loop.RunUntil([] { return false; }, 20ms);
    EXPECT_EQ(closedCount, 1);
}

TEST(TCustomWSocket, PropertiesNeedAClosedSocketAndCloseForgetsPort)
{
    EventLoop loop;
    LoopbackPair pair(loop);
    try {
        pair.listener.SetAddr("127.0.0.2");
        FAIL() << "changing Addr of a listening socket must be refused";
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "Cannot change Addr if not closed");
    }
    EXPECT_THROW(pair.listener.SetPort("21"), ESocketException);
    EXPECT_THROW(pair.listener.SetLocalAddr("127.0.0.1"), ESocketException);

    TCustomWSocket client;
    bool connected = false;
    client.OnSessionConnected = [&](TCustomWSocket*, std::uint16_t) { connected = true; };
    client.SetAddr("127.0.0.1");
    client.SetPort(pair.Port());
    client.Connect();
    ASSERT_TRUE(loop.RunUntil([&] { return connected; }, 2000ms));
    client.Close();
    EXPECT_EQ(client.Port(), pair.Port());  // the text stays readable
    try {
        client.Connect();
        FAIL() << "Connect after Close needs Port again";
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "Connect: No Port Specified");
    }
}

TEST(TCustomWSocket, ErrorsGoToOnErrorWhenAssigned)
{
    EventLoop loop;
    TCustomWSocket socket;
    int errors = 0;
    socket.OnError = [&](TCustomWSocket*) { ++errors; };
    EXPECT_EQ(socket.Send("x", 1), -1);
    EXPECT_EQ(socket.LastError(), 10057);
    socket.Listen();  // no port
    EXPECT_EQ(errors, 2);
    EXPECT_EQ(socket.Accept(), -1);
    EXPECT_EQ(errors, 3);
}

TEST(TCustomWSocket, RefusedConnectionReportsTheErrorAndCloses)
{
    EventLoop loop;
    std::string freePort;
    {
        TCustomWSocket probe;
        probe.SetAddr("127.0.0.1");
        probe.SetPort("0");
        probe.Listen();
        freePort = probe.GetXPort();
    }
    TCustomWSocket client;
    int connected = -1;
    client.OnSessionConnected = [&](TCustomWSocket*, std::uint16_t error) { connected = error; };
    client.SetAddr("127.0.0.1");
    client.SetPort(freePort);
    client.Connect();
    ASSERT_TRUE(loop.RunUntil([&] { return connected >= 0; }, 2000ms));
    EXPECT_EQ(connected, 10061);
    EXPECT_EQ(client.State(), wsClosed);
}

TEST(TCustomWSocket, ReleaseFromInsideAnEventDestroysAfterTheHandler)
{
    EventLoop loop;
    LoopbackPair pair(loop);
    auto* client = new TCustomWSocket;
    bool released = false;
    client->OnSessionConnected = [&](TCustomWSocket* sender, std::uint16_t) {
        sender->Release();
        released = true;
        EXPECT_EQ(sender->State(), wsConnected);  // still alive inside its own event
    };
    client->SetAddr("127.0.0.1");
    client->SetPort(pair.Port());
    client->Connect();
    ASSERT_TRUE(loop.RunUntil([&] { return released; }, 2000ms));
    loop.ProcessMessages();  // the posted destruction; the sanitizers catch a leak or a double free
}

// Sends larger than the stack takes at once: part goes straight out, the rest waits in the
// send buffer, and later sends queue behind it. The peer must see every byte once, in order.
TEST(TCustomWSocket, LargeSendsArriveWholeAndInOrderWhateverTheStackTakes)
{
    EventLoop loop;
    LoopbackPair pair(loop);
    TCustomWSocket client;
    bool connected = false;
    client.OnSessionConnected = [&](TCustomWSocket*, std::uint16_t) { connected = true; };
    client.SetAddr("127.0.0.1");
    client.SetPort(pair.Port());
    client.Connect();
    ASSERT_TRUE(loop.RunUntil([&] { return connected && pair.accepted; }, 2000ms));

    std::string expected;
    long long reportedSent = 0;
    int dataSentEvents = 0;
    client.OnSendData = [&](TCustomWSocket*, int count) { reportedSent += count; };
    client.OnDataSent = [&](TCustomWSocket*, std::uint16_t) { ++dataSentEvents; };
    for (int part = 0; part < 4; ++part) {
        std::string chunk(3 * 1024 * 1024 + 17 * part, '\0');
        for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>('a' + (i * 7 + part) % 26);
        expected += chunk;
        ASSERT_EQ(client.SendStr(chunk), static_cast<int>(chunk.size()));
    }
    EXPECT_FALSE(client.AllSent());  // the peer has not read yet: far more than the stack holds

    std::string received;
    pair.accepted->OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t) {
        char buffer[65536];
        const int count = sender->Receive(buffer, sizeof buffer);
        if (count > 0) received.append(buffer, static_cast<std::size_t>(count));
    };
    ASSERT_TRUE(loop.RunUntil([&] { return received.size() >= expected.size() && dataSentEvents > 0; }, 10000ms));
    EXPECT_TRUE(received == expected) << "the bytes arrived changed or out of order";
    EXPECT_EQ(reportedSent, static_cast<long long>(expected.size()));
    EXPECT_TRUE(client.AllSent());
    EXPECT_EQ(dataSentEvents, 1);  // once, when the buffer became empty
}
