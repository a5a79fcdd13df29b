// Downloads: sizes in both modes, one block in flight, REST, missing files, the owner's delayed
// start, the cache paths, the hold on the next block, ABOR and connections that end early.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sstream>

#include "ftp/ftp_transfer_block.h"
#include "ftp_transfer_fixture.h"
#include "platform/file_stream.h"
#include "platform/millisecond_tick.h"

using namespace corvane;
using namespace corvane::testing;

namespace {

struct Download {
    std::vector<std::string> replies;
    std::string bytes;
};

}  // namespace

class FtpRetrTest : public FtpTransferTest {
protected:
    // RETR over a fresh data connection; waits for the 150 and the final reply.
    Download Retr(FtpProbe& probe, const std::string& name, bool passive)
    {
        DataPeer peer;
        if (passive) {
            const int port = Pasv(probe);
            EXPECT_GT(port, 0);
            peer.ConnectTo(port);
        } else {
            EXPECT_EQ(Port(probe, peer), "200 Port command successful.");
        }
        const int mark = probe.LineCount();
        probe.Send("RETR " + name + "\r\n");
        Download result;
        result.replies = RepliesAfter(probe, mark, 2);
        EXPECT_TRUE(WaitFor([&] { return peer.closed; }));
        result.bytes = peer.received;
        return result;
    }

    int blocksSent = 0;
};

TEST_F(FtpRetrTest, FilesOfEverySizeArriveWholeInBothModes)
{
    server->OnRetrDataSent = [&](TFtpServer*, TFtpCtrlSocket*, TWSocket*, std::uint16_t) { ++blocksSent; };
    auto probe = LoggedIn();
    const std::size_t block = kMinDownloadBlock;
    for (bool passive : {true, false}) {
        for (std::size_t size : {std::size_t{0}, std::size_t{1}, block, block + 1, 5 * block + 17}) {
            const std::string content = Pattern(size);
            scratch.Put("f.bin", content);
            blocksSent = 0;
            const Download got = Retr(*probe, "f.bin", passive);
            ASSERT_EQ(got.replies.size(), 2u) << size;
            EXPECT_EQ(got.replies[0], "150 Opening data connection for f.bin.");
            EXPECT_EQ(got.replies[1], "226 File sent ok");
            EXPECT_TRUE(got.bytes == content)
                << "size " << size << " passive " << passive << " got " << got.bytes.size();
            // One data-sent event per block: the next block was read only after the last had left.
            EXPECT_EQ(blocksSent, static_cast<int>((size + block - 1) / block)) << size;
            EXPECT_EQ(clients[0]->Transfer().TransferredBytes, static_cast<long long>(size));
        }
    }
    EXPECT_EQ(FileStream::OpenWriterCount(), 0u);
}

TEST_F(FtpRetrTest, RestSendsTheRestOnceAndIsThenForgotten)
{
    const std::string content = Pattern(250);
    scratch.Put("f.bin", content);
    auto probe = LoggedIn();
    EXPECT_EQ(Ask(*probe, "REST 100"), "350 REST supported. Ready to resume at byte offset 100.");
    Download got = Retr(*probe, "f.bin", true);
    EXPECT_EQ(got.replies.back(), "226 File sent ok");
    EXPECT_TRUE(got.bytes == content.substr(100));
    got = Retr(*probe, "f.bin", false);
    EXPECT_TRUE(got.bytes == content);
    // Offsets beyond 32 bits are taken as they are; past the end nothing is left to send.
    EXPECT_EQ(Ask(*probe, "REST 5000000000"), "350 REST supported. Ready to resume at byte offset 5000000000.");
    EXPECT_EQ(clients[0]->Transfer().RestartOffset, 5000000000LL);
    got = Retr(*probe, "f.bin", true);
    EXPECT_EQ(got.replies.back(), "226 File sent ok");
    EXPECT_EQ(got.bytes, "");
}

