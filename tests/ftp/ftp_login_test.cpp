// Login and navigation over a real control connection: USER and PASS with the owner's answer,
// CWD and CDUP with the path rules and OnChangeDirectory, PWD, SYST, TYPE and MODE.
#include <gtest/gtest.h>

#include "ftp_server_fixture.h"

using namespace corvane;
using namespace corvane::testing;

namespace {

constexpr char kLogin[] = "530 Please login with USER and PASS.";

// A server whose owner accepts the password "secret" and sets the home folder.
class FtpLoginTest : public FtpServerTest {
protected:
    void SetUp() override
    {
        server->OnAuthenticate = [this](TFtpServer*, TFtpCtrlSocket* client, const std::string& user,
                                        const std::string& password, bool& ok, std::string& answer) {
            seenUser = user;
            ok = password == "secret";
            if (ok) client->SetHomeDirectory(home);
            answer = welcome;
        };
        server->OnChangeDirectory = [this](TFtpServer*, TFtpCtrlSocket*, const std::string& directory, bool& ok) {
            changes.push_back(directory);
            ok = directory.find("forbidden") == std::string::npos;
        };
        StartServer();
        probe = Connect();
    }

    void LogIn()
    {
        ASSERT_EQ(Ask(*probe, "USER bob"), "331 Password required for bob.");
        ASSERT_EQ(Ask(*probe, "PASS secret"), "230 User bob logged in.");
    }

    std::string home = "C:\\Home\\";
    std::string welcome;
    std::string seenUser;
    std::vector<std::string> changes;
    std::unique_ptr<FtpProbe> probe;
};

}  // namespace

TEST_F(FtpLoginTest, UserThenPassLogsInAtTheHomeFolder)
{
    EXPECT_EQ(Ask(*probe, "PWD"), kLogin);
    EXPECT_EQ(Ask(*probe, "PASS secret"), "503 Login with USER first.");
    EXPECT_EQ(Ask(*probe, "USER   bob  "), "331 Password required for bob.");
    EXPECT_EQ(seenUser, "");
    EXPECT_EQ(Ask(*probe, "PASS  secret "), "230 User bob logged in.");
    EXPECT_EQ(seenUser, "bob");
    EXPECT_EQ(Ask(*probe, "PWD"), "257 \"/C:/Home/\" is current directory.");
    EXPECT_EQ(Ask(*probe, "XPWD"), "257 \"/C:/Home/\" is current directory.");
    // A second PASS after the login is out of order.
    EXPECT_EQ(Ask(*probe, "PASS secret"), "503 Login with USER first.");
}

TEST_F(FtpLoginTest, RefusedLoginAnswersLoginIncorrectWhateverTheOwnerSaid)
{
    welcome = "530 limits say no\r\n";
    ASSERT_EQ(Ask(*probe, "USER bob"), "331 Password required for bob.");
    EXPECT_EQ(Ask(*probe, "PASS wrong"), "530 Login incorrect.");
    EXPECT_EQ(Ask(*probe, "PWD"), kLogin);
    EXPECT_EQ(Ask(*probe, "PASS secret"), "503 Login with USER first.");
}

TEST_F(FtpLoginTest, WelcomeLinesComeBeforeTheFinalLine)
{
    welcome = "230-a\r\n230-b\r\n";
    ASSERT_EQ(Ask(*probe, "USER bob"), "331 Password required for bob.");
    const std::vector<std::string> reply = Exchange(*probe, "PASS secret\r\n", 3);
    EXPECT_EQ(reply, (std::vector<std::string>{"230-a", "230-b", "230 User bob logged in."}));
}

TEST_F(FtpLoginTest, UserAgainLogsOutButKeepsTheFolder)
{
    LogIn();
    ASSERT_EQ(Ask(*probe, "CWD sub").rfind("250 ", 0), 0u);
    EXPECT_EQ(Ask(*probe, "USER alice"), "331 Password required for alice.");
    EXPECT_EQ(Ask(*probe, "PWD"), kLogin);
    EXPECT_EQ(Ask(*probe, "PASS secret"), "230 User alice logged in.");
    EXPECT_EQ(Ask(*probe, "PWD"), "257 \"/C:/Home/\" is current directory.");
}

TEST_F(FtpLoginTest, ChangeDirectoryFollowsThePathRulesAndTheOwner)
{
    LogIn();
    EXPECT_EQ(Ask(*probe, "CWD sub"), "250 CWD command successful. \"C:/Home/sub/\" is current directory.");
    EXPECT_EQ(Ask(*probe, "CDUP ignored"), "250 CWD command successful. \"C:/Home/\" is current directory.");
    EXPECT_EQ(Ask(*probe, "CWD /pub"), "250 CWD command successful. \"C:/pub/\" is current directory.");
    EXPECT_EQ(Ask(*probe, "CWD /C:/Data"), "250 CWD command successful. \"C:/Data/\" is current directory.");
    EXPECT_EQ(Ask(*probe, "CWD ../x"), "501 CWD failed. Cannot accept relative path using dot notation");
    EXPECT_EQ(Ask(*probe, "CWD D:sub"), "501 CWD failed. Cannot accept path not relative to current directory");
    EXPECT_EQ(Ask(*probe, "CWD \\\\server\\share"), "501 CWD failed. Cannot accept UNC path");
    EXPECT_EQ(Ask(*probe, "CWD forbidden"), "501 CWD failed. No permission");
    // Every refusal left the folder where it was.
    EXPECT_EQ(Ask(*probe, "PWD"), "257 \"/C:/Data/\" is current directory.");
    EXPECT_EQ(Ask(*probe, "CWD D:"), "250 CWD command successful. \"D:/\" is current directory.");
    EXPECT_EQ(changes.back(), "D:\\");
}

TEST_F(FtpLoginTest, SystTypeAndModeAnswers)
{
    EXPECT_EQ(Ask(*probe, "SYST"), kLogin);
    EXPECT_EQ(Ask(*probe, "STRU F"), "200 Ok. STRU parameter 'F' ignored.");
    LogIn();
    EXPECT_EQ(Ask(*probe, "SYST"), "215 UNIX Type: Brinvale Corvane (Tiv)");
    EXPECT_EQ(Ask(*probe, "TYPE i"), "200 Type set to i.");
    EXPECT_EQ(Ask(*probe, "TYPE a n"), "200 Type set to a n.");
    EXPECT_EQ(Ask(*probe, "TYPE E"), "500 'TYPE E': command not understood.");
    EXPECT_EQ(Ask(*probe, "MODE S"), "200 MODE Ok");
    EXPECT_EQ(Ask(*probe, "MODE s"), "200 MODE Ok");
    EXPECT_EQ(Ask(*probe, "MODE B"), "502 MODE other than S not supported");
    EXPECT_EQ(Ask(*probe, "MODE"), "501 Missing argument for MODE");
}
