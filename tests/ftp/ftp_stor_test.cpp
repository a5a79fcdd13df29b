// Uploads: sizes in both modes, REST and APPE offsets, STOU's reserved names, commands during an
// upload, two uploads of one file, ABOR and refusals.
#include <gtest/gtest.h>

#include <filesystem>

#include "ftp_transfer_fixture.h"
#include "platform/file_stream.h"

using namespace corvane;
using namespace corvane::testing;

class FtpStorTest : public FtpTransferTest {
protected:
    // An upload command over a fresh data connection: the bytes are sent once the server has
    // answered "150", then the connection is closed; returns the replies (150 and the final one).
    std::vector<std::string> Upload(FtpProbe& probe, const std::string& command, const std::string& bytes, bool passive)
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
        probe.Send(command + "\r\n");
        const auto first = RepliesAfter(probe, mark, 1);
        if (first.empty() || first[0].rfind("150 ", 0) != 0) return first;
        SendAndClose(peer, bytes);
        return RepliesAfter(probe, mark, 2);
    }
};

TEST_F(FtpStorTest, FilesOfEverySizeAreStoredWholeInBothModes)
{
    std::vector<std::string> events;
    server->OnStorSessionClosed = [&](TFtpServer*, TFtpCtrlSocket*, TWSocket*, std::uint16_t) {
        events.push_back("closed");
    };
    server->OnAnswerToClient = [&](TFtpServer*, TFtpCtrlSocket*, std::string& answer) { events.push_back(answer); };
    auto probe = LoggedIn();
    for (bool passive : {true, false}) {
        for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65536}, std::size_t{700001}}) {
            scratch.Put("up.bin", "old content that must go");
            const std::string content = Pattern(size);
            events.clear();
            const auto replies = Upload(*probe, "STOR up.bin", content, passive);
            ASSERT_EQ(replies.size(), 2u) << size;
            EXPECT_EQ(replies[0], "150 Opening data connection for up.bin.");
            EXPECT_EQ(replies[1], "226 File received ok");
            EXPECT_TRUE(scratch.Get("up.bin") == content) << "size " << size << " passive " << passive;
            EXPECT_EQ(clients[0]->Transfer().TransferredBytes, static_cast<long long>(size));
            // The final reply of an upload follows its closed event.
            ASSERT_GE(events.size(), 2u);
            EXPECT_EQ(events[events.size() - 2], "closed");
            EXPECT_EQ(events.back(), "226 File received ok");
        }
    }
    EXPECT_EQ(FileStream::OpenWriterCount(), 0u);
}

TEST_F(FtpStorTest, RestOverwritesFromTheOffsetAndKeepsTheRest)
{
    const std::string original = Pattern(250);
    scratch.Put("f.bin", original);
    auto probe = LoggedIn();
    EXPECT_EQ(Ask(*probe, "REST 100"), "350 REST supported. Ready to resume at byte offset 100.");
    const auto replies = Upload(*probe, "STOR f.bin", std::string(50, 'z'), true);
    EXPECT_EQ(replies.back(), "226 File received ok");
    const std::string stored = scratch.Get("f.bin");
    EXPECT_TRUE(stored == original.substr(0, 100) + std::string(50, 'z') + original.substr(150));
    EXPECT_EQ(clients[0]->Transfer().RestartOffset, 0);
}

TEST_F(FtpStorTest, AnOffsetOfADownloadCalledOffDoesNotReachTheNextUpload)
{
    const std::string original = Pattern(250);
    scratch.Put("f.bin", original);
    auto probe = LoggedIn();
    EXPECT_EQ(Ask(*probe, "REST 100"), "350 REST supported. Ready to resume at byte offset 100.");
    ASSERT_GT(Pasv(*probe), 0);  // the client never reaches the listener
    const int mark = probe->LineCount();
    probe->Send("RETR f.bin\r\n");
    ASSERT_EQ(RepliesAfter(*probe, mark, 1).size(), 1u);
    probe->Send("ABOR\r\n");
    const auto aborted = RepliesAfter(*probe, mark, 3);
    ASSERT_EQ(aborted.size(), 3u);
    EXPECT_EQ(aborted[2], "225 ABOR command successful.");
    // A plain STOR replaces the file: the offset went with the download that was called off.
    EXPECT_EQ(Upload(*probe, "STOR f.bin", "new", true).back(), "226 File received ok");
    EXPECT_EQ(scratch.Get("f.bin"), "new");
}