TEST_F(FtpRetrTest, RestRejectsWhatIsNoOffset)
{
    auto probe = LoggedIn();
    EXPECT_EQ(Ask(*probe, "REST 7"), "350 REST supported. Ready to resume at byte offset 7.");
    EXPECT_EQ(Ask(*probe, "REST -1"), "501 Required byte offset parameter bad or missing.");
    EXPECT_EQ(clients[0]->Transfer().RestartOffset, 0);
    EXPECT_EQ(Ask(*probe, "REST 7"), "350 REST supported. Ready to resume at byte offset 7.");
    EXPECT_EQ(Ask(*probe, "REST abc"), "501 Syntax error in parameter: 'abc' is not a valid integer value.");
    EXPECT_EQ(clients[0]->Transfer().RestartOffset, 0);
    EXPECT_EQ(Ask(*probe, "REST 99999999999999999999"),
              "501 Syntax error in parameter: '99999999999999999999' is not a valid integer value.");
    EXPECT_EQ(Ask(*probe, "REST"), "501 Syntax error in parameter: '' is not a valid integer value.");
}

TEST_F(FtpRetrTest, AMissingFileOrAMissingTargetEndsWithTheReason)
{
    auto probe = LoggedIn();
    Download got = Retr(*probe, "none.txt", true);
    ASSERT_EQ(got.replies.size(), 2u);
    EXPECT_EQ(got.replies[0], "150 Opening data connection for none.txt.");
    EXPECT_EQ(got.replies[1], "501 Cannot RETR. Cannot open file \"C:\\none.txt\". File not found");
    // Active without any PORT: nowhere to connect to.
    scratch.Put("f.txt", "x");
    const int mark = probe->LineCount();
    probe->Send("RETR f.txt\r\n");
    const auto replies = RepliesAfter(*probe, mark, 2);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[1].rfind("501 Cannot RETR. ", 0), 0u) << replies[1];
    // A refusing owner: no transfer at all.
    server->OnValidateGet = [](TFtpServer*, TFtpCtrlSocket*, std::string&, bool& allowed) { allowed = false; };
    EXPECT_EQ(Ask(*probe, "RETR f.txt"), "500 Cannot RETR.");
    EXPECT_EQ(Ask(*probe, "NOOP"), "200 Ok. Parameter was ''.");
}

TEST_F(FtpRetrTest, TheFinalReplyComesBeforeTheClosedEventAndTheOwnerCanDelayTheStart)
{
    std::vector<std::string> events;
    TFtpCtrlSocket* delayed = nullptr;
    server->OnGetProcessing = [&](TFtpServer*, TFtpCtrlSocket* client, bool& delayedSend) {
        delayedSend = true;
        delayed = client;
    };
    server->OnAnswerToClient = [&](TFtpServer*, TFtpCtrlSocket*, std::string& answer) { events.push_back(answer); };
    server->OnRetrSessionConnected = [&](TFtpServer*, TFtpCtrlSocket*, TWSocket*, std::uint16_t) {
        events.push_back("connected");
    };
    server->OnRetrSessionClosed = [&](TFtpServer*, TFtpCtrlSocket*, TWSocket*, std::uint16_t error) {
        events.push_back("closed " + std::to_string(error));
    };
    scratch.Put("f.txt", "delayed");
    auto probe = LoggedIn();
    DataPeer peer;
    peer.ConnectTo(Pasv(*probe));
    events.clear();
    EXPECT_EQ(Ask(*probe, "RETR f.txt"), "150 Opening data connection for f.txt.");
    loop.RunUntil([] { return false; }, 100ms);
    EXPECT_EQ(events, (std::vector<std::string>{"150 Opening data connection for f.txt."}));
    EXPECT_EQ(peer.received, "");
    server->DoStartSendData(delayed);
    ASSERT_TRUE(WaitFor([&] { return peer.closed && events.size() == 4; }));
    EXPECT_EQ(peer.received, "delayed");
    EXPECT_EQ(events, (std::vector<std::string>{"150 Opening data connection for f.txt.", "connected",
                                                "226 File sent ok", "closed 0"}));
}

