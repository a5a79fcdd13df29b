// The SITE extensions seen from a real client, over an index that the server's own indexer
// built: recognition with and without SITE, the login gate, each reply, the search-results
// folder, the password change and the web-link handshake.
#include <gtest/gtest.h>

#include "common/md5.h"
#include "core/ftp_session_policy.h"
#include "p2p/local_search.h"
#include "session_fixture.h"

namespace corvane {
namespace {

using testing::FtpTestClient;

constexpr const char* kNotIndexed = "456 File has not been indexed yet, please try again later.";
constexpr const char* kIllegalArgument = "556 Illegal MD5 argument file (file resource does not exist).";

// dave's home C:\Pub\ is shared with Anonymous too, so the indexer digests its files; C:\Pub\Link
// carries a web link, and C:\Secret\ is indexed but dave has no rights there.
class SiteExtensionsTest : public testing::SessionServerTest {
protected:
    void SetUp() override
    {
        StartUp("ServerDesiredButNoP2PSharingMode=0\r\nMD5IndexingEnabled=1\r\nWebLinkRequired=1\r\n");
        const std::string pub = MakeFolder("Pub");
        PutFile("Pub\\song.mp3", "la la la");
        PutFile("Pub\\music notes.txt", "do re mi");
        PutFile("Pub\\Link\\linked.bin", "linked");
        PutFile("Secret\\secret.mp3", "hush");
        ASSERT_TRUE(accounts().AddUser("Anonymous", "", "All Others"));
        Grant("Anonymous", pub, "glci");
        Grant("Anonymous", MakeFolder("Secret"), "glci");
        AddUser("dave", "pw", pub, "glci");
        Grant("dave", MakeFolder("Pub\\Link"), "glc");
        accounts().Folders().SetFolderWebLink("dave", "C:\\Pub\\Link\\", "http://0.0.0.0:8080/files/");
        Listen();
        ASSERT_TRUE(Pump([this] { return view.CountContaining("FTP Local Indexing Complete.") == 1; }));
        client = std::make_unique<FtpTestClient>(port);
        RunClient([this] { client->Login("dave", "pw"); });
    }
    void TearDown() override
    {
        if (client) RunClient([this] { client->Command("QUIT"); });
        client.reset();
    }
    std::string Command(const std::string& line, FtpTestClient* who = nullptr)
    {
        std::string reply;
        RunClient([&] { reply = (who ? who : client.get())->Command(line); });
        return reply;
    }
    std::string Retrieve(const std::string& command, std::string& data)
    {
        std::string reply;
        RunClient([&] { reply = client->Retrieve(command, data); });
        return reply;
    }

