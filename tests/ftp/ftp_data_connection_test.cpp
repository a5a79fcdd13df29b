// PORT and PASV: the parameters, the refusals that keep data connections with the client, the
// passive port range and its release, and a stranger on the passive port.
#include <gtest/gtest.h>

#include "ftp/ftp_data_port.h"
#include "ftp_transfer_fixture.h"

using namespace corvane;
using namespace corvane::testing;

TEST(FtpPortParams, FieldsBlanksAndMissingNumbers)
{
    auto full = ParsePortParams("10,0,0,5,4,1");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->Address(), "10.0.0.5");
    EXPECT_EQ(full->Port(), 1025);
    auto five = ParsePortParams("10,0,0,5,4");
    ASSERT_TRUE(five);
    EXPECT_EQ(five->Port(), 1024);
    auto blanks = ParsePortParams(" 127 ,\t0, ,1 , 4,1 ");
    ASSERT_TRUE(blanks);
    EXPECT_EQ(blanks->Address(), "127.0.0.1");
    EXPECT_FALSE(ParsePortParams("10;0;0;5;4;1"));
    EXPECT_FALSE(ParsePortParams("10,0,0,5,4,1,7"));
    EXPECT_FALSE(ParsePortParams("10,0,0,5,4x,1"));
    auto big = ParsePortParams("256,0,0,1,4,1");
    ASSERT_TRUE(big);
    EXPECT_FALSE(big->FieldsAreBytes());
    auto huge = ParsePortParams("99999999999999999999,0,0,1,4,1");
    ASSERT_TRUE(huge);
    EXPECT_FALSE(huge->FieldsAreBytes());
}

TEST(FtpPasvAddress, OnlyDottedHostAddresses)
{
    EXPECT_EQ(ParsePasvAddress("203.0.113.9"), 0xCB007109u);
    EXPECT_FALSE(ParsePasvAddress("255.255.255.255"));
    EXPECT_FALSE(ParsePasvAddress("example.com"));
    EXPECT_FALSE(ParsePasvAddress("1.2.3"));
    EXPECT_FALSE(ParsePasvAddress("1.2.3.256"));
    EXPECT_FALSE(ParsePasvAddress("1.2.3.4 "));
    EXPECT_EQ(PassiveModeReply(0xCB007109u, 5001), "227 Entering Passive Mode (203,0,113,9,19,137).");
}

TEST_F(FtpTransferTest, PortTakesOnlyTheClientsOwnAddressAndUnprivilegedPorts)
{
    auto probe = LoggedIn();
    EXPECT_EQ(Ask(*probe, "PORT 127,0,0,1,4,1"), "200 Port command successful.");
    EXPECT_EQ(clients[0]->DataChannel().ClientDataAddr(), "127.0.0.1");
    EXPECT_EQ(clients[0]->DataChannel().ClientDataPort(), "1025");
    EXPECT_EQ(Ask(*probe, "PORT 127,0,0,1,4"), "200 Port command successful.");
    EXPECT_EQ(clients[0]->DataChannel().ClientDataPort(), "1024");
    // Another host (a bounce), a field above 255, a system port, a malformed list: all refused,
    // and the earlier target stays.
    for (const char* bad : {"PORT 10,0,0,5,4,1", "PORT 127,0,0,257,4,1", "PORT 383,0,0,1,4,1", "PORT 127,0,0,1,256,1",
                            "PORT 127,0,0,1,3,255", "PORT 127,0,0,1,0,21", "PORT 10;0;0;5;4;1", "PORT"}) {
        EXPECT_EQ(Ask(*probe, bad), "501 Invalid PORT command.") << bad;
        EXPECT_EQ(clients[0]->DataChannel().ClientDataAddr(), "127.0.0.1") << bad;
        EXPECT_EQ(clients[0]->DataChannel().ClientDataPort(), "1024") << bad;
    }
}

