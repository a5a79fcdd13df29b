// The extension commands over real connections: FEAT and OPTS, EPRT's and EPSV's protections,
// EPSV ALL, and MFMT. The machine listings are seen through real clients (e2e).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "ftp_transfer_fixture.h"

using namespace corvane;
using namespace corvane::testing;

namespace {

int EpsvPort(const std::string& reply)
{
    int port = 0;
    return std::sscanf(reply.c_str(), "229 Entering Extended Passive Mode (|||%d|)", &port) == 1 ? port : 0;
}

int FreePort()
{
    TWSocket probe;
    probe.SetAddr("127.0.0.1");
    probe.SetPort("0");
    probe.Listen();
    const int port = std::stoi(probe.GetXPort());
    probe.Close();
    return port;
}

}  // namespace

class FtpExtensionTest : public FtpTransferTest {
protected:
    std::time_t ModificationTime(const std::string& name)
    {
        struct stat st {};
        ::stat(scratch.Join(name).c_str(), &st);
        return st.st_mtime;
    }
};

TEST_F(FtpExtensionTest, FeatBeforeLoginAdvertisesOnlyCommandsThatAreUnderstood)
{
    StartServer();
    auto probe = Connect();
    const std::vector<std::string> feat = Exchange(*probe, "FEAT\r\n", 10);
    ASSERT_EQ(feat.size(), 10u);
    EXPECT_EQ(feat.front(), "211-Features:");
    EXPECT_EQ(feat.back(), "211 End");
    EXPECT_NE(std::find(feat.begin(), feat.end(), " MLST type*;size*;modify*;perm*;unique*;"), feat.end());
    for (std::size_t i = 1; i + 1 < feat.size(); ++i) {
        const std::string word = feat[i].substr(1, feat[i].find(' ', 1) - 1);
        if (word == "UTF8") continue;  // an OPTS option, not a command
        EXPECT_NE(Ask(*probe, word), "500 '" + word + "': command not understood.") << word;
    }
    const std::vector<std::string> help = Exchange(*probe, "HELP\r\n", 8);
    EXPECT_EQ(help.front(), "214-The following commands are recognized:");
    EXPECT_EQ(help.back(), "214 Help OK.");
    EXPECT_EQ(Ask(*probe, "HELP mlsd"), "214 MLSD is recognized.");
    EXPECT_EQ(Ask(*probe, "HELP OVER"), "502 Unknown command 'OVER'.");
}

TEST_F(FtpExtensionTest, OptsSetsUtf8AndTheMachineListingFacts)
{
    StartServer();
    auto probe = Connect();
    const std::pair<const char*, const char*> cases[] = {
        {"OPTS UTF8 ON", "200 UTF8 set to on."},
        {"OPTS utf8 off", "200 UTF8 set to off."},
        {"OPTS UTF8", "501 OPTS UTF8 takes ON or OFF."},
        {"OPTS UTF8 MAYBE", "501 OPTS UTF8 takes ON or OFF."},
        {"OPTS MLST size;Type;media-type;", "200 MLST OPTS type;size;"},
        {"OPTS MODE Z", "501 OPTS MODE not understood."},
    };
    for (const auto& [line, reply] : cases) EXPECT_EQ(Ask(*probe, line), reply) << line;
    const std::vector<std::string> feat = Exchange(*probe, "FEAT\r\n", 10);
    EXPECT_NE(std::find(feat.begin(), feat.end(), " MLST type*;size*;modify;perm;unique;"), feat.end());
}

TEST_F(FtpExtensionTest, TheNewCommandsThatTouchFilesOrDataNeedALogin)
{
    StartServer();
    auto probe = Connect();
    for (const char* command : {"EPSV", "EPSV ALL", "EPRT |1|127.0.0.1|5000|", "MLSD", "MLST", "MFMT 20200101000000 a",
                                "ALLO 10", "XCWD sub", "XCUP", "CHMOD 644 a"})
        EXPECT_EQ(Ask(*probe, command), "530 Please login with USER and PASS.") << command;
}