TEST_F(FtpRetrTest, TheCacheCanServeOrBeFilled)
{
    scratch.Put("f.bin", Pattern(100000));
    auto copy = std::make_shared<std::stringstream>();
    server->OnRetrSessionConnected = [&](TFtpServer*, TFtpCtrlSocket* client, TWSocket*, std::uint16_t) {
        client->Transfer().CachedCopy = CacheTransfer(CacheUse::Fill, copy);
    };
    auto probe = LoggedIn();
    Download got = Retr(*probe, "f.bin", true);
    EXPECT_EQ(got.replies.back(), "226 File sent ok");
    EXPECT_TRUE(copy->str() == Pattern(100000));
    EXPECT_EQ(clients[0]->Transfer().RetrFilePath, "C:\\f.bin");
    // Served from the copy: the file is gone, the bytes still come, from the restart offset on.
    ASSERT_EQ(std::remove(scratch.Join("f.bin").c_str()), 0);
    server->OnRetrSessionConnected = nullptr;
    server->OnValidateGet = [&](TFtpServer*, TFtpCtrlSocket* client, std::string&, bool&) {
        client->Transfer().CachedCopy = CacheTransfer(CacheUse::Serve, copy);
    };
    got = Retr(*probe, "f.bin", false);
    EXPECT_EQ(got.replies.back(), "226 File sent ok");
    EXPECT_TRUE(got.bytes == Pattern(100000));
    EXPECT_EQ(Ask(*probe, "REST 99990"), "350 REST supported. Ready to resume at byte offset 99990.");
    got = Retr(*probe, "f.bin", true);
    EXPECT_TRUE(got.bytes == Pattern(100000).substr(99990));
}

TEST_F(FtpRetrTest, TheOwnersHoldPacesBlocksWithoutStoppingOthers)
{
    scratch.Put("f.bin", Pattern(3 * kMinDownloadBlock));
    server->OnRetrDataSent = [&](TFtpServer*, TFtpCtrlSocket* client, TWSocket*, std::uint16_t) {
        ++blocksSent;
        client->Transfer().HoldNextBlockMs = 60;
    };
    auto probe = LoggedIn();
    auto other = LoggedIn();
    DataPeer peer;
    peer.ConnectTo(Pasv(*probe));
    const std::uint32_t start = MillisecondTick();
    const int mark = probe->LineCount();
    probe->Send("RETR f.bin\r\n");
    // While the blocks are held, the other client is answered at once.
    ASSERT_TRUE(WaitFor([&] { return blocksSent >= 1; }));
    EXPECT_EQ(Ask(*other, "NOOP"), "200 Ok. Parameter was ''.");
    const auto replies = RepliesAfter(*probe, mark, 2);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[1], "226 File sent ok");
    EXPECT_GE(MillisecondTick() - start, 3u * 60u);
    ASSERT_TRUE(WaitFor([&] { return peer.closed; }));
    EXPECT_TRUE(peer.received == Pattern(3 * kMinDownloadBlock));
}

TEST_F(FtpRetrTest, AborDuringADownloadEndsItWithItsReasonFirst)
{
    scratch.Put("f.bin", Pattern(4 * kMinDownloadBlock));
    server->OnRetrDataSent = [&](TFtpServer*, TFtpCtrlSocket* client, TWSocket*, std::uint16_t) {
        ++blocksSent;
        client->Transfer().HoldNextBlockMs = 10000;
    };
    auto probe = LoggedIn();
    DataPeer peer;
    peer.ConnectTo(Pasv(*probe));
    const int mark = probe->LineCount();
    probe->Send("RETR f.bin\r\n");
    ASSERT_TRUE(WaitFor([&] { return blocksSent == 1; }));
    // A second transfer command is refused; the running one is not disturbed.
    EXPECT_EQ(Ask(*probe, "RETR f.bin"), "425 Transfer already in progress.");
    EXPECT_EQ(Ask(*probe, "STOR g.bin"), "425 Transfer already in progress.");
    EXPECT_EQ(Ask(*probe, "PASV"), "500 PASV exception: 'Transfer in progress'.");
    EXPECT_TRUE(clients[0]->DataChannel().DataConnected());
    probe->Send("ABOR\r\n");
    const auto replies = RepliesAfter(*probe, mark, 6);
    ASSERT_EQ(replies.size(), 6u);
    EXPECT_EQ(replies[4], "501 Cannot RETR. ABORT requested by client");
    EXPECT_EQ(replies[5], "225 ABOR command successful.");
    ASSERT_TRUE(WaitFor([&] { return peer.closed; }));
    EXPECT_EQ(clients[0]->Transfer().Engine.blockTimer, 0u);
    // Without a transfer, ABOR has one reply only.
    EXPECT_EQ(Exchange(*probe, "ABOR\r\n", 1), (std::vector<std::string>{"225 ABOR command successful."}));
    loop.RunUntil([] { return false; }, 30ms);
    EXPECT_EQ(probe->Lines().back(), "225 ABOR command successful.");
}

