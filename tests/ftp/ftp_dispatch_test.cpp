// Command lines in, replies out: parsing, the table and its login rule, OnClientCommand,
// OnAnswerToClient, and the lines that cannot become commands.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ftp_server_fixture.h"

using namespace corvane;
using namespace corvane::testing;

namespace {

constexpr char kLogin[] = "530 Please login with USER and PASS.";
constexpr char kNotImplemented[] = "502 Command not implemented.";

struct SeenCommand {
    std::string keyword, params;
};

}  // namespace

TEST_F(FtpServerTest, TheGreetingIsTheServerBannerAndStartsTheLoginState)
{
    server->SetBanner("220-Welcome\r\n220 to the test");
    TFtpCtrlSocket* seen = nullptr;
    server->OnClientConnect = [&](TFtpServer*, TFtpCtrlSocket* client, std::uint16_t) {
        seen = client;
        EXPECT_EQ(client->FtpState(), ftpcInvalid);  // before the greeting
    };
    StartServer();
    auto probe = Connect();
    EXPECT_EQ(probe->received, "220-Welcome\r\n220 to the test\r\n");
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(seen->FtpState(), ftpcWaitingUserCode);
    EXPECT_EQ(seen->PeerAddr(), "127.0.0.1");
    EXPECT_EQ(seen->Name(), "ClientWSocket1");
    EXPECT_EQ(seen->DataWSocket()->Name(), "DataWSocket1");
    EXPECT_EQ(seen->ClientNumber(), 1);
}

TEST_F(FtpServerTest, RepliesFollowTheParsedLine)
{
    StartServer();
    auto probe = Connect();
    EXPECT_EQ(Ask(*probe, "noop hello"), "200 Ok. Parameter was 'hello'.");
    EXPECT_EQ(Ask(*probe, "NOOP"), "200 Ok. Parameter was ''.");
    EXPECT_EQ(Ask(*probe, "stru  F "), "200 Ok. STRU parameter 'F ' ignored.");
    EXPECT_EQ(Ask(*probe, "XYZ abc"), "500 'XYZ': command not understood.");
    EXPECT_EQ(Ask(*probe, "  !what is this"), "500 '!what is this': command not understood.");
    EXPECT_EQ(Exchange(*probe, "\n").front(), "500 '': command not understood.");
    // A bare line feed ends a line as well as CR LF does.
    EXPECT_EQ(Exchange(*probe, "NOOP lf\n").front(), "200 Ok. Parameter was 'lf'.");
    // Only the carriage return just before the line feed goes.
    EXPECT_EQ(Exchange(*probe, "NOOP a\rb\r\r\n").front(), "200 Ok. Parameter was 'a\rb\r'.");
    EXPECT_FALSE(probe->closed);
}

TEST_F(FtpServerTest, NulBytesInALineAreCarriedThrough)
{
    StartServer();
    auto probe = Connect();
    EXPECT_EQ(Exchange(*probe, std::string("NO\0OP\r\n", 7)).front(), "500 'NO': command not understood.");
    EXPECT_EQ(Exchange(*probe, std::string("NOOP a\0b\r\n", 10)).front(),
              std::string("200 Ok. Parameter was 'a\0b'.", 28));
}

TEST_F(FtpServerTest, TwoCommandsInOnePacketAreAnsweredInOrder)
{
    StartServer();
    auto probe = Connect();
    const auto replies = Exchange(*probe, "NOOP one\r\nPWD\r\nNOOP three\r\n", 3);
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies[0], "200 Ok. Parameter was 'one'.");
    EXPECT_EQ(replies[1], kLogin);
    EXPECT_EQ(replies[2], "200 Ok. Parameter was 'three'.");
}

TEST_F(FtpServerTest, ALineSplitOverSeveralPacketsIsOneCommand)
{
    TFtpCtrlSocket* client = nullptr;
    server->OnClientConnect = [&](TFtpServer*, TFtpCtrlSocket* c, std::uint16_t) { client = c; };
    StartServer();
    auto probe = Connect();
    probe->Send("NO");
    ASSERT_TRUE(WaitFor([&] { return client->RcvCnt() == 2; }));
    probe->Send("OP sp");
    ASSERT_TRUE(WaitFor([&] { return client->RcvCnt() == 7; }));
    EXPECT_EQ(client->CommandCount(), 0);
    EXPECT_EQ(Exchange(*probe, "lit\r\n").front(), "200 Ok. Parameter was 'split'.");
    EXPECT_EQ(client->CommandCount(), 1);
    EXPECT_EQ(client->RcvCnt(), 0);
}

