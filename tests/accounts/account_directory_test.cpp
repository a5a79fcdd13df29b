#include "accounts/account_directory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace corvane {
namespace {

AccountPtr User(const std::string& name) { return std::make_shared<accountClass>(name, false); }
AccountPtr Group(const std::string& name) { return std::make_shared<accountClass>(name, true); }

TEST(AccountDirectory, FindsRecordsByFoldedNameAndKeepsTheirOrder)
{
    AccountDirectory directory;
    auto anonymous = User("Anonymous"), jo = User("Jo"), staff = Group("Staff"), twin = Group("jo");
    for (const auto& record : {jo, anonymous, staff, twin}) ASSERT_TRUE(directory.Add(record));
    EXPECT_FALSE(directory.Add(User("JO")));  // the name is taken among the users
    EXPECT_EQ(directory.FindUser("jO"), jo);
    EXPECT_EQ(directory.FindUser("FTP"), anonymous);
    EXPECT_EQ(directory.FindUser("ANONYMOUS"), anonymous);
    EXPECT_EQ(directory.FindGroup("STAFF"), staff);
    EXPECT_EQ(directory.FindGroup("ftp"), nullptr);
    EXPECT_EQ(directory.FindAccount("jo"), twin);  // a group comes first
    EXPECT_EQ(directory.FindUser("Jo "), nullptr);
    EXPECT_EQ(directory.Users(), (std::vector<AccountPtr>{jo, anonymous}));

    directory.Remove(jo);
    directory.Remove(User("Anonymous"));  // another record of the same name is not this one
    EXPECT_EQ(directory.FindUser("jo"), nullptr);
    EXPECT_EQ(directory.FindUser("ftp"), anonymous);
    auto again = User("JO");
    ASSERT_TRUE(directory.Add(again));
    EXPECT_EQ(directory.FindUser("jo"), again);
    EXPECT_EQ(directory.Users(), (std::vector<AccountPtr>{anonymous, again}));

    EXPECT_EQ(directory.TakeUsers(), (std::vector<AccountPtr>{anonymous, again}));
    EXPECT_EQ(directory.FindUser("jo"), nullptr);
    EXPECT_TRUE(directory.Users().empty());
    EXPECT_EQ(directory.FindGroup("staff"), staff);
}

TEST(AccountDirectory, EffectiveValueFallsBackToTheGroupOnce)
{
    AccountDirectory directory;
    auto staff = Group("Staff"), jo = User("jo");
    jo->group.Set("STAFF");
    staff->idleTimeout.Set(60);
    directory.Add(staff);
    directory.Add(jo);
    auto idle = [](const accountClass& a) -> const LockedValue<int>& { return a.idleTimeout; };
    EXPECT_EQ(directory.Effective("jo", idle), 60);
    jo->idleTimeout.Set(5);
    EXPECT_EQ(directory.Effective("jo", idle), 5);
    EXPECT_EQ(directory.Effective("nobody", idle), 0);
    EXPECT_EQ(directory.GroupOf(*jo), staff);
    EXPECT_EQ(directory.GroupOf(*staff), nullptr);
}

TEST(AccountDirectory, NameListsRemoveTheFirstFoldedMatch)
{
    AccountDirectory directory;
    directory.SetUserNames({"b", "A", "a"});
    directory.AppendUserName("c");
    EXPECT_TRUE(directory.RemoveUserName("a"));
    EXPECT_FALSE(directory.RemoveUserName("zz"));
    EXPECT_EQ(directory.UserNames(), (std::vector<std::string>{"b", "a", "c"}));
    EXPECT_TRUE(directory.GroupNames().empty());
}

// The server thread looks records up while the window thread adds and removes them.
TEST(AccountDirectory, LookUpsDuringEditsOnAnotherThread)
{
    AccountDirectory directory;
    auto kept = User("kept");
    directory.Add(kept);
    std::atomic<bool> done{false};
    std::thread editor([&] {
        for (int i = 0; i < 2000; ++i) {
            auto record = User("u" + std::to_string(i % 50));
            directory.Add(record);
            directory.AppendUserName(record->Name());
            if (i % 3 == 0) directory.Remove(record);
        }
        done = true;
    });
    int misses = 0;
    while (!done) {
        if (directory.FindUser("KEPT") != kept) ++misses;
        directory.FindAccount("u7");
        directory.UserNames();
    }
    editor.join();
    EXPECT_EQ(misses, 0);
}

}  // namespace
}  // namespace corvane
