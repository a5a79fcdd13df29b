// Who may connect and who may log in: the IP rules, the connection limits per account and per
// address, the home folder, and the counts that a login takes and a disconnect gives back.
#include <filesystem>

#include "core/session_table.h"
#include "session_fixture.h"

namespace corvane {
namespace {

using testing::FtpTestClient;
using namespace std::chrono_literals;

constexpr const char* kLoggedIn = "230 User bob logged in.";
constexpr const char* kLoginIncorrect = "530 Login incorrect.";

class SessionLimitsTest : public testing::SessionServerTest {
protected:
    void SetUp() override
    {
        StartUp();
        homeFolder = MakeFolder("Home");
        AddUser("bob", "secret", homeFolder);
    }

    int Count() { return accounts().GetConnectionCount("bob"); }
    int CountFrom(const std::string& address) { return accounts().GetIpConnectionCount("bob", address); }

    std::string homeFolder;
};

TEST_F(SessionLimitsTest, RefusedAddressReceivesOnlyTheRefusalAndLeavesNoTrace)
{
    accounts().IpRules().SetIpRuleMode(1);  // the rules name who is refused
    accounts().IpRules().AddIpRule("127.0.0.1");
    Listen();
    std::string refused;
    std::string refusedAfterCommands;
    std::string admittedGreeting;
    RunClient([&] {
        FtpTestClient client(port);
        refused = client.ReadUntilClosed();
        EXPECT_TRUE(client.ClosedByServer());
        // A refused client that talks at once is not heard either.
        FtpTestClient eager(port);
        eager.Send("USER bob\r\nPASS secret\r\nNOOP\r\n");
        refusedAfterCommands = eager.ReadUntilClosed();
        FtpTestClient other(port, "127.0.0.2");
        admittedGreeting = other.Reply();
        // The session view refreshes on its own time: the admitted client stays until it shows.
        for (int i = 0; i < 500 && view.mostRows.load() == 0; ++i) std::this_thread::sleep_for(10ms);
        other.Command("QUIT");
    });
    EXPECT_EQ(refused, "421 Connection not allowed from this IP.\r\n");
    EXPECT_EQ(refusedAfterCommands, "421 Connection not allowed from this IP.\r\n");
    EXPECT_EQ(admittedGreeting, "220 Brinvale Corvane FTP Service Ready");
    ASSERT_TRUE(Pump([this] { return controller->sessions().Count() == 0; }));
    EXPECT_EQ(view.mostRows.load(), 1u);  // only the admitted client ever had a row
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(CountFrom("127.0.0.1"), 0);
    StopAndFlushLog();
    EXPECT_EQ(view.CountContaining(" has been refused due to IP access rules (contact server admin for access)"), 2);
    EXPECT_EQ(view.CountContaining("< USER bob"), 0);
    EXPECT_EQ(view.CountContaining("> 421"), 0);  // written raw, not as an engine reply
}

TEST_F(SessionLimitsTest, SecondLoginOfAOneConnectionAccountIsRefusedUntilTheFirstQuits)
{
    accounts().SetMaxAccountConnections("bob", 1);
    Listen();
    FtpTestClient first(port);
    FtpTestClient second(port);
    std::string firstReply, secondReply;
    RunClient([&] {
        firstReply = first.Login("bob", "secret");
        secondReply = second.Login("bob", "secret");
    });
    EXPECT_EQ(firstReply, kLoggedIn);
    EXPECT_EQ(secondReply, kLoginIncorrect);  // the limit's own text reaches only the log
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(CountFrom("127.0.0.1"), 1);
    std::string retry;
    RunClient([&] {
        first.Command("QUIT");
        EXPECT_TRUE(first.ReadUntilClosed().empty());
        retry = second.LoginAgain("bob", "secret");
    });
    EXPECT_EQ(retry, kLoggedIn);
    EXPECT_EQ(Count(), 1);
    RunClient([&] { second.Command("QUIT"); });
    ASSERT_TRUE(Pump([this] { return controller->sessions().Count() == 0; }));
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(CountFrom("127.0.0.1"), 0);
    StopAndFlushLog();
    EXPECT_EQ(view.CountContaining(" User \"bob\" is rejected due to : 530 Maximum number of users for this "
                                   "account has been exceeded."),
              1);
    EXPECT_EQ(view.CountContaining(" User \"bob\" is authenticated"), 2);
}

TEST_F(SessionLimitsTest, PerAddressLimitRefusesTheSameAddressButNotAnother)
{
    accounts().SetMaxIpConnections("bob", 1);
    Listen();
    std::string first, sameAddress, otherAddress;
    RunClient([&] {
        FtpTestClient a(port);
        FtpTestClient b(port);
        FtpTestClient c(port, "127.0.0.2");
        first = a.Login("bob", "secret");
        sameAddress = b.Login("bob", "secret");
        otherAddress = c.Login("bob", "secret");
        EXPECT_EQ(Count(), 2);
        EXPECT_EQ(CountFrom("127.0.0.1"), 1);
        EXPECT_EQ(CountFrom("127.0.0.2"), 1);
    });
    EXPECT_EQ(first, kLoggedIn);
    EXPECT_EQ(sameAddress, kLoginIncorrect);
    EXPECT_EQ(otherAddress, kLoggedIn);
    ASSERT_TRUE(Pump([this] { return controller->sessions().Count() == 0; }));
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(CountFrom("127.0.0.1"), 0);
    EXPECT_EQ(CountFrom("127.0.0.2"), 0);
}

TEST_F(SessionLimitsTest, MissingHomeFolderRefusesTheLoginAndTakesNoCount)
{
    accounts().SetMaxAccountConnections("bob", 1);
    std::filesystem::remove_all(home.Join("drive_c/Home"));
    Listen();
    FtpTestClient client(port);
    std::string refused, afterHomeCame;
    RunClient([&] { refused = client.Login("bob", "secret"); });
    EXPECT_EQ(refused, kLoginIncorrect);
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(CountFrom("127.0.0.1"), 0);
    // The refusal gave the count back: with a limit of 1 the next login still gets in.
    MakeFolder("Home");
    RunClient([&] { afterHomeCame = client.LoginAgain("bob", "secret"); });
    EXPECT_EQ(afterHomeCame, kLoggedIn);
    EXPECT_EQ(Count(), 1);
    RunClient([&] { client.Command("QUIT"); });
    ASSERT_TRUE(Pump([this] { return Count() == 0; }));
    StopAndFlushLog();
    EXPECT_EQ(view.CountContaining(" User \"bob\" is rejected due to : 530 No home path exist for this account or its "
                                   "group; cannot log in."),
              1);
}

TEST_F(SessionLimitsTest, WrongPasswordAndUnknownUserTakeNoCount)
{
    Listen();
    std::string wrong, unknown;
    RunClient([&] {
        FtpTestClient client(port);
        wrong = client.Login("bob", "Secret");  // passwords compare with regard to case
        unknown = client.LoginAgain("nobody", "secret");
    });
    EXPECT_EQ(wrong, kLoginIncorrect);
    EXPECT_EQ(unknown, kLoginIncorrect);
    ASSERT_TRUE(Pump([this] { return controller->sessions().Count() == 0; }));
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(CountFrom("127.0.0.1"), 0);
    StopAndFlushLog();
    // A wrong password has no reason of its own: the line ends after the colon.
    bool lineEndsAtColon = false;
    for (const auto& line : view.lines) lineEndsAtColon |= line.ends_with(" User \"bob\" is rejected due to : ");
    EXPECT_TRUE(lineEndsAtColon);
}

TEST_F(SessionLimitsTest, LoggingInAgainOnOneConnectionHoldsOneCount)
{
    accounts().SetMaxAccountConnections("bob", 1);
    Listen();
    FtpTestClient client(port);
    std::string first, again, thirdTime;
    RunClient([&] {
        first = client.Login("bob", "secret");
        again = client.LoginAgain("bob", "secret");
        thirdTime = client.LoginAgain("bob", "secret");
    });
    EXPECT_EQ(first, kLoggedIn);
    EXPECT_EQ(again, kLoggedIn);
    EXPECT_EQ(thirdTime, kLoggedIn);
    EXPECT_EQ(Count(), 1);
    // A failed second login leaves the connection logged out and its count given back.
    std::string failed;
    RunClient([&] { failed = client.LoginAgain("bob", "wrong"); });
    EXPECT_EQ(failed, kLoginIncorrect);
    EXPECT_EQ(Count(), 0);
    RunClient([&] { client.Command("QUIT"); });
    ASSERT_TRUE(Pump([this] { return controller->sessions().Count() == 0; }));
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(CountFrom("127.0.0.1"), 0);
}

TEST_F(SessionLimitsTest, PasswordIsHiddenOnScreenInTheLogFileAndInTheSessionView)
{
    controller->applyLogSettings(true, true, "C:\\server.log");
    Listen();
    FtpTestClient client(port);
    RunClient([&] { client.Login("bob", "secret"); });
    const auto records = controller->sessions().Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records.front()->LastCommand(), "PASS ***");
    EXPECT_EQ(records.front()->LastAction(), saLoggedIn);
    EXPECT_EQ(records.front()->AccountName(), "bob");
    RunClient([&] { client.Command("SITE CHPWD newsecret"); });
    EXPECT_EQ(records.front()->LastCommand(), "SITE CHPWD ***");
    RunClient([&] {
        client.Command("site chpwd othersecret");
        client.Command("SITE CHPWDX shown");  // another word entirely
        client.Command("QUIT");
    });
    StopAndFlushLog();
    controller->applyLogSettings(true, false, "C:\\server.log");  // closes the file
    EXPECT_EQ(view.CountContaining("< PASS *** ["), 1);
    EXPECT_EQ(view.CountContaining("< SITE CHPWD *** ["), 1);
    EXPECT_EQ(view.CountContaining("< SITE chpwd *** ["), 1);
    EXPECT_EQ(view.CountContaining("< SITE CHPWDX shown ["), 1);
    EXPECT_EQ(view.CountContaining("secret"), 0);
    const std::string file = home.Get("drive_c/server.log");
    EXPECT_NE(file.find("< PASS *** ["), std::string::npos) << file;
    EXPECT_NE(file.find("< SITE CHPWD *** ["), std::string::npos) << file;
    EXPECT_EQ(file.find("secret"), std::string::npos);
}

}  // namespace
}  // namespace corvane