TEST_F(FtpRetrTest, AClientThatHangsUpEarlyGetsNoSuccess)
{
    scratch.Put("f.bin", Pattern(4 * kMinDownloadBlock));
    server->OnRetrDataSent = [&](TFtpServer*, TFtpCtrlSocket* client, TWSocket*, std::uint16_t) {
        ++blocksSent;
        client->Transfer().HoldNextBlockMs = 10000;
    };
    auto probe = LoggedIn();
    DataPeer peer;
    peer.ConnectTo(Pasv(*probe));
    const int mark = probe->LineCount();
    probe->Send("RETR f.bin\r\n");
    ASSERT_TRUE(WaitFor([&] { return blocksSent == 1; }));
    peer.conn->Close();
    const auto replies = RepliesAfter(*probe, mark, 2);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[1].rfind("501 Cannot RETR. ", 0), 0u) << replies[1];
    EXPECT_FALSE(clients[0]->DataChannel().DataConnected());
    EXPECT_EQ(clients[0]->Transfer().Engine.blockTimer, 0u);
    // The next transfer works.
    server->OnRetrDataSent = nullptr;
    const Download got = Retr(*probe, "f.bin", true);
    EXPECT_EQ(got.replies.back(), "226 File sent ok");
    EXPECT_TRUE(got.bytes == Pattern(4 * kMinDownloadBlock));
}

TEST_F(FtpRetrTest, AClientThatLeavesDuringADownloadLeavesNothingBehind)
{
    scratch.Put("f.bin", Pattern(4 * kMinDownloadBlock));
    std::vector<std::uint16_t> closedWith;
    server->OnRetrDataSent = [&](TFtpServer*, TFtpCtrlSocket* client, TWSocket*, std::uint16_t) {
        ++blocksSent;
        client->Transfer().HoldNextBlockMs = 10000;
    };
    server->OnRetrSessionClosed = [&](TFtpServer*, TFtpCtrlSocket*, TWSocket*, std::uint16_t error) {
        closedWith.push_back(error);
    };
    auto probe = LoggedIn();
    DataPeer peer;
    peer.ConnectTo(Pasv(*probe));
    probe->Send("RETR f.bin\r\n");
    ASSERT_TRUE(WaitFor([&] { return blocksSent == 1; }));
    probe.reset();
    ASSERT_TRUE(WaitFor([&] { return server->ClientCount() == 0 && peer.closed; }));
    EXPECT_EQ(closedWith, (std::vector<std::uint16_t>{10057}));
    // The held block's timer went with the client: nothing fires after it.
    loop.RunUntil([] { return false; }, 50ms);
    EXPECT_EQ(blocksSent, 1);
}

TEST_F(FtpRetrTest, AborRightAfterRetrCallsOffTheStartThatIsOnItsWay)
{
    scratch.Put("f.txt", "never sent");
    auto probe = LoggedIn();
    for (bool passive : {true, false}) {
        DataPeer peer;
        if (passive) {
            peer.ConnectTo(Pasv(*probe));
            ASSERT_TRUE(WaitFor([&] { return clients[0]->DataChannel().PassiveAccepted(); }));
        } else {
            ASSERT_EQ(Port(*probe, peer), "200 Port command successful.");
        }
        const int mark = probe->LineCount();
        probe->Send("RETR f.txt\r\nABOR\r\n");
        const auto replies = RepliesAfter(*probe, mark, 3);
        ASSERT_EQ(replies.size(), 3u);
        EXPECT_EQ(replies[0], "150 Opening data connection for f.txt.");
        EXPECT_EQ(replies[1], "501 Cannot RETR. ABORT requested by client");
        EXPECT_EQ(replies[2], "225 ABOR command successful.");
        loop.RunUntil([] { return false; }, 50ms);
        EXPECT_EQ(probe->LineCount(), mark + 3);  // nothing started after all
        EXPECT_EQ(peer.received, "");
        EXPECT_FALSE(clients[0]->DataChannel().TransferRunning());
    }
    const Download got = Retr(*probe, "f.txt", true);
    EXPECT_EQ(got.replies.back(), "226 File sent ok");
    EXPECT_EQ(got.bytes, "never sent");
}

