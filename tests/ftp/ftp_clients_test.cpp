// The life of a control connection: accept, the client limit, QUIT and the close that waits
// for the last reply, peers that vanish, Disconnect and DisconnectAll, posted events.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ftp_server_fixture.h"

using namespace corvane;
using namespace corvane::testing;

TEST_F(FtpServerTest, ClientsAboveMaxClientsAreTurnedAway)
{
    server->SetMaxClients(1);
    int connects = 0, disconnects = 0;
    server->OnClientConnect = [&](TFtpServer*, TFtpCtrlSocket*, std::uint16_t) { ++connects; };
    server->OnClientDisconnect = [&](TFtpServer*, TFtpCtrlSocket*, std::uint16_t) { ++disconnects; };
    StartServer();
    auto first = Connect();
    auto second = Connect();
    ASSERT_TRUE(WaitFor([&] { return second->closed; }));
    EXPECT_EQ(second->received, "421 Too many users connected.\r\n");
    ASSERT_TRUE(WaitFor([&] { return disconnects == 1; }));
    EXPECT_EQ(connects, 2);
    EXPECT_EQ(server->ClientCount(), 1);
    EXPECT_EQ(first->received, "220 Tiv FTP Server ready.\r\n");
    EXPECT_EQ(Ask(*first, "NOOP"), "200 Ok. Parameter was ''.");
    // The refused client's place is free again once the first one leaves.
    first.reset();
    ASSERT_TRUE(WaitFor([&] { return server->ClientCount() == 0; }));
    auto third = Connect();
    EXPECT_EQ(third->received, "220 Tiv FTP Server ready.\r\n");
}

TEST_F(FtpServerTest, QuitIsAnsweredBeforeTheConnectionCloses)
{
    std::vector<std::string> events;
    server->OnClientConnect = [&](TFtpServer*, TFtpCtrlSocket*, std::uint16_t) { events.push_back("connect"); };
    server->OnClientCommand = [&](TFtpServer*, TFtpCtrlSocket*, std::string& keyword, std::string&, std::string&) {
        events.push_back(keyword);
    };
    server->OnAnswerToClient = [&](TFtpServer*, TFtpCtrlSocket*, std::string& answer) { events.push_back(answer); };
    server->OnClientDisconnect = [&](TFtpServer*, TFtpCtrlSocket* client, std::uint16_t error) {
        events.push_back("disconnect");
        EXPECT_EQ(error, 0);
        EXPECT_FALSE(server->IsClient(client));
        EXPECT_EQ(client->PeerAddr(), "127.0.0.1");  // still readable after the close
    };
    StartServer();
    auto probe = Connect();
    probe->Send("QUIT\r\n");
    ASSERT_TRUE(WaitFor([&] { return probe->closed; }));
    EXPECT_EQ(probe->received, "220 Tiv FTP Server ready.\r\n221 Goodbye.\r\n");
    ASSERT_TRUE(WaitFor([&] { return server->ClientCount() == 0; }));
    loop.RunUntil([] { return false; }, 50ms);  // nothing may follow the disconnect
    EXPECT_EQ(events, (std::vector<std::string>{"connect", "QUIT", "221 Goodbye.", "disconnect"}));
}

TEST_F(FtpServerTest, TheCloseAfterQuitWaitsForALongReplyToDrain)
{
    // Far more than the stack takes at once: the close must wait for the send queue.
    const std::string bulk(24 * 1024 * 1024, 'x');
    server->OnAnswerToClient = [&](TFtpServer*, TFtpCtrlSocket*, std::string& answer) {
        if (answer == "221 Goodbye.") answer = bulk + "\r\n221 Goodbye.";
    };
    StartServer();
    auto probe = Connect();
    probe->Send("QUIT\r\n");
    ASSERT_TRUE(WaitFor([&] { return probe->closed; }, 20000ms));
    EXPECT_EQ(probe->received.size(), 27 + bulk.size() + 16);
    EXPECT_EQ(probe->received.substr(probe->received.size() - 16), "\r\n221 Goodbye.\r\n");
}

