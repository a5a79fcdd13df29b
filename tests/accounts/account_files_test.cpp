#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "accounts/account_names.h"
#include "accounts/store_fixture.h"

namespace corvane {
namespace {

using AccountFiles = AccountStoreTest;

ino_t InodeOf(const std::filesystem::path& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

TEST_F(AccountFiles, SaveAndLoadKeepAccountsPropertiesPasswordsAndFolders)
{
    store_->LoadAccounts(IniImage());
    ASSERT_TRUE(store_->AddGroup("Staff"));
    // Leading and trailing bytes 0xDF and above: their complements are blanks.
    const std::string password = "\xDF p\xFF w \xE0";
    ASSERT_TRUE(store_->AddUser("jo", password, "Staff"));
    store_->Folders().GrantFlag("jo", "C:\\Pub\\", FolderFlag::get);
    store_->Folders().GrantFlag("jo", "C:\\Pub\\", FolderFlag::inherit);
    store_->Folders().SetFolderWebLink("jo", "C:\\Pub\\", "http://pub/");
    store_->SetUdRatio("jo", 0.25f);
    store_->SetMaxIpConnections("jo", 3);
    store_->SetIdleTimeout("Staff", 120);
    store_->IpRules().SetIpRuleMode(0);
    store_->IpRules().AddIpRule("10.0.0.x");
    store_->IpRules().SetReverseDnsCheck(true);
    IniImage settings;
    ASSERT_TRUE(store_->SaveAccounts(settings));
    EXPECT_FALSE(store_->FindUser("jo"));
    EXPECT_EQ(ReadHomeFile("user - jo.kcf"), "g------iC:\\Pub\\*http://pub/\r\n");

    auto again = MakeStore();
    again->LoadAccounts(settings);
    EXPECT_TRUE(again->Authenticate("jo", password));
    EXPECT_EQ(again->GetUserGroup("jo"), "Staff");
    EXPECT_FLOAT_EQ(again->GetUdRatio("jo"), 0.25f);
    EXPECT_EQ(again->GetMaxIpConnections("jo"), 3);
    EXPECT_EQ(again->GetIdleTimeout("Staff"), 120);
    EXPECT_EQ(again->Folders().GetHomeFolder("jo"), "C:\\Pub\\");
    EXPECT_EQ(again->Folders().ListFolders("jo"), std::vector<std::string>{"C:\\Pub\\"});
    EXPECT_TRUE(again->Folders().GetInheritFlag("jo", "C:\\Pub"));
    EXPECT_EQ(again->IpRules().GetIpRuleMode(), 0);
    EXPECT_EQ(again->IpRules().ListIpRules(), std::vector<std::string>{"10.0.0.x"});
    EXPECT_TRUE(again->IpRules().GetReverseDnsCheck());
    EXPECT_TRUE(again->FindGroup("All Others"));
}

TEST_F(AccountFiles, TheFileLayoutIsTheSystemsAndNameListsMoveToTheEnd)
{
    WriteHomeFile("usersgroups.ini", "[Usernames]\r\nUserCount=1\r\nUser0=jo\r\n\r\n[jo]\r\nPassword=\x9E\x9D\x9C\r\n");
    store_->LoadAccounts(IniImage());
    EXPECT_TRUE(store_->Authenticate("jo", "abc"));
    EXPECT_EQ(store_->GetIdleTimeout("jo"), 900);
    IniImage settings;
    ASSERT_TRUE(store_->SaveAccounts(settings));
    // The scrambled password of the earlier file is a hash behind its marker from now on.
    std::string text = ReadHomeFile("usersgroups.ini");
    const std::size_t hash = text.find("Password=\xF5$argon2id$");
    ASSERT_NE(hash, std::string::npos) << text;
    text.erase(hash + 9, text.find('\r', hash) - hash - 9);
    EXPECT_EQ(text,
              "[jo]\r\nPassword=\r\nHome Directory=\r\nGroup=All Others\r\n"
              "Default Web Link=\r\nUD Ratio=0\r\nMax Transfer Rate=0\r\nMax Account Connections=0\r\n"
              "Max IP Connections=0\r\nIdle Timeout=900\r\n\r\n"
              "[Usernames]\r\nUserCount=1\r\nUser0=jo\r\n\r\n"
              "[Groupnames]\r\nGroupCount=1\r\nGroup0=All Others\r\n\r\n"
              "[All Others]\r\nHome Directory=\r\nGroup=\r\nPassword=\r\nDefault Web Link=\r\n"
              "UD Ratio=0\r\nMax Transfer Rate=0\r\nMax Account Connections=0\r\n"
              "Max IP Connections=0\r\nIdle Timeout=900\r\n\r\n");
    auto again = MakeStore();
    again->LoadAccounts(IniImage());
    EXPECT_TRUE(again->Authenticate("jo", "abc"));
    EXPECT_FALSE(again->Authenticate("jo", "abd"));
}

// A save replaces the folder files whose content changed and leaves the others as they are
// (same file on the disk); a file that cannot be replaced fails the save without stopping the
// other files.
TEST_F(AccountFiles, ASaveReplacesOnlyTheFolderFilesThatChanged)
{
    store_->LoadAccounts(IniImage());
    for (const char* name : {"ann", "bob", "cy"}) {
        ASSERT_TRUE(store_->AddUser(name, "pw", "All Others"));
        store_->Folders().GrantFlag(name, "C:\\Pub\\", FolderFlag::get);
    }
    ASSERT_TRUE(store_->SaveAccounts());
    const auto annBefore = InodeOf(home_ / "user - ann.kcf");
    const auto bobBefore = InodeOf(home_ / "user - bob.kcf");
    const auto othersBefore = InodeOf(home_ / "group - All Others.kcf");

    store_ = MakeStore();
    store_->LoadAccounts();
    store_->Folders().GrantFlag("bob", "C:\\Pub\\", FolderFlag::put);
    store_->SetMaxIpConnections("ann", 2);  // a property only: the folder file stays as it is
    // "cy"'s folder file cannot be replaced: a folder stands where it would go.
    std::filesystem::remove(HomeFile("user - cy.kcf"));
    std::filesystem::create_directory(HomeFile("user - cy.kcf"));
    store_->Folders().GrantFlag("cy", "C:\\Pub\\", FolderFlag::put);
    EXPECT_FALSE(store_->SaveAccounts());

    EXPECT_EQ(InodeOf(home_ / "user - ann.kcf"), annBefore);
    EXPECT_EQ(InodeOf(home_ / "group - All Others.kcf"), othersBefore);
    EXPECT_NE(InodeOf(home_ / "user - bob.kcf"), bobBefore);
    EXPECT_EQ(ReadHomeFile("user - bob.kcf"), "gp------C:\\Pub\\*\r\n");
    EXPECT_TRUE(std::filesystem::is_directory(HomeFile("user - cy.kcf")));
    auto again = MakeStore();
    again->LoadAccounts();
    EXPECT_EQ(again->GetMaxIpConnections("ann"), 2);  // usersgroups.ini was still written
}

TEST_F(AccountFiles, FolderFileLoadsSortedAndTheLaterLineWins)
{
    WriteHomeFile("usersgroups.ini", "[Usernames]\r\nUserCount=1\r\nUser0=jo\r\n");
    WriteHomeFile("user - jo.kcf", "gp------C:\\A\\*\r\ng-------C:\\A\\*\r\n--------D:\\X\\*\r\n\r\n"
                                   "gp------C:\\Pub\\\r\ng-------c:\\b\\*\r\nG-------C:\\B\\*\r\n");
    store_->LoadAccounts(IniImage());
    EXPECT_EQ(store_->Folders().ListFolders("jo"),
              (std::vector<std::string>{"D:\\X\\", "c:\\b\\", "C:\\A\\", "C:\\Pub\\"}));
    // The empty home takes the first folder and makes it reachable.
    EXPECT_EQ(store_->Folders().GetHomeFolder("jo"), "D:\\X\\");
    IniImage settings;
    ASSERT_TRUE(store_->SaveAccounts(settings));
    EXPECT_EQ(ReadHomeFile("user - jo.kcf"),
              "g-lc----D:\\X\\*\r\ng-------c:\\b\\*\r\ngp------C:\\A\\*\r\ngp------C:\\Pub\\*\r\n");
}

TEST_F(AccountFiles, BadValuesReadAsDefaultsAndMissingGroupsAsAllOthers)
{
    WriteHomeFile("usersgroups.ini", "[Usernames]\r\nUserCount=3\r\nUser0=jo\r\nUser1=al\r\n"
                                     "[jo]\r\nGroup=Deleted By Hand\r\nIdle Timeout=abc\r\nUD Ratio=1/2\r\n"
                                     "Max Transfer Rate=99999999999999\r\n[al]\r\nUD Ratio=nan\r\n");
    store_->LoadAccounts(IniImage());
    EXPECT_EQ(store_->GetUserGroup("jo"), "All Others");
    EXPECT_EQ(store_->GetIdleTimeout("jo"), 900);
    EXPECT_EQ(store_->GetUdRatio("jo"), 0.0f);
    EXPECT_EQ(store_->GetUdRatio("al"), 0.0f);
    EXPECT_EQ(store_->GetMaxTransferRate("jo"), 0);
    // The count promised three names; the missing one is not made into a nameless account.
    EXPECT_EQ(store_->UserNames(), (std::vector<std::string>{"jo", "al"}));
}

// A ratio written under a comma-decimal locale ("0,25") keeps its value; a text with two
// separators is no number.
TEST_F(AccountFiles, RatiosReadWithAPointOrAComma)
{
    WriteHomeFile("usersgroups.ini", "[Usernames]\r\nUserCount=3\r\nUser0=jo\r\nUser1=al\r\nUser2=ed\r\n"
                                     "[jo]\r\nUD Ratio=0,25\r\n[al]\r\nUD Ratio=1.5\r\n[ed]\r\nUD Ratio=1,5,0\r\n");
    store_->LoadAccounts(IniImage());
    EXPECT_EQ(store_->GetUdRatio("jo"), 0.25f);
    EXPECT_EQ(store_->GetUdRatio("al"), 1.5f);
    EXPECT_EQ(store_->GetUdRatio("ed"), 0.0f);
}

// Names that reach the same account (any case; "ftp" and "anonymous" for "Anonymous") build it
// once, and a record that exists before the load is kept, not built again.
TEST_F(AccountFiles, RepeatedNamesInTheListsBuildOneAccount)
{
    WriteHomeFile("usersgroups.ini", "[Usernames]\r\nUserCount=5\r\nUser0=jo\r\nUser1=JO\r\nUser2=ftp\r\n"
                                     "User3=anonymous\r\nUser4=kim\r\n\r\n"
                                     "[Groupnames]\r\nGroupCount=2\r\nGroup0=Staff\r\nGroup1=staff\r\n\r\n"
                                     "[kim]\r\nMax IP Connections=4\r\n");
    ASSERT_TRUE(store_->AddUser("Kim", "pw", "All Others"));
    store_->SetMaxIpConnections("Kim", 9);
    store_->LoadAccounts(IniImage());
    EXPECT_EQ(store_->GetMaxIpConnections("kim"), 9);  // the record made before the load
    EXPECT_TRUE(store_->FindUser("jo"));
    EXPECT_TRUE(store_->FindUser("Anonymous"));
    IniImage settings;
    ASSERT_TRUE(store_->SaveAccounts(settings));
    auto again = MakeStore();
    again->LoadAccounts(settings);
    EXPECT_EQ(again->GroupNames(), (std::vector<std::string>{"Staff", "All Others"}));
    int records = 0;
    for (const char* name : {"jo", "Anonymous", "Kim"}) records += again->FindUser(name) ? 1 : 0;
    EXPECT_EQ(records, 3);
    again->RemoveUser("jo", true);
    again->RemoveUser("Anonymous", true);
    EXPECT_FALSE(again->FindUser("JO"));  // no second record of the same name was left behind
    EXPECT_FALSE(again->FindUser("ftp"));
}

// Hidden temporaries of the account files that a killed save left behind go at the next load;
// other files of the folder stay.
TEST_F(AccountFiles, LoadingClearsWhatAKilledSaveLeftBehind)
{
    WriteHomeFile(".user - jo.kcf.Ab12Z9", "g-------C:\\");
    WriteHomeFile(".usersgroups.ini.x0X0x0", "[Usernames");
    WriteHomeFile(".group - All Others.kcf.000000", "");
    WriteHomeFile(".notes.txt.Ab12Z9", "mine");
    store_->LoadAccounts(IniImage());
    EXPECT_FALSE(HomeFileExists(".user - jo.kcf.Ab12Z9"));
    EXPECT_FALSE(HomeFileExists(".usersgroups.ini.x0X0x0"));
    EXPECT_FALSE(HomeFileExists(".group - All Others.kcf.000000"));
    EXPECT_EQ(ReadHomeFile(".notes.txt.Ab12Z9"), "mine");
}

TEST_F(AccountFiles, NonsenseFilesLoadWithDefaultsAndSaveClean)
{
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) & 0xFF);
    WriteHomeFile("usersgroups.ini", binary + "\r\n[Usernames\r\nUserCount=-5\r\n=\r\n[");
    WriteHomeFile("user - Anonymous.kcf", binary);
    WriteHomeFile("CorvaneServer.ini", binary);
    store_->LoadAccounts();
    EXPECT_EQ(store_->GroupNames(), std::vector<std::string>{"All Others"});
    EXPECT_EQ(store_->IpRules().GetIpRuleMode(), 1);
    ASSERT_TRUE(store_->SaveAccounts());
    auto again = MakeStore();
    again->LoadAccounts();
    EXPECT_EQ(again->GroupNames(), std::vector<std::string>{"All Others"});
    EXPECT_TRUE(again->UserNames().empty());
}

TEST_F(AccountFiles, PermanentRemovalDeletesTheFilesAtOnce)
{
    store_->LoadAccounts(IniImage());
    ASSERT_TRUE(store_->AddUser("jo", "pw", "All Others"));
    store_->Folders().GrantFlag("jo", "C:\\Pub\\", FolderFlag::get);
    store_->SetMaxTransferRate("jo", 7);
    IniImage settings;
    ASSERT_TRUE(store_->SaveAccounts(settings));
    store_->LoadAccounts(settings);
    ASSERT_TRUE(HomeFileExists("user - jo.kcf"));
    ASSERT_TRUE(store_->RemoveUser("jo", true));
    EXPECT_FALSE(HomeFileExists("user - jo.kcf"));
    EXPECT_EQ(ReadHomeFile("usersgroups.ini").find("[jo]"), std::string::npos);
    // Re-created with the same name, it starts with no folders and default properties.
    ASSERT_TRUE(store_->AddUser("jo", "", "All Others"));
    EXPECT_TRUE(store_->Folders().ListFolders("jo").empty());
    EXPECT_EQ(store_->GetMaxTransferRate("jo"), 0);
}

TEST_F(AccountFiles, IpRulesFromTheServerSettings)
{
    IniImage settings = IniImage::FromText("[ServerData]\r\nIPListMode=0\r\nIPListCount=2\r\nIPListData0=10.0.0.x\r\n"
                                           "ReverseDNSCheckEnabled=7\r\n");
    store_->IpRules().LoadIpRules(settings);
    EXPECT_EQ(store_->IpRules().ListIpRules(), (std::vector<std::string>{"10.0.0.x", "xxx.xxx.xxx.xxx"}));
    EXPECT_TRUE(store_->IpRules().GetReverseDnsCheck());
    EXPECT_EQ(store_->IpRules().GetIpRuleMode(), 0);
    store_->IpRules().ClearIpRules();
    store_->IpRules().AddIpRule("1.2.3.4");
    store_->IpRules().SaveIpRules(settings);
    EXPECT_EQ(settings.ReadInteger("ServerData", "IPListCount", -1), 1);
    EXPECT_EQ(settings.ReadString("ServerData", "IPListData0", ""), "1.2.3.4");
    EXPECT_FALSE(settings.ValueExists("ServerData", "IPListData1"));
}

// A rule count of nonsense neither loads forever nor holds the next save for minutes; the rule
// keys that were read are still replaced, other keys stay.
TEST_F(AccountFiles, AHugeRuleCountLoadsAndSavesPromptly)
{
    IniImage settings =
        IniImage::FromText("[ServerData]\r\nIPListMode=0\r\nIPListCount=2147483647\r\nIPListData0=10.0.0.x\r\n"
                           "IPListData7=1.1.1.1\r\nIPListData07=keep\r\nIPListDataX=keep\r\nFtpPort=21\r\n");
    const auto start = std::chrono::steady_clock::now();
    store_->IpRules().LoadIpRules(settings);
    EXPECT_EQ(store_->IpRules().ListIpRules().at(7), "1.1.1.1");
    store_->IpRules().ClearIpRules();
    store_->IpRules().AddIpRule("1.2.3.4");
    store_->IpRules().SaveIpRules(settings);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(settings.ReadSection("ServerData"),
              (std::vector<std::string>{"IPListMode", "IPListCount", "IPListData07", "IPListDataX", "FtpPort",
                                        "ReverseDNSCheckEnabled", "IPListData0"}));
    EXPECT_EQ(settings.ReadInteger("ServerData", "IPListCount", -1), 1);
    EXPECT_EQ(settings.ReadString("ServerData", "IPListData0", ""), "1.2.3.4");
}

TEST_F(AccountFiles, ChecksOnOneThreadWhileAnotherEditsAndRemoves)
{
    AddFolders({"C:\\", "C:\\Pub\\", "C:\\Pub\\a\\", "C:\\Pub\\a\\b\\"});
    store_->LoadAccounts(IniImage());
    ASSERT_TRUE(store_->AddGroup("G"));
    std::atomic<bool> stop{false};
    std::thread server([&] {
        while (!stop.load()) {
            store_->Folders().CheckFolderPermission("U", "C:\\Pub\\a\\b\\", "get");
            store_->AdmitConnection("U", "10.0.0.1");
            store_->Authenticate("U", "pw");
            store_->Folders().GetWebLink("U", "C:\\Pub\\a\\");
            store_->Folders().ListSharedFolders();
            store_->IpRules().CheckClientAddress("10.0.0.1", 0, [] { return std::string("h.example"); });
        }
    });
    for (int round = 0; round < 200; ++round) {
        store_->AddUser("U", "pw", "G");
        store_->Folders().GrantFlag("U", "C:\\Pub\\", FolderFlag::get);
        store_->Folders().GrantFlag("U", "C:\\Pub\\", FolderFlag::inherit);
        store_->Folders().GrantFlag("G", "C:\\Pub\\a\\", FolderFlag::get);
        store_->Folders().SetFolderWebLink("U", "C:\\Pub\\", "http://x/");
        store_->Folders().RemoveFolder("U", "C:\\Pub\\");
        store_->Folders().RemoveFolder("G", "C:\\Pub\\a\\");
        store_->IpRules().AddIpRule("10.0.0.x");
        store_->IpRules().ClearIpRules();
        store_->RemoveUser("U", round % 2 == 0);
    }
    stop.store(true);
    server.join();
    EXPECT_FALSE(store_->FindUser("U"));
}

}  // namespace
}  // namespace corvane