TEST_F(FtpServerTest, OnClientCommandSeesTheParsedKeywordAndParams)
{
    std::vector<SeenCommand> seen;
    server->OnClientCommand = [&](TFtpServer*, TFtpCtrlSocket*, std::string& keyword, std::string& params,
                                  std::string&) {
        seen.push_back({keyword, params});
    };
    StartServer();
    auto probe = Connect();
    EXPECT_EQ(Ask(*probe, "   USER   anonymous  "), "331 Password required for anonymous.");
    EXPECT_NE(Ask(*probe, "\xFF\xF4\xFF\xF2"
                          "ABOR")
                  .rfind("500 ", 0),
              0u);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].keyword, "USER");
    EXPECT_EQ(seen[0].params, "anonymous  ");
    EXPECT_EQ(seen[1].keyword, "ABOR");
    EXPECT_EQ(seen[1].keyword, "ABOR");
    EXPECT_EQ(seen[1].params, "");
}

TEST_F(FtpServerTest, OnClientCommandCanAnswerRewriteOrFail)
{
    int tableCalls = 0;
    server->OnClientCommand = [&](TFtpServer*, TFtpCtrlSocket*, std::string& keyword, std::string& params,
                                  std::string& answer) {
        if (keyword == "SITE") answer = "200-site says\r\n200 " + params;
        if (keyword == "PING") {
            keyword = "NOOP";
            params = "pong";
        }
        if (keyword == "BOOM") throw std::runtime_error("handler failed");
        if (keyword == "NOOP") ++tableCalls;
    };
    StartServer();
    auto probe = Connect();
    const auto site = Exchange(*probe, "SITE hello\r\n", 2);
    ASSERT_EQ(site.size(), 2u);
    EXPECT_EQ(site[0], "200-site says");
    EXPECT_EQ(site[1], "200 hello");
    EXPECT_EQ(Ask(*probe, "PING"), "200 Ok. Parameter was 'pong'.");
    EXPECT_EQ(Ask(*probe, "BOOM now"), "501 handler failed");
    // The failure changed nothing: the connection still serves.
    EXPECT_EQ(Ask(*probe, "NOOP"), "200 Ok. Parameter was ''.");
    EXPECT_EQ(tableCalls, 2);
    EXPECT_FALSE(probe->closed);
}

TEST_F(FtpServerTest, EveryReplyPassesOnAnswerToClient)
{
    std::vector<std::string> answers;
    server->OnAnswerToClient = [&](TFtpServer*, TFtpCtrlSocket*, std::string& answer) {
        answers.push_back(answer);
        if (answer.rfind("500", 0) == 0) answer = "500 rewritten";
    };
    StartServer();
    auto probe = Connect();
    EXPECT_EQ(Ask(*probe, "NOOP x"), "200 Ok. Parameter was 'x'.");
    EXPECT_EQ(Ask(*probe, "BAD"), "500 rewritten");
    ASSERT_EQ(answers.size(), 2u);  // the greeting does not pass the reply path
    EXPECT_EQ(answers[1], "500 'BAD': command not understood.");
}

TEST_F(FtpServerTest, TheTableKnowsEveryCommandAndItsLoginRule)
{
    TFtpCtrlSocket* client = nullptr;
    server->OnClientConnect = [&](TFtpServer*, TFtpCtrlSocket* c, std::uint16_t) { client = c; };
    StartServer();
    auto probe = Connect();
    const std::vector<std::string> needLogin = {"PORT", "STOR", "RETR", "CWD",  "XPWD", "PWD",  "LIST", "NLST",
                                                "TYPE", "SYST", "DELE", "SIZE", "REST", "RNFR", "RNTO", "MKD",
                                                "RMD",  "PASV", "CDUP", "APPE", "XMKD", "XRMD", "MODE", "STOU"};
    const std::vector<std::string> noLogin = {"USER", "PASS", "ABOR", "MDTM"};
    for (const auto& keyword : needLogin) EXPECT_EQ(Ask(*probe, keyword + " x"), kLogin) << keyword;
    // Every keyword reaches its own handler: none is "not understood", and the ones that need
    // no login never ask for it.
    for (const auto& keyword : noLogin) {
        const std::string reply = Ask(*probe, keyword + " x");
        EXPECT_NE(reply, kLogin) << keyword;
        EXPECT_EQ(reply.find("command not understood"), std::string::npos) << keyword;
    }
    client->SetFtpState(ftpcReady);
    for (const auto& keyword : needLogin) {
        // A download or listing without a data connection answers "150" and then its failure
        // (after PASV, an upload's "150" waits for the client's data connection instead).
        const std::vector<std::string> replies = Exchange(*probe, keyword + " x\r\n");
        ASSERT_FALSE(replies.empty()) << keyword;
        const bool failsAfter150 = keyword == "RETR" || keyword == "LIST" || keyword == "NLST";
        if (failsAfter150 && replies.front().rfind("150", 0) == 0 && replies.size() < 2) Exchange(*probe, "", 1);
        const std::string& reply = replies.front();
        EXPECT_NE(reply, kLogin) << keyword;
        EXPECT_NE(reply, "500 '" + keyword + "': command not understood.") << keyword;
    }
    EXPECT_EQ(Ask(*probe, "NOOP"), "200 Ok. Parameter was ''.");
    EXPECT_EQ(Ask(*probe, "SITE x"), "500 'SITE': command not understood.");
    EXPECT_EQ(client->CurrentCommand(), ftpcNOOP);
}