TEST_F(FtpRetrTest, AnOwnerThatDisconnectsInsideATransferEventEndsItCleanly)
{
    scratch.Put("f.bin", Pattern(3 * kMinDownloadBlock));
    std::vector<std::uint16_t> closedWith;
    server->OnRetrDataSent = [&](TFtpServer* s, TFtpCtrlSocket* client, TWSocket*, std::uint16_t) {
        s->Disconnect(client);
    };
    server->OnRetrSessionClosed = [&](TFtpServer*, TFtpCtrlSocket*, TWSocket*, std::uint16_t error) {
        closedWith.push_back(error);
    };
    auto probe = LoggedIn();
    DataPeer peer;
    peer.ConnectTo(Pasv(*probe));
    probe->Send("RETR f.bin\r\n");
    ASSERT_TRUE(WaitFor([&] { return server->ClientCount() == 0 && peer.closed && probe->closed; }));
    EXPECT_EQ(closedWith, (std::vector<std::uint16_t>{10057}));
    EXPECT_LE(peer.received.size(), 2 * kMinDownloadBlock);
}

TEST_F(FtpRetrTest, AFileCutShortWhileABlockIsOnItsWayCountsOnlyWhatWent)
{
    const std::string content = Pattern(32 * static_cast<std::size_t>(kMinDownloadBlock));
    scratch.Put("f.bin", content);
    auto probe = LoggedIn();
    DataPeer peer;
    peer.ConnectTo(Pasv(*probe));
    ASSERT_TRUE(WaitFor([&] { return peer.connected; }));
    peer.conn->Pause();  // the client reads nothing for now: the stack fills in the middle of a block
    const int mark = probe->LineCount();
    probe->Send("RETR f.bin\r\n");
    ASSERT_TRUE(WaitFor([&] {
        return clients.size() == 1 && clients[0]->DataChannel().DataConnected() &&
               !clients[0]->DataWSocket()->AllSent();
    }));
    loop.RunUntil([] { return false; }, 100ms);
    TFtpCtrlSocket* client = clients[0];
    TWSocket* data = client->DataWSocket();
    ASSERT_FALSE(data->AllSent());
    ASSERT_GT(client->Transfer().Engine.fileBlock, data->FileBytesSent());
    // The file now ends where the block on its way has got to.
    const long long reached =
        client->Transfer().TransferredBytes - client->Transfer().Engine.fileBlock + data->FileBytesSent();
    ASSERT_EQ(::truncate(scratch.Join("f.bin").c_str(), reached), 0);
    peer.conn->Resume();
    const auto replies = RepliesAfter(*probe, mark, 2, 10000ms);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[1], "226 File sent ok");
    ASSERT_TRUE(WaitFor([&] { return peer.closed; }, 10000ms));
    EXPECT_EQ(peer.received.size(), static_cast<std::size_t>(reached));
    EXPECT_TRUE(peer.received == content.substr(0, static_cast<std::size_t>(reached)));
    EXPECT_EQ(client->Transfer().TransferredBytes, reached);
}

TEST_F(FtpRetrTest, RepliesLeaveWithoutWaitingForTheClientsAcknowledgement)
{
    auto probe = LoggedIn();
    ASSERT_EQ(clients.size(), 1u);
    int noDelay = 0;
    socklen_t length = sizeof noDelay;
    ASSERT_EQ(::getsockopt(clients[0]->HSocket(), IPPROTO_TCP, TCP_NODELAY, &noDelay, &length), 0);
    EXPECT_EQ(noDelay, 1);
}