TEST_F(FtpTransferTest, DataCommandsNeedALogin)
{
    StartServer();
    auto probe = Connect();
    for (const char* command : {"PORT 127,0,0,1,4,1", "PASV", "RETR a", "STOR a", "APPE a", "STOU", "REST 5"})
        EXPECT_EQ(Ask(*probe, command), "530 Please login with USER and PASS.") << command;
    EXPECT_EQ(Ask(*probe, "ABOR"), "225 ABOR command successful.");
}

// A range of two free ports: the first of them.
static int TwoFreePorts()
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        TWSocket probe;
        probe.SetAddr("0.0.0.0");
        probe.SetPort("0");
        probe.Listen();
        const int first = std::stoi(probe.GetXPort());
        probe.Close();
        if (first >= 65535) continue;
        TWSocket a, b;
        try {
            a.SetAddr("0.0.0.0");
            a.SetPort(std::to_string(first));
            a.Listen();
            b.SetAddr("0.0.0.0");
            b.SetPort(std::to_string(first + 1));
            b.Listen();
            return first;
        } catch (const ESocketException&) {}
    }
    return 0;
}

TEST_F(FtpTransferTest, PassiveRangeIsSharedAndComesBackAfterATransfer)
{
    const int first = TwoFreePorts();
    ASSERT_NE(first, 0);
    server->SetPasvPortRangeStart(first);
    server->SetPasvPortRangeSize(2);
    server->SetPasvIpAddr("203.0.113.9");
    scratch.Put("f.txt", "hello");
    auto one = LoggedIn();
    auto two = LoggedIn();
    auto three = LoggedIn();
    EXPECT_EQ(Ask(*one, "PASV"), PassiveModeReply(0xCB007109u, first));
    EXPECT_EQ(Ask(*two, "PASV"), PassiveModeReply(0xCB007109u, first + 1));
    EXPECT_EQ(Ask(*three, "PASV"), "500 PASV exception: 'No available PASV Ports'.");
    // The first client's download gives its port back.
    DataPeer peer;
    peer.ConnectTo(first);
    ASSERT_TRUE(WaitFor([&] { return peer.connected; }));
    const int mark = one->LineCount();
    one->Send("RETR f.txt\r\n");
    const auto replies = RepliesAfter(*one, mark, 2);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[1], "226 File sent ok");
    ASSERT_TRUE(WaitFor([&] { return peer.closed; }));
    EXPECT_EQ(peer.received, "hello");
    EXPECT_EQ(Ask(*three, "PASV"), PassiveModeReply(0xCB007109u, first));
}

TEST_F(FtpTransferTest, APortIsGivenBackOnceAndNeverTakenFromItsNextHolder)
{
    const int first = TwoFreePorts();
    ASSERT_NE(first, 0);
    server->SetPasvPortRangeStart(first);
    server->SetPasvPortRangeSize(2);
    auto one = LoggedIn();
    auto two = LoggedIn();
    // PASV again without a transfer replaces the listener and keeps one port.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Pasv(*one), first);
    EXPECT_EQ(server->PasvPortsInUse(), (std::vector<bool>{true, false}));
    EXPECT_EQ(Ask(*one, "ABOR"), "225 ABOR command successful.");  // a waiting listener stays
    EXPECT_EQ(server->PasvPortsInUse(), (std::vector<bool>{true, false}));
    // The first client leaves: its port is free, and the second client takes it.
    one.reset();
    ASSERT_TRUE(WaitFor([&] { return server->ClientCount() == 1; }));
    EXPECT_EQ(server->PasvPortsInUse(), (std::vector<bool>{false, false}));
    EXPECT_EQ(Pasv(*two), first);
    // The second client's connection with no transfer on it, then ABOR: its port comes back.
    DataPeer peer;
    peer.ConnectTo(first);
    ASSERT_TRUE(WaitFor([&] { return clients[1]->DataChannel().PassiveAccepted(); }));
    EXPECT_EQ(Ask(*two, "ABOR"), "225 ABOR command successful.");
    EXPECT_EQ(server->PasvPortsInUse(), (std::vector<bool>{false, false}));
    ASSERT_TRUE(WaitFor([&] { return peer.closed; }));
    // A thousand PASV in a row still hold one port.
    std::string burst;
    for (int i = 0; i < 1000; ++i) burst += "PASV\r\n";
    const auto replies = Exchange(*two, burst, 1000);
    ASSERT_EQ(replies.size(), 1000u);
    EXPECT_EQ(replies.back().rfind("227 ", 0), 0u);
    EXPECT_EQ(server->PasvPortsInUse(), (std::vector<bool>{true, false}));
}