TEST_F(FtpServerTest, TheTableIsFullAtConstruction)
{
    try {
        server->AddCommand("SITE", [](TFtpCtrlSocket*, std::string&, std::string&, std::string&) {});
        FAIL() << "a 33rd command was accepted";
    } catch (const FtpServerException& e) {
        EXPECT_STREQ(e.what(), "Too many command");
    }
}

namespace {

// A derived server replaces one handler; the table calls the replacement.
class EchoingServer : public TFtpServer {
protected:
    void CommandNOOP(TFtpCtrlSocket*, std::string& keyword, std::string& params, std::string& answer) override
    {
        answer = "200 derived " + keyword + " " + params;
    }
};

}  // namespace

TEST_F(FtpServerTest, ADerivedServerReplacesAHandler)
{
    server = std::make_unique<EchoingServer>();
    StartServer();
    auto probe = Connect();
    EXPECT_EQ(Ask(*probe, "noop x"), "200 derived NOOP x");
}

TEST_F(FtpServerTest, AnOverlongLineIsAnsweredAndTheConnectionCloses)
{
    std::vector<std::string> keywords;
    server->OnClientCommand = [&](TFtpServer*, TFtpCtrlSocket*, std::string& keyword, std::string&, std::string&) {
        keywords.push_back(keyword);
    };
    int disconnects = 0;
    server->OnClientDisconnect = [&](TFtpServer*, TFtpCtrlSocket*, std::uint16_t) { ++disconnects; };
    StartServer();
    // The longest line that fits: 8194 bytes and its line feed fill the buffer to RcvSize - 1.
    auto fits = Connect();
    EXPECT_EQ(Exchange(*fits, std::string(8194, 'A') + "\n").front(),
              "500 '" + std::string(8194, 'A') + "': command not understood.");
    EXPECT_FALSE(fits->closed);

    auto probe = Connect();
    probe->Send(std::string(8195, 'B'));
    ASSERT_TRUE(WaitFor([&] { return probe->closed; }));
    EXPECT_EQ(probe->received, "220 Tiv FTP Server ready.\r\n500 Command too long\r\n");
    ASSERT_TRUE(WaitFor([&] { return disconnects == 1; }));
    EXPECT_EQ(keywords.back(), "OVER");
    EXPECT_EQ(Ask(*fits, "NOOP"), "200 Ok. Parameter was ''.");
}

TEST_F(FtpServerTest, TheReceiveBufferSizeBoundsTheLine)
{
    std::vector<TFtpCtrlSocket*> clients;
    server->OnClientConnect = [&](TFtpServer*, TFtpCtrlSocket* client, std::uint16_t) {
        clients.push_back(client);
        client->SetRcvSize(clients.size() == 1 ? 10 : -5);
    };
    StartServer();
    auto small = Connect();
    EXPECT_EQ(Ask(*small, "NOOP 12"), "200 Ok. Parameter was '12'.");  // 9 bytes: room for RcvSize - 1
    EXPECT_EQ(Ask(*small, "NOOP 1234"), "500 Command too long");
    ASSERT_TRUE(WaitFor([&] { return small->closed; }));

    auto none = Connect();
    EXPECT_EQ(clients[1]->RcvSize(), 0);
    EXPECT_EQ(Ask(*none, "N"), "500 Command too long");
    ASSERT_TRUE(WaitFor([&] { return none->closed; }));
}

TEST_F(FtpServerTest, TheBufferSizeCannotChangeWhileItHoldsData)
{
    TFtpCtrlSocket* client = nullptr;
    server->OnClientConnect = [&](TFtpServer*, TFtpCtrlSocket* c, std::uint16_t) { client = c; };
    StartServer();
    auto probe = Connect();
    probe->Send("NOO");
    ASSERT_TRUE(WaitFor([&] { return client->RcvCnt() == 3; }));
    try {
        client->SetRcvSize(100);
        FAIL() << "the size changed under held data";
    } catch (const EFtpCtrlSocketException& e) {
        EXPECT_STREQ(e.what(), "Data in buffer, can't change size");
    }
    EXPECT_EQ(client->RcvSize(), 8196);
    EXPECT_EQ(Exchange(*probe, "P x\r\n").front(), "200 Ok. Parameter was 'x'.");
    client->SetRcvSize(100);
    EXPECT_EQ(client->RcvSize(), 100);
}