TEST_F(FtpServerTest, APeerThatResetsMidLineIsEnded)
{
    int disconnects = 0, commands = 0;
    server->OnClientCommand = [&](TFtpServer*, TFtpCtrlSocket*, std::string&, std::string&, std::string&) {
        ++commands;
    };
    server->OnClientDisconnect = [&](TFtpServer*, TFtpCtrlSocket*, std::uint16_t) { ++disconnects; };
    StartServer();
    auto probe = Connect();
    ASSERT_TRUE(WaitFor([&] { return server->ClientCount() == 1; }));
    probe->Send("NOOP half a li");
    loop.RunUntil([] { return false; }, 20ms);
    probe->socket.Abort();  // linger on, 0 s: a reset
    ASSERT_TRUE(WaitFor([&] { return disconnects == 1 && server->ClientCount() == 0; }));
    EXPECT_EQ(commands, 0);  // the partial line is never dispatched
    auto next = Connect();
    EXPECT_EQ(Ask(*next, "NOOP"), "200 Ok. Parameter was ''.");
}

TEST_F(FtpServerTest, DisconnectOfAnythingButAClientRaises)
{
    StartServer();
    TFtpCtrlSocket stranger;
    for (TFtpCtrlSocket* object : {&stranger, static_cast<TFtpCtrlSocket*>(nullptr)}) {
        try {
            server->Disconnect(object);
            FAIL() << "Disconnect accepted a stranger";
        } catch (const FtpServerException& e) {
            EXPECT_STREQ(e.what(), "Disconnect: Not one of our clients");
        }
    }
    EXPECT_FALSE(server->IsClient(&stranger));
    EXPECT_EQ(server->Client(0), nullptr);
    EXPECT_EQ(server->Client(-1), nullptr);
}

TEST_F(FtpServerTest, DisconnectEndsTheClientAtOnceAndItsTransferAsFailed)
{
    TFtpCtrlSocket* client = nullptr;
    std::vector<std::string> order;
    server->OnClientConnect = [&](TFtpServer*, TFtpCtrlSocket* c, std::uint16_t) { client = c; };
    server->OnClientDisconnect = [&](TFtpServer*, TFtpCtrlSocket*, std::uint16_t) { order.push_back("disconnect"); };
    StartServer();
    auto probe = Connect();
    ASSERT_NE(client, nullptr);
    TFtpDataChannel& channel = client->DataChannel();
    channel.AcceptTransfer(ftpcRETR);
    channel.Apply(TFtpDataChannel::Event::Start);
    channel.Apply(TFtpDataChannel::Event::Connected);
    client->DataWSocket()->OnSessionClosed = [&](TCustomWSocket* data, std::uint16_t error) {
        EXPECT_EQ(data, client->DataWSocket());
        order.push_back("data closed " + std::to_string(error));
        EXPECT_TRUE(server->IsClient(client));  // the transfer's reply still has a client to go to
    };
    server->Disconnect(client);
    EXPECT_EQ(order, (std::vector<std::string>{"data closed 10057", "disconnect"}));
    EXPECT_EQ(server->ClientCount(), 0);
    ASSERT_TRUE(WaitFor([&] { return probe->closed; }));
}

TEST_F(FtpServerTest, AHandlerMayDisconnectItsOwnClient)
{
    int disconnects = 0, answers = 0;
    server->OnClientCommand = [&](TFtpServer* sender, TFtpCtrlSocket* client, std::string& keyword, std::string&,
                                  std::string&) {
        if (keyword == "KICK") sender->Disconnect(client);
    };
    server->OnAnswerToClient = [&](TFtpServer*, TFtpCtrlSocket*, std::string&) { ++answers; };
    server->OnClientDisconnect = [&](TFtpServer*, TFtpCtrlSocket*, std::uint16_t) { ++disconnects; };
    StartServer();
    auto probe = Connect();
    // The lines after KICK in the same packet are never handled.
    probe->Send("KICK\r\nNOOP\r\n");
    ASSERT_TRUE(WaitFor([&] { return probe->closed; }));
    loop.RunUntil([] { return false; }, 50ms);
    EXPECT_EQ(disconnects, 1);
    EXPECT_EQ(answers, 0);
    EXPECT_EQ(probe->received, "220 Tiv FTP Server ready.\r\n");
}

