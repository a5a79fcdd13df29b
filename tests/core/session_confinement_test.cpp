// Where a user may go and what a user may touch: uploads decided on the folder of the file,
// folder removal on the parent of the folder, listings kept inside the home folder and shown
// only where the account may look, "/" as the home folder, the after-login text, and the
// action that each decision records in the session table.
#include <algorithm>
#include <filesystem>

#include "core/session_table.h"
#include "session_fixture.h"

namespace corvane {
namespace {

using testing::FtpTestClient;

bool Has(const std::vector<std::string>& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// carol's home C:\Home\ may do everything, also below it; Drop is upload-only, ReadOnly may be
// read and entered only. Above the home lie C:\Private\ and C:\Other\dir\ (no rights) and a
// file in the drive's root.
class SessionConfinementTest : public testing::SessionServerTest {
protected:
    void SetUp() override
    {
        StartUp(extraSettings);
        const std::string homeFolder = MakeFolder("Home");
        AddUser("carol", "pw", homeFolder, "gplcmdri");
        Grant("carol", MakeFolder("Home\\Drop"), "p");
        Grant("carol", MakeFolder("Home\\ReadOnly"), "glc");
        MakeFolder("Home\\Sub\\old");
        MakeFolder("Private");
        MakeFolder("Other\\dir");
        PutFile("Home\\h.txt", "home file");
        PutFile("Home\\Sub\\inner.txt", "inner");
        PutFile("Home\\Drop\\dropped.txt", "not to be seen");
        PutFile("Home\\ReadOnly\\r.txt", "r");
        PutFile("Private\\secret.txt", "secret");
        PutFile("rootfile.txt", "root");
        Listen();
        client = std::make_unique<FtpTestClient>(port);
        RunClient([this] { loginReply = client->Login("carol", "pw"); });
    }
    void TearDown() override
    {
        if (client) RunClient([this] { client->Command("QUIT"); });
        client.reset();
    }

    std::string Command(const std::string& line)
    {
        std::string reply;
        RunClient([&] { reply = client->Command(line); });
        return reply;
    }
    // The names a listing command shows (its final reply in `reply`).
    std::vector<std::string> List(const std::string& command, std::string* reply = nullptr)
    {
        std::string data, final;
        RunClient([&] { final = client->Retrieve(command, data); });
        EXPECT_EQ(final.rfind("226", 0), 0u) << command << ": " << final;
        if (reply) *reply = final;
        return FtpTestClient::Names(data);
    }
    std::string Store(const std::string& command, const std::string& data)
    {
        std::string reply;
        RunClient([&] { reply = client->Store(command, data); });
        return reply;
    }
    SessionRecordPtr Record() { return controller->sessions().Records().front(); }

    std::string extraSettings;
    std::string loginReply;
    std::unique_ptr<FtpTestClient> client;
};

TEST_F(SessionConfinementTest, UploadIsDecidedOnTheFolderOfTheFile)
{
    EXPECT_EQ(Store("STOR ../Private/x.txt", "outside"), "501 Permission Denied");
    EXPECT_FALSE(HostExists("Private\\x.txt"));
    EXPECT_EQ(Store("STOR /C:/Home/../Private/y.txt", "outside"), "501 Permission Denied");
    EXPECT_FALSE(HostExists("Private\\y.txt"));
    ASSERT_EQ(Command("CWD ReadOnly").rfind("250", 0), 0u);
    EXPECT_EQ(Store("STOR here.txt", "no put here"), "501 Permission Denied");
    EXPECT_FALSE(HostExists("Home\\ReadOnly\\here.txt"));
    // The current folder may not take uploads, but the file's folder may.
    EXPECT_EQ(Store("STOR ../Drop/up.txt", "dropped").rfind("226", 0), 0u);
    EXPECT_EQ(home.Get("drive_c/Home/Drop/up.txt"), "dropped");
    EXPECT_EQ(Store("STOR /Drop/rooted.txt", "rooted").rfind("226", 0), 0u);
    EXPECT_EQ(home.Get("drive_c/Home/Drop/rooted.txt"), "rooted");
}

TEST_F(SessionConfinementTest, EveryOtherFileOperationIsDecidedOnTheFolderItTouches)
{
    EXPECT_EQ(Store("APPE ../Private/secret.txt", "more"), "500 Cannot APPE.");
    EXPECT_EQ(home.Get("drive_c/Private/secret.txt"), "secret");
    EXPECT_NE(Command("MKD ../Private/made").rfind("257", 0), 0u);
    EXPECT_FALSE(HostExists("Private\\made"));
    EXPECT_NE(Command("DELE ../Private/secret.txt").rfind("250", 0), 0u);
    EXPECT_NE(Command("RNFR ../Private/secret.txt").rfind("350", 0), 0u);
    // Without a name there is nothing to decide on: not even the home's own folder is asked.
    EXPECT_EQ(Command("RNFR"), "501 Syntax error is parameter.");
    std::string data;
    std::string reply;
    RunClient([&] { reply = client->Retrieve("RETR ../Private/secret.txt", data); });
    EXPECT_EQ(reply, "500 Cannot RETR.");
    EXPECT_TRUE(data.empty());
    // A file of the home may not be renamed into a folder without the right.
    ASSERT_EQ(Command("RNFR h.txt").rfind("350", 0), 0u);
    EXPECT_NE(Command("RNTO ../Private/h.txt").rfind("250", 0), 0u);
    EXPECT_TRUE(HostExists("Home\\h.txt"));
    EXPECT_FALSE(HostExists("Private\\h.txt"));
    EXPECT_TRUE(HostExists("Private\\secret.txt"));
}

// SIZE and MDTM tell what a listing line would: nothing of a file the account may not read or
// list, and MDTM, which asks no login, nothing at all before one.
TEST_F(SessionConfinementTest, SizesAndDatesOnlyOfFilesTheAccountMaySee)
{
    EXPECT_EQ(Command("SIZE h.txt"), "213 9");
    EXPECT_EQ(Command("MDTM h.txt").rfind("213 ", 0), 0u);
    EXPECT_EQ(Command("SIZE ../Private/secret.txt"), "501 Permission Denied");
    EXPECT_EQ(Command("MDTM ../Private/secret.txt"),
              "550 'C:\\Home\\..\\Private\\secret.txt': no such file or directory.");
    EXPECT_EQ(Command("SIZE Drop/dropped.txt"), "501 Permission Denied");  // upload-only
    EXPECT_EQ(Command("SIZE ReadOnly/r.txt"), "213 1");
    std::string before;
    RunClient([&] {
        FtpTestClient stranger(port);
        stranger.Reply();
        before = stranger.Command("MDTM /C:/Home/h.txt");
        stranger.Command("QUIT");
    });
    EXPECT_EQ(before, "550 'C:\\Home\\h.txt': no such file or directory.");
}

TEST_F(SessionConfinementTest, FolderRemovalIsDecidedOnTheParent)
{
    EXPECT_NE(Command("RMD /C:/Other/dir").rfind("250", 0), 0u);
    EXPECT_TRUE(HostExists("Other\\dir"));
    EXPECT_NE(Command("RMD ../Other/dir").rfind("250", 0), 0u);
    EXPECT_TRUE(HostExists("Other\\dir"));
    // From a folder without the right, a folder whose parent has it may go.
    ASSERT_EQ(Command("CWD ReadOnly").rfind("250", 0), 0u);
    EXPECT_EQ(Command("RMD ../Sub/old").rfind("250", 0), 0u);
    EXPECT_FALSE(HostExists("Home\\Sub\\old"));
    EXPECT_EQ(Record()->LastAction(), saDirectoryRemoved);
}

TEST_F(SessionConfinementTest, ListingNeverShowsWhatLiesAboveTheHome)
{
    // Above the home only the way down to it shows; beside it the home stands in.
    const std::pair<std::string, bool> listings[] = {
        {"LIST C:\\Home\\..\\..\\", true}, {"LIST /C:/Home/../../", true}, {"LIST \\", true},
        {"NLST ..", true},                   {"LIST -la /C:/", true},        {"LIST /C:/Private", false},
        {"LIST ../Private", false}};
    for (const auto& [command, above] : listings) {
        const std::vector<std::string> names = List(command);
        EXPECT_FALSE(Has(names, "rootfile.txt")) << command;
        EXPECT_FALSE(Has(names, "secret.txt")) << command;
        EXPECT_FALSE(Has(names, "Private")) << command;
        EXPECT_EQ(Has(names, "Home"), above) << command;
        EXPECT_EQ(Has(names, "h.txt"), !above) << command;
    }
    EXPECT_EQ(Record()->LastAction(), saDirectoryListed);
}

TEST_F(SessionConfinementTest, FolderWithoutListAndChangeRightsListsEmpty)
{
    std::string reply;
    EXPECT_TRUE(List("LIST Drop", &reply).empty());
    EXPECT_EQ(reply, "226 File sent ok");
    EXPECT_TRUE(List("NLST Drop/").empty());
    EXPECT_TRUE(List("LIST /Drop").empty());
    EXPECT_TRUE(List("LIST Drop/*.txt").empty());
    EXPECT_TRUE(List("LIST Drop/dropped.txt").empty());
    // A folder with both rights shows what it holds.
    EXPECT_TRUE(Has(List("LIST ReadOnly"), "r.txt"));
}

TEST_F(SessionConfinementTest, OptionWordsAreNotNamesAndRelativeNamesStartAtTheCurrentFolder)
{
    ASSERT_EQ(Command("CWD Sub").rfind("250", 0), 0u);
    std::vector<std::string> names = List("LIST -la");
    EXPECT_TRUE(Has(names, "inner.txt"));
    EXPECT_FALSE(Has(names, "h.txt"));
    EXPECT_TRUE(Has(List("LIST"), "inner.txt"));
    EXPECT_TRUE(Has(List("LIST -l -a"), "inner.txt"));
    ASSERT_EQ(Command("CWD ..").rfind("250", 0), 0u);
    names = List("LIST -a Sub");
    EXPECT_TRUE(Has(names, "inner.txt"));
    EXPECT_FALSE(Has(names, "h.txt"));
    EXPECT_TRUE(Has(List("LIST Sub"), "inner.txt"));
    EXPECT_TRUE(Has(List("NLST Sub"), "inner.txt"));
    // A pattern and a single file list only what they name.
    EXPECT_EQ(List("LIST *.txt"), std::vector<std::string>{"h.txt"});
    EXPECT_EQ(List("LIST Sub/inner.txt"), std::vector<std::string>{"inner.txt"});
}

TEST_F(SessionConfinementTest, RootedPathsStartAtTheHomeFolder)
{
    EXPECT_EQ(Command("CWD /Sub"), "250 CWD command successful. \"C:/Home/Sub/\" is current directory.");
    EXPECT_EQ(Record()->CurrentPath(), "C:\\Home\\Sub\\");
    EXPECT_EQ(Record()->LastAction(), saDirectoryChanged);
    EXPECT_EQ(Command("CWD /"), "250 CWD command successful. \"C:/Home/\" is current directory.");
    std::string data, reply;
    RunClient([&] { reply = client->Retrieve("RETR /Sub/inner.txt", data); });
    EXPECT_EQ(reply, "226 File sent ok");
    EXPECT_EQ(data, "inner");
    // A folder above the home cannot be entered by name, and nothing is shown there.
    EXPECT_NE(Command("CWD /C:/Private").rfind("250", 0), 0u);
    EXPECT_EQ(Command("RETR /C:/Private/secret.txt").rfind("500", 0), 0u);
    // Behind a listing's option words too.
    ASSERT_EQ(Command("CWD /Sub"), "250 CWD command successful. \"C:/Home/Sub/\" is current directory.");
    EXPECT_TRUE(Has(List("LIST -la /"), "h.txt"));
    EXPECT_TRUE(Has(List("LIST -a -l /Sub"), "inner.txt"));
    StopAndFlushLog();
    EXPECT_EQ(view.CountContaining("< CWD /Sub ["), 2);  // the log shows what the client sent
}

TEST_F(SessionConfinementTest, EachDecisionRecordsItsAction)
{
    const auto actionAfter = [this](const std::function<std::string()>& step) {
        std::string reply;
        RunClient([&] { reply = step(); });
        return std::make_pair(reply.substr(0, 3), Record()->LastAction());
    };
    using Result = std::pair<std::string, std::int32_t>;
    EXPECT_EQ(Record()->LastAction(), saLoggedIn);
    EXPECT_EQ(actionAfter([&] { return client->Command("MKD made"); }), Result("257", saDirectoryMade));
    EXPECT_EQ(actionAfter([&] { return client->Command("CWD made"); }), Result("250", saDirectoryChanged));
    EXPECT_EQ(actionAfter([&] { return client->Store("STOR f.txt", "f"); }), Result("226", saUploadAllowed));
    std::string data;
    EXPECT_EQ(actionAfter([&] { return client->Retrieve("RETR f.txt", data); }), Result("226", saDownloadAllowed));
    EXPECT_EQ(actionAfter([&] { return client->Retrieve("LIST", data); }), Result("226", saDirectoryListed));
    EXPECT_EQ(actionAfter([&] { return client->Command("RNFR f.txt"); }), Result("350", saRename));
    EXPECT_EQ(actionAfter([&] { return client->Command("CWD .."); }), Result("250", saDirectoryChanged));
    EXPECT_EQ(actionAfter([&] { return client->Command("RNFR made/f.txt"); }), Result("350", saRename));
    EXPECT_EQ(actionAfter([&] { return client->Command("RNTO made/g.txt"); }).second, saRename);
    EXPECT_EQ(actionAfter([&] { return client->Command("DELE made/g.txt"); }).second, saFileDeleted);
    EXPECT_EQ(actionAfter([&] { return client->Command("RMD made"); }), Result("250", saDirectoryRemoved));
    EXPECT_EQ(Record()->AccountName(), "carol");
    EXPECT_EQ(Record()->CurrentPath(), "C:\\Home\\");
    // A refused check records nothing.
    EXPECT_EQ(actionAfter([&] { return client->Command("DELE ../Private/secret.txt"); }).second, saDirectoryRemoved);
    EXPECT_TRUE(HostExists("Private\\secret.txt"));
}

class AfterLoginTextTest : public SessionConfinementTest {
protected:
    AfterLoginTextTest()
    {
        extraSettings = "AfterLoginMessage=1\r\nAfterLoginMessageFilePath=C:\\welcome.txt\r\n";
        PutFile("welcome.txt", "a\r\nb\r\n");
    }
};

TEST_F(AfterLoginTextTest, FileLinesPrecedeTheLoginReply)
{
    EXPECT_EQ(loginReply, "230-a\n230-b\n230 User carol logged in.");
}

}  // namespace
}  // namespace corvane