TEST_F(FtpExtensionTest, EprtAimsOnlyAtTheClientOnAnUnprivilegedPort)
{
    scratch.Put("a.txt", "12345");
    auto probe = LoggedIn();
    const std::pair<const char*, const char*> cases[] = {
        {"EPRT |2|::1|5000|", "522 Network protocol not supported, use (1)"},
        {"EPRT |3|127.0.0.1|5000|", "522 Network protocol not supported, use (1)"},
        {"EPRT |1|10.0.0.5|5000|", "501 Invalid EPRT command."},
        {"EPRT |1|127.0.0.2|5000|", "501 Invalid EPRT command."},
        {"EPRT |1|127.0.0.1|0|", "501 Invalid EPRT command."},
        {"EPRT |1|127.0.0.1|1023|", "501 Invalid EPRT command."},
        {"EPRT |1|127.0.0.1|65536|", "501 Invalid EPRT command."},
        {"EPRT |1|127.0.0.1.1|5000|", "501 Invalid EPRT command."},
        {"EPRT", "501 Invalid EPRT command."},
    };
    for (const auto& [line, reply] : cases) EXPECT_EQ(Ask(*probe, line), reply) << line;
    DataPeer peer;
    const int listening = peer.Listen();
    EXPECT_EQ(Ask(*probe, "EPRT |1|127.0.0.1|" + std::to_string(listening) + "|"), "200 EPRT command successful.");
    const int mark = probe->LineCount();
    probe->Send("RETR a.txt\r\n");
    const auto replies = RepliesAfter(*probe, mark, 2);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[1], "226 File sent ok");
    ASSERT_TRUE(WaitFor([&] { return peer.closed; }));
    EXPECT_EQ(peer.received, "12345");
}

TEST_F(FtpExtensionTest, EpsvUsesThePassiveRangeAndEpsvAllLeavesOnlyEpsv)
{
    const int only = FreePort();
    server->SetPasvPortRangeStart(only);
    server->SetPasvPortRangeSize(1);
    scratch.Put("a.txt", "12345");
    auto first = LoggedIn();
    auto second = LoggedIn();
    EXPECT_EQ(Ask(*first, "EPSV 2"), "522 Network protocol not supported, use (1)");
    EXPECT_EQ(EpsvPort(Ask(*first, "EPSV")), only);
    EXPECT_EQ(Ask(*second, "EPSV"), "500 EPSV exception: 'No available PASV Ports'.");
    EXPECT_EQ(Ask(*first, "EPSV ALL"), "200 EPSV ALL command successful.");
    EXPECT_EQ(Ask(*first, "PASV"), "503 PASV not allowed after EPSV ALL.");
    EXPECT_EQ(Ask(*first, "PORT 127,0,0,1,19,136"), "503 PORT not allowed after EPSV ALL.");
    EXPECT_EQ(Ask(*first, "EPRT |1|127.0.0.1|5000|"), "503 EPRT not allowed after EPSV ALL.");
    // A second EPSV replaces the first listener and its port, and the transfer goes through it.
    DataPeer peer;
    peer.ConnectTo(EpsvPort(Ask(*first, "EPSV")));
    const int mark = first->LineCount();
    first->Send("RETR a.txt\r\n");
    const auto replies = RepliesAfter(*first, mark, 2);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[1], "226 File sent ok");
    ASSERT_TRUE(WaitFor([&] { return peer.closed; }));
    EXPECT_EQ(peer.received, "12345");
    EXPECT_EQ(EpsvPort(Ask(*second, "EPSV")), only);
}