TEST_F(FtpStorTest, AppeAnnouncesTheSizeAndAppendsOrCreates)
{
    const std::string original = Pattern(250);
    scratch.Put("f.bin", original);
    auto probe = LoggedIn();
    auto replies = Upload(*probe, "APPE f.bin", std::string(50, 'a'), false);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0], "150 APPE supported.  Ready to append file \"f.bin\" at offset 250.");
    EXPECT_EQ(replies[1], "226 File received ok");
    EXPECT_TRUE(scratch.Get("f.bin") == original + std::string(50, 'a'));
    replies = Upload(*probe, "APPE new.bin", "fresh", true);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0], "150 APPE supported.  Ready to append file \"new.bin\" at offset 0.");
    EXPECT_EQ(scratch.Get("new.bin"), "fresh");
    server->OnValidatePut = [](TFtpServer*, TFtpCtrlSocket*, std::string&, bool& allowed) { allowed = false; };
    EXPECT_EQ(Ask(*probe, "APPE f.bin"), "500 Cannot APPE.");
    EXPECT_EQ(Ask(*probe, "STOR f.bin"), "501 Permission Denied");
    EXPECT_EQ(Ask(*probe, "STOU"), "501 Permission Denied");
}

TEST_F(FtpStorTest, StouReservesAHexNameAndAnnouncesItsFullPath)
{
    auto probe = LoggedIn();
    const auto replies = Upload(*probe, "STOU", "unique", true);
    ASSERT_EQ(replies.size(), 2u);
    const std::string prefix = "150 Opening data connection for C:\\FTP";
    ASSERT_EQ(replies[0].rfind(prefix, 0), 0u) << replies[0];
    const std::string name = replies[0].substr(prefix.size() - 3, 7);  // FTP and four digits
    EXPECT_EQ(replies[0], "150 Opening data connection for C:\\" + name + ".");
    EXPECT_EQ(name.find_first_not_of("0123456789ABCDEF", 3), std::string::npos) << name;
    EXPECT_EQ(replies[1], "250 'C:\\" + name + "': file created.");
    EXPECT_EQ(scratch.Get(name), "unique");
    EXPECT_TRUE(std::filesystem::exists(scratch.Join(name + ".TMP")));  // the reservation stays
    // The owner's name is used while no such file exists.
    server->OnGetUniqueFileName = [](TFtpServer*, TFtpCtrlSocket*, std::string& fileName) { fileName = "mine.txt"; };
    auto named = Upload(*probe, "STOU", "owner named", false);
    EXPECT_EQ(named.back(), "250 'mine.txt': file created.");
    EXPECT_EQ(scratch.Get("mine.txt"), "owner named");
    named = Upload(*probe, "STOU", "second", true);
    EXPECT_EQ(named.back().rfind("250 'C:\\FTP", 0), 0u) << named.back();
    EXPECT_EQ(scratch.Get("mine.txt"), "owner named");
}

TEST_F(FtpStorTest, CommandsDuringAnUploadDoNotChangeItsReply)
{
    auto probe = LoggedIn();
    DataPeer peer;
    peer.ConnectTo(Pasv(*probe));
    const int mark = probe->LineCount();
    probe->Send("STOR f.bin\r\n");
    ASSERT_EQ(RepliesAfter(*probe, mark, 1).front(), "150 Opening data connection for f.bin.");
    ASSERT_TRUE(WaitFor([&] { return peer.connected; }));
    peer.Send("part one ");
    EXPECT_EQ(Ask(*probe, "NOOP"), "200 Ok. Parameter was ''.");
    EXPECT_EQ(Ask(*probe, "RETR f.bin"), "425 Transfer already in progress.");
    SendAndClose(peer, "part two");
    const auto replies = RepliesAfter(*probe, mark, 4);
    ASSERT_EQ(replies.size(), 4u);
    EXPECT_EQ(replies[3], "226 File received ok");
    EXPECT_EQ(scratch.Get("f.bin"), "part one part two");
}