TEST_F(FtpTransferTest, PassiveWithoutARangeAndWithABadAnnouncedAddress)
{
    auto probe = LoggedIn();
    const int chosen = Pasv(*probe);
    EXPECT_GT(chosen, 0);
    EXPECT_TRUE(server->PasvPortsInUse().empty());
    server->SetPasvIpAddr("not.an.address");
    EXPECT_EQ(Ask(*probe, "PASV"), "500 PASV exception: 'Invalid PASV IP Address'.");
    // The failed PASV left no listener behind.
    EXPECT_EQ(clients[0]->DataWSocket()->State(), wsClosed);
    // The earlier listener went with the failed PASV: the next transfer does not wait for it,
    // and ends at once (there is no PORT address either).
    EXPECT_FALSE(clients[0]->DataChannel().PassiveRequested());
    scratch.Put("f.txt", "x");
    const int mark = probe->LineCount();
    probe->Send("RETR f.txt\r\n");
    const auto replies = RepliesAfter(*probe, mark, 2);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[1].rfind("501 Cannot RETR. ", 0), 0u) << replies[1];
}

TEST_F(FtpTransferTest, AStrangerOnThePassivePortIsDroppedAndTheClientStillServed)
{
    scratch.Put("f.txt", "for the client only");
    auto probe = LoggedIn();
    const int passive = Pasv(*probe);
    ASSERT_GT(passive, 0);
    DataPeer stranger;
    stranger.ConnectTo(passive, "127.0.0.2");
    ASSERT_TRUE(WaitFor([&] { return stranger.closed; }));
    EXPECT_EQ(stranger.received, "");
    EXPECT_FALSE(clients[0]->DataChannel().PassiveAccepted());
    DataPeer peer;
    peer.ConnectTo(passive);
    const int mark = probe->LineCount();
    probe->Send("RETR f.txt\r\n");
    const auto replies = RepliesAfter(*probe, mark, 2);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[1], "226 File sent ok");
    ASSERT_TRUE(WaitFor([&] { return peer.closed; }));
    EXPECT_EQ(peer.received, "for the client only");
}

TEST_F(FtpTransferTest, ATransferCommandBeforeTheConnectionStartsWhenItArrives)
{
    scratch.Put("f.txt", "waited for");
    auto probe = LoggedIn();
    for (const std::string command : {"RETR f.txt", "STOR g.txt"}) {
        const int passive = Pasv(*probe);
        const int mark = probe->LineCount();
        probe->Send(command + "\r\n");
        ASSERT_TRUE(WaitFor([&] { return clients[0]->DataChannel().PassiveStartPending(); })) << command;
        EXPECT_EQ(RepliesAfter(*probe, mark, 1).front(), "150 Opening data connection for " + command.substr(5) + ".");
        DataPeer peer;
        peer.ConnectTo(passive);
        if (command[0] == 'S') SendAndClose(peer, "uploaded late");
        const auto replies = RepliesAfter(*probe, mark, 2);
        ASSERT_EQ(replies.size(), 2u) << command;
        EXPECT_EQ(replies[1], command[0] == 'R' ? "226 File sent ok" : "226 File received ok");
        ASSERT_TRUE(WaitFor([&] { return peer.closed; }));
        if (command[0] == 'R') {
            EXPECT_EQ(peer.received, "waited for");
        }
    }
    EXPECT_EQ(scratch.Get("g.txt"), "uploaded late");
}
