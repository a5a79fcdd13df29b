#include "accounts/permissions.h"

#include "accounts/store_fixture.h"

namespace corvane {
namespace {

class AccountModel : public AccountStoreTest {
protected:
    void SetUp() override
    {
        AccountStoreTest::SetUp();
        store_->LoadAccounts(IniImage());
    }
};

TEST_F(AccountModel, AnonymousTakesAnyPasswordAndAnswersToFtp)
{
    ASSERT_TRUE(store_->AddUser("anonymous", "ignored", "All Others"));
    const std::string login = "FTP";
    auto user = store_->FindUser(login);
    ASSERT_TRUE(user);
    EXPECT_EQ(user->Name(), "Anonymous");
    EXPECT_TRUE(store_->Authenticate("ftp", ""));
    EXPECT_TRUE(store_->Authenticate("ANONYMOUS", "whatever"));
    EXPECT_FALSE(store_->changePassword("ftp", "new"));
    std::string reason;
    EXPECT_FALSE(store_->AddUser("Ftp", "x", "All Others", &reason));
    EXPECT_NE(reason, "");
}

TEST_F(AccountModel, PasswordsAreCaseSensitiveAndGroupsNeverLogIn)
{
    ASSERT_TRUE(store_->AddGroup("Staff"));
    ASSERT_TRUE(store_->AddUser("jo", "Secret", "Staff"));
    EXPECT_TRUE(store_->Authenticate("JO", "Secret"));
    EXPECT_FALSE(store_->Authenticate("jo", "secret"));
    EXPECT_FALSE(store_->Authenticate("Staff", ""));
    EXPECT_TRUE(store_->changePassword("jo", "other"));
    EXPECT_TRUE(store_->Authenticate("jo", "other"));
}

TEST_F(AccountModel, NamesAreUniqueAcrossUsersAndGroups)
{
    std::string reason;
    ASSERT_TRUE(store_->AddGroup("Staff"));
    EXPECT_FALSE(store_->AddUser("STAFF", "", "Staff", &reason));
    EXPECT_EQ(reason, "That name already exists (in either users or in groups)\nPlease choose another one.");
    ASSERT_TRUE(store_->AddUser("jo", "", "Staff"));
    EXPECT_FALSE(store_->AddGroup("Jo", &reason));
    EXPECT_EQ(reason, "That name already exists (in either users or in groups)\nPlease choose another one");
    EXPECT_FALSE(store_->AddGroup("FTP", &reason));
    EXPECT_EQ(reason, "Names \"Anonymous\" and \"ftp\" are for users only, \nthey cannot be assigned to groups");
}

TEST_F(AccountModel, NamesThatCannotBeStoredAreRefusedWithAReason)
{
    std::string reason;
    for (const char* bad : {"", " lead", "trail ", "a[b]", "k=v", "a/b", "a\\b", "a\nb"}) {
        reason.clear();
        EXPECT_FALSE(store_->AddUser(bad, "", "All Others", &reason)) << bad;
        EXPECT_NE(reason, "") << bad;
        EXPECT_FALSE(store_->AddGroup(bad, &reason)) << bad;
    }
    EXPECT_TRUE(store_->AddUser("Jo Smith (home)", "", "All Others"));
}

TEST_F(AccountModel, UnstorablePasswordIsRefusedAndNothingChanges)
{
    std::string reason;
    EXPECT_FALSE(store_->AddUser("jo", "a\xF2", "All Others", &reason));
    EXPECT_NE(reason, "");
    EXPECT_FALSE(store_->FindUser("jo"));
    ASSERT_TRUE(store_->AddUser("jo", "old", "All Others"));
    EXPECT_FALSE(store_->SetPassword("jo", "b\xF5", &reason));
    EXPECT_TRUE(store_->Authenticate("jo", "old"));
}

TEST_F(AccountModel, GroupFallbackForLimitsIsOneLevelAndPerUser)
{
    ASSERT_TRUE(store_->AddGroup("Staff"));
    ASSERT_TRUE(store_->AddUser("jo", "", "Staff"));
    ASSERT_TRUE(store_->AddUser("al", "", "Nowhere"));
    EXPECT_EQ(store_->GetUserGroup("al"), "All Others");
    EXPECT_EQ(store_->GetUserGroup("Staff"), "");
    store_->SetIdleTimeout("Staff", 0);
    store_->SetIdleTimeout("jo", 0);
    EXPECT_EQ(store_->GetIdleTimeout("jo"), 0);
    store_->SetIdleTimeout("Staff", 300);
    EXPECT_EQ(store_->GetIdleTimeout("jo"), 300);
    store_->SetIdleTimeout("jo", 60);
    EXPECT_EQ(store_->GetIdleTimeout("jo"), 60);
    store_->SetUdRatio("Staff", 0.25f);
    EXPECT_FLOAT_EQ(store_->GetUdRatio("jo"), 0.25f);
    EXPECT_EQ(store_->GetMaxTransferRate("nobody"), 0);
    EXPECT_TRUE(store_->SetUserGroup("al", "staff"));
    EXPECT_EQ(store_->GetUserGroup("al"), "Staff");
    EXPECT_FALSE(store_->SetUserGroup("al", "Missing"));
    EXPECT_FALSE(store_->SetUserGroup("Staff", "All Others"));
    EXPECT_EQ(store_->GetUserGroup("al"), "Staff");
}

TEST_F(AccountModel, AdmissionCountsConnectionsPerUserAndPerAddress)
{
    ASSERT_TRUE(store_->AddGroup("Staff"));
    ASSERT_TRUE(store_->AddUser("jo", "", "Staff"));
    store_->SetMaxAccountConnections("Staff", 2);
    EXPECT_TRUE(store_->AdmitConnection("jo", "10.0.0.1"));
    EXPECT_TRUE(store_->AdmitConnection("jo", "10.0.0.2"));
    EXPECT_FALSE(store_->AdmitConnection("jo", "10.0.0.3"));
    EXPECT_EQ(store_->GetConnectionCount("jo"), 2);
    EXPECT_EQ(store_->GetIpConnectionCount("jo", "10.0.0.3"), 0);
    // A disconnect releases one.
    store_->SetConnectionCount("jo", store_->GetConnectionCount("jo") - 1);
    store_->SetIpConnectionCount("jo", "10.0.0.1", store_->GetIpConnectionCount("jo", "10.0.0.1") - 1);
    EXPECT_TRUE(store_->AdmitConnection("jo", "10.0.0.3"));

    ASSERT_TRUE(store_->AddUser("al", "", "All Others"));
    store_->SetMaxIpConnections("al", 1);
    EXPECT_TRUE(store_->AdmitConnection("al", "10.0.0.1"));
    EXPECT_FALSE(store_->AdmitConnection("al", "10.0.0.1"));
    EXPECT_EQ(store_->GetConnectionCount("al"), 1);
    EXPECT_EQ(store_->GetIpConnectionCount("al", "10.0.0.1"), 1);
    EXPECT_TRUE(store_->AdmitConnection("al", "10.0.0.10"));  // not confused with 10.0.0.1
    EXPECT_FALSE(store_->AdmitConnection("nobody", "10.0.0.1"));
}

class RecordingObserver : public AccountObserver {
public:
    void AccountAdded(const std::string& name, bool isGroup, const std::string& group) override
    {
        events.push_back("+" + name + (isGroup ? " group" : " in " + group));
    }
    void AccountRemoved(const std::string& name, bool) override { events.push_back("-" + name); }
    void AccountChanged(const std::string& name) override { events.push_back("*" + name); }
    std::vector<std::string> events;
};

TEST_F(AccountModel, ObserverHearsAddsRemovesAndChanges)
{
    RecordingObserver tree;
    store_->SetObserver(&tree);
    ASSERT_TRUE(store_->AddGroup("Staff"));
    ASSERT_TRUE(store_->AddUser("jo", "", "Staff"));
    store_->SetMaxTransferRate("jo", 5);
    EXPECT_TRUE(store_->RemoveUser("jo", true));
    EXPECT_FALSE(store_->RemoveGroup("All Others", true));
    store_->SetObserver(nullptr);
    EXPECT_EQ(tree.events, (std::vector<std::string>{"+Staff group", "+jo in Staff", "*jo", "-jo"}));
}

TEST_F(AccountModel, UsersGetTheUnionOfTheirOwnAndTheirGroupsRights)
{
    AddFolders({"C:\\", "C:\\Pub\\", "C:\\Pub\\Sub\\", "C:\\Other\\"});
    ASSERT_TRUE(store_->AddGroup("G"));
    ASSERT_TRUE(store_->AddUser("U", "", "G"));
    store_->Folders().GrantFlag("U", "C:\\Pub\\", FolderFlag::get);
    store_->Folders().GrantFlag("U", "C:\\Pub\\", FolderFlag::list);
    store_->Folders().GrantFlag("U", "C:\\Pub\\", FolderFlag::CWD);
    store_->Folders().GrantFlag("G", "C:\\", FolderFlag::get);
    store_->Folders().GrantFlag("G", "C:\\", FolderFlag::put);
    store_->Folders().GrantFlag("G", "C:\\", FolderFlag::inherit);
    EXPECT_TRUE(store_->Folders().CheckFolderPermission("U", "C:\\Pub\\", "get"));
    EXPECT_TRUE(store_->Folders().CheckFolderPermission("U", "C:\\Pub\\", "put"));
    EXPECT_TRUE(store_->Folders().CheckFolderPermission("U", "C:\\Other\\", "put"));
    EXPECT_TRUE(store_->Folders().CheckFolderPermission("U", "C:\\Pub\\Sub\\", "get"));
    EXPECT_FALSE(store_->Folders().CheckFolderPermission("U", "C:\\Pub\\Sub\\", "list"));
    EXPECT_TRUE(store_->Folders().CheckFolderPermission("U", "C:\\Pub\\", "list"));
    EXPECT_FALSE(store_->Folders().CheckFolderPermission("U", "C:\\Pub\\", "List"));
    EXPECT_FALSE(store_->Folders().CheckFolderPermission("G", "C:\\Pub\\", "list"));
    EXPECT_FALSE(store_->Folders().CheckFolderPermission("nobody", "C:\\Pub\\", "get"));
    // The first folder became the home; the group's home serves a user without one.
    EXPECT_EQ(store_->Folders().GetHomeFolder("U"), "C:\\Pub\\");
    EXPECT_TRUE(store_->Folders().IsHomeFolder("U", "c:\\Pub\\"));
}

TEST_F(AccountModel, InheritWalkSkipsAnAllOffEntryWithoutInherit)
{
    AddFolders({"C:\\", "C:\\Pub\\", "C:\\Pub\\Sub\\", "C:\\Pub\\Sub\\Deep\\"});
    ASSERT_TRUE(store_->AddUser("U", "", "All Others"));
    store_->Folders().GrantFlag("U", "C:\\Pub\\", FolderFlag::get);
    store_->Folders().GrantFlag("U", "C:\\Pub\\", FolderFlag::inherit);
    store_->Folders().GrantFlag("U", "C:\\Pub\\Sub\\", FolderFlag::get);
    store_->Folders().RevokeFlag("U", "C:\\Pub\\Sub\\", FolderFlag::get);
    EXPECT_FALSE(store_->Folders().CheckFolderPermission("U", "C:\\Pub\\Sub\\", "get"));
    EXPECT_TRUE(store_->Folders().CheckFolderPermission("U", "C:\\Pub\\Sub\\Deep\\", "get"));
    EXPECT_TRUE(store_->Folders().CheckFolderPermission("U", "C:\\Pub\\Sub\\Deep", "get"));
    EXPECT_FALSE(store_->Folders().CheckFolderPermission("U", "C:\\", "get"));
}

TEST_F(AccountModel, FolderTextsAreNormalisedAndTrapsRefused)
{
    AddFolders({"C:\\", "C:\\Pub\\", "C:\\Pub\\Sub\\", "C:\\Private\\", "C:\\Pub\\...\\"});
    ASSERT_TRUE(store_->AddUser("U", "", "All Others"));
    store_->Folders().GrantFlag("U", "C:\\Pub\\", FolderFlag::get);
    store_->Folders().GrantFlag("U", "C:\\Private\\", FolderFlag::put);
    EXPECT_TRUE(store_->Folders().CheckFolderPermission("U", "C:\\Pub\\Sub\\..\\", "get"));
    EXPECT_TRUE(store_->Folders().CheckFolderPermission("U", "C:\\Pub\\Sub\\..\\..\\Private\\", "put"));
    EXPECT_FALSE(store_->Folders().CheckFolderPermission("U", "C:\\Pub\\Sub\\..\\..\\Private\\", "get"));
    EXPECT_FALSE(store_->Folders().CheckFolderPermission("U", "C:\\Pub\\...\\", "get"));
    // Other spellings of C:\Pub\ (the host opens them all as that folder) are judged by C:\Pub\'s
    // own entry, not by an inheriting entry above it.
    store_->Folders().GrantFlag("U", "C:\\", FolderFlag::put);
    store_->Folders().GrantFlag("U", "C:\\", FolderFlag::inherit);
    AddFolders({"C:\\Pub\\.\\", "C:\\Pub\\\\", "C:\\Private/..\\Pub\\"});
    EXPECT_TRUE(store_->Folders().CheckFolderPermission("U", "C:\\", "put"));
    for (const char* spelling : {"C:\\Pub\\", "C:\\Pub\\.\\", "C:\\Pub\\\\", "C:\\Private/..\\Pub\\"}) {
        EXPECT_FALSE(store_->Folders().CheckFolderPermission("U", spelling, "put")) << spelling;
        EXPECT_TRUE(store_->Folders().CheckFolderPermission("U", spelling, "get")) << spelling;
    }
    // A folder that does not exist is refused whatever the entries say.
    store_->Folders().GrantFlag("U", "C:\\Gone\\", FolderFlag::get);
    EXPECT_FALSE(store_->Folders().CheckFolderPermission("U", "C:\\Gone\\", "get"));
    // The drive letter ignores case, the rest does not.
    EXPECT_TRUE(store_->Folders().CheckFolderPermission("U", "c:\\Pub\\", "get"));
    EXPECT_FALSE(store_->Folders().GetInheritFlag("U", "C:\\pub\\"));
}

TEST_F(AccountModel, WebLinksComeFromTheDecidingEntryThenTheDefaults)
{
    AddFolders({"C:\\", "C:\\Pub\\", "C:\\Pub\\Sub\\"});
    ASSERT_TRUE(store_->AddGroup("G"));
    ASSERT_TRUE(store_->AddUser("U", "", "G"));
    store_->Folders().GrantFlag("U", "C:\\Pub\\", FolderFlag::inherit);
    store_->Folders().SetFolderWebLink("U", "C:\\Pub\\", "http://pub/");
    store_->Folders().SetFolderWebLink("U", "C:\\None\\", "http://never/");
    EXPECT_EQ(store_->Folders().GetWebLink("U", "C:\\Pub\\Sub\\"), "http://pub/");
    EXPECT_EQ(store_->Folders().GetWebLink("U", "C:\\"), "");
    store_->SetDefaultWebLink("G", "http://group/");
    EXPECT_EQ(store_->Folders().GetWebLink("U", "C:\\"), "http://group/");
    store_->SetDefaultWebLink("U", "http://user/");
    EXPECT_EQ(store_->Folders().GetWebLink("U", "C:\\"), "http://user/");
    EXPECT_EQ(store_->Folders().ListFolders("U"), std::vector<std::string>{"C:\\Pub\\"});
}

TEST_F(AccountModel, HomeFolderFollowsTheFirstEntry)
{
    ASSERT_TRUE(store_->AddUser("U", "", "All Others"));
    store_->Folders().GrantFlag("U", "C:\\A\\", FolderFlag::put);
    store_->Folders().GrantFlag("U", "C:\\B\\", FolderFlag::put);
    EXPECT_EQ(store_->Folders().GetHomeFolder("U"), "C:\\A\\");
    store_->Folders().SetHomeFolder("U", "C:\\B\\");
    store_->Folders().RemoveFolder("U", "C:\\B\\");
    EXPECT_EQ(store_->Folders().GetHomeFolder("U"), "C:\\A\\");
    // Clearing the home while folders remain picks the first and makes it reachable.
    store_->Folders().SetHomeFolder("U", "");
    AddFolders({"C:\\A\\"});
    EXPECT_EQ(store_->Folders().GetHomeFolder("U"), "C:\\A\\");
    EXPECT_TRUE(store_->Folders().CheckFolderPermission("U", "C:\\A\\", "CWD"));
    store_->Folders().RemoveFolder("U", "C:\\A\\");
    EXPECT_EQ(store_->Folders().GetHomeFolder("U"), "");
}

TEST_F(AccountModel, SharedFoldersListBothInheritForms)
{
    ASSERT_TRUE(store_->AddUser("U", "", "All Others"));
    ASSERT_TRUE(store_->AddUser("V", "", "All Others"));
    store_->Folders().GrantFlag("U", "C:\\Pub\\", FolderFlag::inherit);
    store_->Folders().GrantFlag("V", "C:\\Pub\\", FolderFlag::get);
    store_->Folders().GrantFlag("V", "c:\\Pub\\", FolderFlag::get);  // the same folder: one entry
    store_->Folders().GrantFlag("All Others", "C:\\Pub\\", FolderFlag::inherit);
    store_->Folders().GrantFlag("V", "C:\\abc\\", FolderFlag::get);
    EXPECT_EQ(store_->Folders().ListSharedFolders(),
              (std::vector<std::string>{"-C:\\abc\\", "-C:\\Pub\\", "iC:\\Pub\\"}));
}

// Found by fuzzing: a rule stored with blanks around it matched nothing, then matched after
// a save and a start; one with a line break was cut on saving.
TEST_F(AccountModel, IpRulesAreStoredAsTheSettingsFileGivesThemBack)
{
    EXPECT_TRUE(store_->IpRules().AddIpRule(" \t10.0.0.x \r"));
    EXPECT_FALSE(store_->IpRules().AddIpRule(" \t "));
    EXPECT_FALSE(store_->IpRules().AddIpRule("10.0.0.1\r\n10.0.0.2"));
    EXPECT_EQ(store_->IpRules().ListIpRules(), std::vector<std::string>{"10.0.0.x"});
    store_->IpRules().SetIpRuleMode(1);
    EXPECT_FALSE(store_->IpRules().CheckClientAddress("10.0.0.7", 0, nullptr));
    IniImage saved;
    store_->IpRules().SaveIpRules(saved);
    auto again = MakeStore();
    again->IpRules().LoadIpRules(IniImage::FromText(saved.ToText()));
    EXPECT_EQ(again->IpRules().ListIpRules(), store_->IpRules().ListIpRules());
}

TEST_F(AccountModel, IpRuleModesAndTheReverseLookup)
{
    auto noLookup = [] { return std::string("never asked"); };
    store_->IpRules().SetIpRuleMode(1);
    EXPECT_TRUE(store_->IpRules().CheckClientAddress("10.0.255.1", 0, noLookup));
    // An IPv6 client is a client like any other; a text that is no address is none.
    EXPECT_TRUE(store_->IpRules().CheckClientAddress("::1", 0, noLookup));
    EXPECT_FALSE(store_->IpRules().CheckClientAddress("1::2::3", 0, noLookup));
    ASSERT_TRUE(store_->IpRules().AddIpRule("2001:db8::/32"));
    EXPECT_FALSE(store_->IpRules().CheckClientAddress("2001:db8::7", 0, noLookup));
    EXPECT_TRUE(store_->IpRules().CheckClientAddress("::1", 0, noLookup));
    for (const char* bad : {"::/0", "2001:db8::/129", "::"}) EXPECT_FALSE(store_->IpRules().AddIpRule(bad)) << bad;
    store_->IpRules().ClearIpRules();
    store_->IpRules().SetIpRuleMode(0);
    EXPECT_FALSE(store_->IpRules().CheckClientAddress("10.0.0.1", 0, noLookup));
    EXPECT_FALSE(store_->IpRules().AddIpRule(""));
    ASSERT_TRUE(store_->IpRules().AddIpRule("192.168.1.xxx"));
    EXPECT_TRUE(store_->IpRules().CheckClientAddress("192.168.1.77", 0, noLookup));
    EXPECT_FALSE(store_->IpRules().CheckClientAddress("192.168.2.77", 0, noLookup));
    store_->IpRules().SetIpRuleMode(1);
    store_->IpRules().ClearIpRules();
    store_->IpRules().AddIpRule("10.0.0.5");
    EXPECT_FALSE(store_->IpRules().CheckClientAddress("10.0.0.5", 1, noLookup));
    EXPECT_TRUE(store_->IpRules().CheckClientAddress("10.0.0.6", 1, noLookup));

    store_->IpRules().AddIpRule("*.bad.example");
    store_->IpRules().SetReverseDnsCheck(true);
    EXPECT_FALSE(store_->IpRules().CheckClientAddress("10.0.0.6", 0, [] { return std::string("x.bad.example"); }));
    EXPECT_TRUE(store_->IpRules().CheckClientAddress("10.0.0.6", 0, [] { return std::string("x.good.example"); }));
    // A failed lookup never refuses.
    EXPECT_TRUE(store_->IpRules().CheckClientAddress("10.0.0.6", 0, [] { return std::string("Error #11001"); }));
    store_->IpRules().SetIpRuleMode(0);
    store_->IpRules().ClearIpRules();
    store_->IpRules().AddIpRule("10.0.0.x");
    store_->IpRules().AddIpRule("*.good.example");
    EXPECT_TRUE(store_->IpRules().CheckClientAddress("10.0.0.6", 0, [] { return std::string("a.good.example"); }));
    EXPECT_FALSE(store_->IpRules().CheckClientAddress("10.0.0.6", 0, [] { return std::string("a.bad.example"); }));
}

}  // namespace
}  // namespace corvane