TEST_F(FtpStorTest, TwoUploadsOfOneFileNeverInterleave)
{
    auto first = LoggedIn();
    auto second = LoggedIn();
    DataPeer one, two;
    one.ConnectTo(Pasv(*first));
    two.ConnectTo(Pasv(*second));
    const int markOne = first->LineCount(), markTwo = second->LineCount();
    first->Send("STOR f.bin\r\n");
    ASSERT_EQ(RepliesAfter(*first, markOne, 1).front(), "150 Opening data connection for f.bin.");
    ASSERT_TRUE(WaitFor([&] { return one.connected; }));
    one.Send("first writer ");
    ASSERT_TRUE(WaitFor([&] { return clients[0]->Transfer().TransferredBytes == 13; }));
    second->Send("STOR f.bin\r\n");
    ASSERT_EQ(RepliesAfter(*second, markTwo, 1).front(), "150 Opening data connection for f.bin.");
    ASSERT_TRUE(WaitFor([&] { return two.connected; }));
    two.Send("second writer");
    const auto refused = RepliesAfter(*second, markTwo, 2);
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_EQ(refused[1], "426 Connection closed; Cannot open file \"C:\\f.bin\". Access denied.");
    ASSERT_TRUE(WaitFor([&] { return two.closed; }));
    SendAndClose(one, "goes on");
    EXPECT_EQ(RepliesAfter(*first, markOne, 2).back(), "226 File received ok");
    EXPECT_EQ(scratch.Get("f.bin"), "first writer goes on");
}

TEST_F(FtpStorTest, AborAndBadTargetsEndAnUploadWithTheReason)
{
    auto probe = LoggedIn();
    DataPeer peer;
    peer.ConnectTo(Pasv(*probe));
    const int mark = probe->LineCount();
    probe->Send("STOR f.bin\r\n");
    ASSERT_EQ(RepliesAfter(*probe, mark, 1).front(), "150 Opening data connection for f.bin.");
    ASSERT_TRUE(WaitFor([&] { return peer.connected; }));
    peer.Send("some");
    ASSERT_TRUE(WaitFor([&] { return clients[0]->Transfer().TransferredBytes == 4; }));
    probe->Send("ABOR\r\n");
    const auto replies = RepliesAfter(*probe, mark, 3);
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies[1], "426 Connection closed; ABORT requested by client.");
    EXPECT_EQ(replies[2], "225 ABOR command successful.");
    ASSERT_TRUE(WaitFor([&] { return peer.closed; }));
    // A folder that does not exist, and a drive that is not mapped.
    auto failed = Upload(*probe, "STOR nofolder/f.bin", "x", true);
    EXPECT_EQ(failed.back(), "426 Connection closed; Cannot open file \"C:\\nofolder\\f.bin\". File not found.");
    failed = Upload(*probe, "STOR Q:\\f.bin", "x", false);
    EXPECT_EQ(failed.back(), "426 Connection closed; Cannot open file \"Q:\\f.bin\". File not found.");
    // A PASV listener that the client never reaches: ABOR calls the waiting upload off, and the
    // listener serves the next command.
    const int port = Pasv(*probe);
    const int before = probe->LineCount();
    probe->Send("STOR late.bin\r\nABOR\r\n");
    const auto called = RepliesAfter(*probe, before, 3);
    ASSERT_EQ(called.size(), 3u);
    EXPECT_EQ(called[1], "426 Connection closed; ABORT requested by client.");
    EXPECT_EQ(called[2], "225 ABOR command successful.");
    DataPeer late;
    late.ConnectTo(port);
    const int next = probe->LineCount();
    probe->Send("STOR late.bin\r\n");
    ASSERT_EQ(RepliesAfter(*probe, next, 1).front(), "150 Opening data connection for late.bin.");
    SendAndClose(late, "in the end");
    EXPECT_EQ(RepliesAfter(*probe, next, 2).back(), "226 File received ok");
    EXPECT_EQ(scratch.Get("late.bin"), "in the end");
}

TEST_F(FtpStorTest, AClientThatLeavesDuringAnUploadEndsItAsFailed)
{
    std::vector<std::uint16_t> closedWith;
    server->OnStorSessionClosed = [&](TFtpServer*, TFtpCtrlSocket*, TWSocket*, std::uint16_t error) {
        closedWith.push_back(error);
    };
    auto probe = LoggedIn();
    DataPeer peer;
    peer.ConnectTo(Pasv(*probe));
    const int mark = probe->LineCount();
    probe->Send("STOR f.bin\r\n");
    ASSERT_EQ(RepliesAfter(*probe, mark, 1).front(), "150 Opening data connection for f.bin.");
    ASSERT_TRUE(WaitFor([&] { return peer.connected; }));
    peer.Send("half");
    ASSERT_TRUE(WaitFor([&] { return clients[0]->Transfer().TransferredBytes == 4; }));
    probe.reset();
    ASSERT_TRUE(WaitFor([&] { return server->ClientCount() == 0 && peer.closed; }));
    EXPECT_EQ(closedWith, (std::vector<std::uint16_t>{10057}));
    EXPECT_EQ(FileStream::OpenWriterCount(), 0u);
    EXPECT_EQ(scratch.Get("f.bin"), "half");
}