namespace corvane {
namespace {

TEST_F(SessionLimitsTest, OperatorDisconnectsAndAServiceStopGiveTheCountsBack)
{
    accounts().SetMaxAccountConnections("bob", 1);
    Listen();
    auto client = std::make_unique<FtpTestClient>(port);
    RunClient([&] { EXPECT_EQ(client->Login("bob", "secret"), kLoggedIn); });
    controller->disconnectAll();
    EXPECT_TRUE(Pump([this] { return Count() == 0 && controller->sessions().Count() == 0; }));
    client = std::make_unique<FtpTestClient>(port);
    RunClient([&] { EXPECT_EQ(client->Login("bob", "secret"), kLoggedIn); });
    EXPECT_EQ(Count(), 1);
    controller->stopServices(kServiceFtp);
    ASSERT_TRUE(Pump([this] { return !controller->ftpListening(); }));
    EXPECT_TRUE(Pump([this] { return Count() == 0 && controller->sessions().Count() == 0; }));
    EXPECT_EQ(CountFrom("127.0.0.1"), 0);
    Listen();
    client = std::make_unique<FtpTestClient>(port);
    RunClient([&] { EXPECT_EQ(client->Login("bob", "secret"), kLoggedIn); });
    RunClient([&] { client->Command("QUIT"); });
    EXPECT_TRUE(Pump([this] { return Count() == 0; }));
}

}  // namespace
}  // namespace corvane