    std::unique_ptr<FtpTestClient> client;
};

TEST_F(SiteExtensionsTest, EveryExtensionWantsALogin)
{
    FtpTestClient stranger(port);
    RunClient([&] { stranger.Reply(); });
    for (const char* line : {"SITE SRCH x", "SRCH x", "SITE SRCHMODE 1", "MD5S", "SITE MD5 /C:/Pub/song.mp3",
                             "SITE CHPWD new", "SITE WEBL"})
        EXPECT_EQ(Command(line, &stranger), "530 Please login with USER and PASS.") << line;
    // Other SITE words are ordinary commands, asked of the engine's table.
    EXPECT_EQ(Command("SITE FOO", &stranger), "500 'FOO': command not understood.");
}

TEST_F(SiteExtensionsTest, SearchModeIsTestedAsText)
{
    const struct {
        const char* line;
        const char* reply;
    } cases[] = {
        {"SITE SRCHMODE 1", "255 Search mode set."},      {"SITE SRCHMODE 0", "255 Search mode set."},
        {"SITE SRCHMODE 05", "255 Search mode set."},     {"SRCHMODE 1", "255 Search mode set."},
        {"site srchmode 0", "255 Search mode set."},      {"SITE SRCHMODE 2", "555 Invalid search mode."},
        {"SITE SRCHMODE 10", "555 Invalid search mode."}, {"SITE SRCHMODE -0", "555 Invalid search mode."},
        {"SITE SRCHMODE 1x", "555 Invalid search mode."}, {"SITE SRCHMODE 99999999999", "555 Invalid search mode."},
        {"SITE SRCHMODE", "555 Invalid search mode."},
    };
    for (const auto& c : cases) EXPECT_EQ(Command(c.line), c.reply) << c.line;
}

TEST_F(SiteExtensionsTest, SearchResultsAreListedInTheSearchResultsFolder)
{
    EXPECT_EQ(Command("SITE SRCH mp3"), "252 Query has been processed.");
    EXPECT_EQ(Command("CWD /C:/<DravikSearchResults>").substr(0, 3), "250");
    std::string listing;
    EXPECT_EQ(Retrieve("LIST", listing).substr(0, 3), "226");
    // C:\Secret\secret.mp3 is indexed, but dave may not look there.
    EXPECT_EQ(listing, "-r--r--r--   1 ftp      ftp             8 " + listing.substr(42, 12) + " /C:/Pub/song.mp3\r\n");
    // Mode 0 wants every term; a quoted run is one term.
    EXPECT_EQ(Command("SRCH \"music notes\" txt"), "252 Query has been processed.");
    Retrieve("LIST", listing);
    EXPECT_NE(listing.find(" /C:/Pub/music notes.txt\r\n"), std::string::npos) << listing;
    EXPECT_EQ(Command("SITE SRCHMODE 05"), "255 Search mode set.");  // mode 5 searches nothing
    EXPECT_EQ(Command("SITE SRCH nothing-matches"), "252 Query has been processed.");
    Retrieve("LIST", listing);
    EXPECT_NE(listing.find("music notes.txt"), std::string::npos);  // the earlier results stay
    EXPECT_EQ(Command("SITE SRCHMODE 0"), "255 Search mode set.");
    EXPECT_EQ(Command("SITE SRCH"), "252 Query has been processed.");
    EXPECT_EQ(Retrieve("LIST", listing).substr(0, 3), "226");
    EXPECT_EQ(listing, "\r\n");
}

TEST_F(SiteExtensionsTest, ASearchListingCalledOffIsNotSentAsTheNextDownload)
{
    EXPECT_EQ(Command("SITE SRCH mp3"), "252 Query has been processed.");
    EXPECT_EQ(Command("CWD /C:/<DravikSearchResults>").substr(0, 3), "250");
    // ABOR before the client reaches the listener: the listing never starts.
    EXPECT_EQ(Command("PASV").substr(0, 3), "227");
    std::vector<std::string> replies;
    RunClient([&] {
        client->Send("LIST\r\nABOR\r\n");
        for (int i = 0; i < 3; ++i) replies.push_back(client->Reply());
    });
    EXPECT_EQ(replies,
              (std::vector<std::string>{"150 Opening data connection for directory list.",
                                        "501 Cannot RETR. ABORT requested by client", "225 ABOR command successful."}));
    EXPECT_EQ(Command("CWD /C:/Pub").substr(0, 3), "250");
    std::string data;
    EXPECT_EQ(Retrieve("RETR song.mp3", data).substr(0, 3), "226");
    EXPECT_EQ(data, "la la la");
}

TEST_F(SiteExtensionsTest, DigestsAreThoseOfTheIndexForFilesTheAccountMayDownload)
{
    const std::string digest = Md5HexUpperOf("la la la");
    EXPECT_EQ(Command("SITE MD5S"), "260 MD5 hashing supported");
    EXPECT_EQ(Command("MD5S"), "260 MD5 hashing supported");
    EXPECT_EQ(Command("SITE MD5S x"), "500 'MD5S': command not understood.");
    const struct {
        const char* line;
        std::string reply;
    } cases[] = {
        {"SITE MD5 /C:/Pub/song.mp3", "256 " + digest},
        {"MD5 /c:/Pub/song.mp3", "256 " + digest},
        {"SITE MD5 song.mp3", "256 " + digest},  // relative to the current folder C:\Pub
        {"SITE MD5 /C:/Pub/SONG.MP3", kNotIndexed},
        {"SITE MD5 /C:/Pub/Link", kNotIndexed},  // a folder has no digest
        {"SITE MD5 /C:/Secret/secret.mp3", kNotIndexed},
        {"SITE MD5 /C:/Pub/none.bin", kNotIndexed},
        {"SITE MD5 /C:/Pub/Link/../song.mp3", kIllegalArgument},
        {"SITE MD5", kIllegalArgument},
    };
    for (const auto& c : cases) EXPECT_EQ(Command(c.line), c.reply) << c.line;
}

TEST_F(SiteExtensionsTest, ThePasswordChangesForAccountsThatHaveOne)
{
    EXPECT_EQ(Command("SITE CHPWD s3cret"), "258 Password has been changed.");
    EXPECT_EQ(Command("CHPWD other"), "500 'CHPWD': command not understood.");
    FtpTestClient again(port);
    std::string reply;
    RunClient([&] { reply = again.Login("dave", "s3cret"); });
    EXPECT_EQ(reply.substr(0, 3), "230");
    FtpTestClient anonymous(port);
    RunClient([&] { anonymous.Login("anonymous", "me@example.org"); });
    EXPECT_EQ(Command("SITE CHPWD mine", &anonymous), "558 Password cannot be changed.");
    // The log never shows the new password.
    StopAndFlushLog();
    EXPECT_EQ(view.CountContaining("s3cret"), 0);
}

TEST_F(SiteExtensionsTest, DownloadsFromALinkedFolderWaitForTheWebLinkAfterEachChangeOfFolder)
{
    std::string data;
    EXPECT_EQ(Command("SITE WEBL"), "256 :");
    EXPECT_EQ(Command("CWD Link").substr(0, 3), "250");
    EXPECT_EQ(Retrieve("RETR linked.bin", data), "500 Cannot RETR.");
    const std::string link = Command("SITE WEBL");
    EXPECT_EQ(link.rfind("256 http://", 0), 0u) << link;
    EXPECT_EQ(link.find("0.0.0.0"), std::string::npos) << link;
    EXPECT_EQ(link.substr(link.size() - 12), ":8080/files/");
    EXPECT_EQ(Retrieve("RETR linked.bin", data).substr(0, 3), "226");
    EXPECT_EQ(data, "linked");
    EXPECT_EQ(Command("CWD /").substr(0, 3), "250");
    EXPECT_EQ(Command("CWD Link").substr(0, 3), "250");
    EXPECT_EQ(Retrieve("RETR linked.bin", data), "500 Cannot RETR.");
}

TEST_F(SiteExtensionsTest, OtherSiteWordsRunAsTheCommandWithItsOwnRights)
{
    EXPECT_EQ(Command("SITE DELE song.mp3").substr(0, 3), "550");
    EXPECT_TRUE(HostExists("Pub\\song.mp3"));
    Grant("dave", "C:\\Pub\\", "d");
    EXPECT_EQ(Command("SITE DELE /song.mp3").substr(0, 3), "250");
    EXPECT_FALSE(HostExists("Pub\\song.mp3"));
    EXPECT_EQ(Command("SITE dele x"), "500 'dele': command not understood.");
    EXPECT_EQ(Command("SITE").substr(0, 4), "500 ");
}

// MLSD in the search-results folder: each result line as machine-listing facts, whatever its
// path holds and however long its size is.
TEST(MachineSearchResults, EachResultLineBecomesItsTypeSizeAndPath)
{
    const std::string zeros(32, '0');
    const std::pair<std::string, std::string> cases[] = {
        {"/C:/Music/a b.mp3?1000?Mar 07 14:05?-?" + zeros, "type=file;size=1000; /C:/Music/a b.mp3\r\n"},
        {"/C:/Old  Folder?0?Jan 02  2019?d?" + zeros, "type=dir; /C:/Old  Folder\r\n"},
        {"/C:/huge.iso?123456789012345?Mar 07 14:05?-?" + zeros, "type=file;size=123456789012345; /C:/huge.iso\r\n"},
    };
    for (const auto& [searchLine, machineLine] : cases)
        EXPECT_EQ(MachineSearchResultLine(SearchResultListingLine(searchLine)), machineLine) << searchLine;
    EXPECT_EQ(MachineSearchResultLine("not a listing line"), "");
}

}  // namespace
}  // namespace corvane