TEST_F(FtpExtensionTest, MfmtSetsATimeOnlyWhereAllowedAndOnlyAsStored)
{
    scratch.Put("a.txt", "12345");
    scratch.Put("locked.txt", "l");
    std::filesystem::create_directories(scratch.Join("sub"));
    server->OnValidateMfmt = [](TFtpServer*, TFtpCtrlSocket*, std::string& path, bool& allowed) {
        allowed = path != "C:\\locked.txt";
    };
    auto probe = LoggedIn();
    EXPECT_EQ(Ask(*probe, "MFMT 20200102030405 a.txt"), "213 Modify=20200102030405; a.txt");
    EXPECT_EQ(ModificationTime("a.txt"), 1577934245);
    const std::time_t locked = ModificationTime("locked.txt");
    const std::pair<const char*, const char*> refused[] = {
        {"MFMT 20200102030405 locked.txt", "550 'C:\\locked.txt': no such file or directory."},
        {"MFMT 20200102030405 sub", "550 'C:\\sub': no such file or directory."},
        {"MFMT 20200102030405 nothere", "550 'C:\\nothere': no such file or directory."},
        {"MFMT yesterday a.txt", "501 Syntax error in MFMT parameter."},
        {"MFMT 20201340000000 a.txt", "501 Syntax error in MFMT parameter."},
        {"MFMT 20200102030405", "501 Syntax error in MFMT parameter."},
        {"MFMT", "501 Syntax error in MFMT parameter."},
    };
    for (const auto& [line, reply] : refused) EXPECT_EQ(Ask(*probe, line), reply) << line;
    EXPECT_EQ(ModificationTime("locked.txt"), locked);
    EXPECT_EQ(ModificationTime("a.txt"), 1577934245);
    // Years 1 and 9999 are valid times; a file system that cannot hold one must not keep
    // another in its place while the reply says it was set.
    for (const auto& [text, when] : {std::pair<const char*, std::time_t>{"00010101000000", -62135596800},
                                     std::pair<const char*, std::time_t>{"99991231235959", 253402300799}}) {
        const std::string reply = Ask(*probe, std::string("MFMT ") + text + " a.txt");
        if (reply.starts_with("213 ")) {
            EXPECT_EQ(reply, std::string("213 Modify=") + text + "; a.txt");
            EXPECT_EQ(ModificationTime("a.txt"), when);
        } else {
            EXPECT_EQ(reply, "550 'C:\\a.txt': the file system cannot hold that time.");
            EXPECT_EQ(ModificationTime("a.txt"), 1577934245);
        }
        ASSERT_EQ(Ask(*probe, "MFMT 20200102030405 a.txt"), "213 Modify=20200102030405; a.txt");
    }
}

// On an IPv6 control connection the data commands speak IPv6: EPSV and EPRT take family 2,
// PASV, PORT and family 1 are sent to them, and EPRT still aims only at the client itself.
TEST_F(FtpExtensionTest, AnIpv6ClientGetsFamilyTwoAndTheRefusalsOfEverythingElse)
{
    address = "::1";
    scratch.Put("a.txt", "12345");
    auto probe = LoggedIn();
    const std::pair<const char*, const char*> cases[] = {
        {"EPSV 1", "522 Network protocol not supported, use (2)"},
        {"PASV", "522 Network protocol not supported, use (2); use EPSV."},
        {"PORT 127,0,0,1,19,136", "522 Network protocol not supported, use (2); use EPRT."},
        {"EPRT |1|127.0.0.1|5000|", "522 Network protocol not supported, use (2)"},
        {"EPRT |2|127.0.0.1|5000|", "501 Invalid EPRT command."},
        {"EPRT |2|::ffff:127.0.0.1|5000|", "501 Invalid EPRT command."},
        {"EPRT |2|fe80::1%lo|5000|", "501 Invalid EPRT command."},
        {"EPRT |2|0000:0000:0000:0000:0000:0000:0000:00001|5000|", "501 Invalid EPRT command."},
        {"EPRT |2|::2|5000|", "501 Invalid EPRT command."},
        {"EPRT |2|::1|0|", "501 Invalid EPRT command."},
        {"EPRT |2|::1|65536|", "501 Invalid EPRT command."},
        {"EPRT |2|[::1]|5000|", "501 Invalid EPRT command."},
        {"EPRT |2||::1||5000|", "501 Invalid EPRT command."},
    };
    for (const auto& [line, reply] : cases) EXPECT_EQ(Ask(*probe, line), reply) << line;

    DataPeer active;
    const int listening = active.Listen("::1");
    EXPECT_EQ(Ask(*probe, "EPRT |2|0:0::1|" + std::to_string(listening) + "|"), "200 EPRT command successful.");
    int mark = probe->LineCount();
    probe->Send("RETR a.txt\r\n");
    ASSERT_EQ(RepliesAfter(*probe, mark, 2).back(), "226 File sent ok");
    ASSERT_TRUE(WaitFor([&] { return active.closed; }));
    EXPECT_EQ(active.received, "12345");

    const int passive = EpsvPort(Ask(*probe, "EPSV 2"));
    ASSERT_GT(passive, 0);
    DataPeer peer;
    peer.ConnectTo(passive, "::1", "::1");
    ASSERT_TRUE(WaitFor([&] { return peer.connected; }));
    mark = probe->LineCount();
    probe->Send("RETR a.txt\r\n");
    ASSERT_EQ(RepliesAfter(*probe, mark, 2).back(), "226 File sent ok");
    ASSERT_TRUE(WaitFor([&] { return peer.closed; }));
    EXPECT_EQ(peer.received, "12345");
}