TEST_F(FtpServerTest, AConnectHandlerMayRefuseOrFailWithoutStoppingTheListener)
{
    int seen = 0, disconnects = 0;
    server->OnClientConnect = [&](TFtpServer* sender, TFtpCtrlSocket* client, std::uint16_t) {
        ++seen;
        if (seen == 1) sender->Disconnect(client);
        if (seen == 2) throw std::runtime_error("connect handler failed");
    };
    server->OnClientDisconnect = [&](TFtpServer*, TFtpCtrlSocket*, std::uint16_t) { ++disconnects; };
    StartServer();
    auto refused = Connect();
    ASSERT_TRUE(WaitFor([&] { return refused->closed; }));
    EXPECT_EQ(refused->received, "");
    auto failed = Connect();
    ASSERT_TRUE(WaitFor([&] { return failed->closed; }));
    EXPECT_EQ(failed->received, "");
    EXPECT_EQ(disconnects, 2);
    EXPECT_TRUE(server->Active());
    auto served = Connect();
    EXPECT_EQ(served->received, "220 Tiv FTP Server ready.\r\n");
    EXPECT_EQ(server->Client(0)->ClientNumber(), 3);
}

TEST_F(FtpServerTest, DisconnectAllEndsEveryClient)
{
    std::vector<long long> ended;
    server->OnClientDisconnect = [&](TFtpServer*, TFtpCtrlSocket* client, std::uint16_t) {
        ended.push_back(client->ClientNumber());
    };
    StartServer();
    auto a = Connect();
    auto b = Connect();
    auto c = Connect();
    ASSERT_EQ(server->ClientCount(), 3);
    server->DisconnectAll();
    EXPECT_EQ(server->ClientCount(), 0);
    EXPECT_EQ(ended, (std::vector<long long>{1, 2, 3}));
    ASSERT_TRUE(WaitFor([&] { return a->closed && b->closed && c->closed; }));
    loop.RunUntil([] { return false; }, 50ms);
    EXPECT_EQ(ended.size(), 3u);  // their own session-closed events change nothing more
}

TEST_F(FtpServerTest, StopKeepsTheClientsServed)
{
    int starts = 0, stops = 0;
    server->OnStart = [&](TFtpServer*) { ++starts; };
    server->OnStop = [&](TFtpServer*) { ++stops; };
    StartServer();
    server->Start();  // already listening: nothing
    EXPECT_EQ(starts, 1);
    auto probe = Connect();
    server->Stop();
    EXPECT_EQ(stops, 1);
    EXPECT_FALSE(server->Active());
    EXPECT_EQ(Ask(*probe, "NOOP still"), "200 Ok. Parameter was 'still'.");
    server->SetActive(true);
    EXPECT_EQ(starts, 2);
    port = server->ServerWSocket().GetXPort();
    auto later = Connect();
    EXPECT_EQ(later->received, "220 Tiv FTP Server ready.\r\n");
    EXPECT_EQ(server->ClientCount(), 2);
}

namespace {

// Counts the start-send events that reach a client.
class CountingServer : public TFtpServer {
public:
    int startSends = 0;

protected:
    void HandleStartSend(TFtpCtrlSocket*) override { ++startSends; }
};

// A client class of the owner's own.
class OwnClient : public TFtpCtrlSocket {
public:
    static inline int made = 0;
    OwnClient() { ++made; }
};

}  // namespace

TEST_F(FtpServerTest, PostedEventsForAGoneClientAreDropped)
{
    auto counting = std::make_unique<CountingServer>();
    CountingServer* raw = counting.get();
    server = std::move(counting);
    StartServer();
    auto first = Connect();
    auto second = Connect();
    TFtpCtrlSocket* gone = server->Client(0);
    server->DoStartSendData(server->Client(1));
    server->DoStartSendData(gone);
    server->Disconnect(gone);  // before the posted events run
    ASSERT_TRUE(WaitFor([&] { return first->closed; }));
    loop.RunUntil([] { return false; }, 50ms);
    EXPECT_EQ(raw->startSends, 1);
}

TEST_F(FtpServerTest, TheOwnersClientClassIsUsed)
{
    server->ClientClass = [] { return std::make_unique<OwnClient>(); };
    OwnClient::made = 0;
    StartServer();
    auto probe = Connect();
    EXPECT_EQ(OwnClient::made, 1);
    EXPECT_NE(dynamic_cast<OwnClient*>(server->Client(0)), nullptr);
}

TEST_F(FtpServerTest, AServerDestroyedWithLiveClientsLeavesNothingBehind)
{
    int disconnects = 0;
    server->OnClientDisconnect = [&](TFtpServer*, TFtpCtrlSocket*, std::uint16_t) { ++disconnects; };
    StartServer();
    auto probe = Connect();
    server->DoStartSendData(server->Client(0));  // still queued when the server goes
    server.reset();
    ASSERT_TRUE(WaitFor([&] { return probe->closed; }));
    loop.RunUntil([] { return false; }, 50ms);
    EXPECT_EQ(disconnects, 0);
}
