#include "accounts/folder_rights.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

class FolderRightsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        user_ = std::make_shared<accountClass>("U", false);
        directory_.Add(user_);
    }

    AccountDirectory directory_;
    AccountPtr user_;
    std::vector<std::string> changed_;
    FolderRights rights_{directory_, [](const std::string&) { return true; },
                         [this](const std::string& name) { changed_.push_back(name); }};
};

// Finding an entry compares both texts with a trailing "\" and leaves the entry as it was, so
// what the folder file holds does not depend on which checks ran before a save.
TEST_F(FolderRightsTest, FindingAnEntryChangesNothing)
{
    auto entry = std::make_shared<folderEntryClass>("C:\\Pub");
    user_->AppendEntry(entry);
    EXPECT_EQ(FolderRights::FindEntry(*user_, "C:\\Pub\\"), entry);
    EXPECT_EQ(FolderRights::FindEntry(*user_, "c:\\Pub"), entry);
    EXPECT_EQ(FolderRights::FindEntry(*user_, "C:\\pub\\"), nullptr);
    EXPECT_EQ(FolderRights::FindEntry(*user_, "C:\\Pub\\...\\"), nullptr);
    EXPECT_EQ(entry->Path(), "C:\\Pub");
    EXPECT_EQ(user_->EntryCount(), 1u);
    entry->SetFlag(FolderFlag::get, true);
    EXPECT_TRUE(rights_.CheckFolderPermission("u", "C:\\Pub\\", "get"));
    EXPECT_EQ(entry->Path(), "C:\\Pub");
    EXPECT_TRUE(changed_.empty());
}

TEST_F(FolderRightsTest, FirstEntryBecomesAReachableHome)
{
    FolderRights::MakeFirstEntryHome(*user_);
    EXPECT_EQ(user_->homeFolder.Get(), "");
    rights_.GrantFlag("U", "C:\\A\\", FolderFlag::put);
    rights_.GrantFlag("U", "C:\\B\\", FolderFlag::put);
    user_->homeFolder.Set("C:\\B\\");
    FolderRights::MakeFirstEntryHome(*user_);
    EXPECT_EQ(rights_.GetHomeFolder("U"), "C:\\A\\");
    for (const char* op : {"list", "CWD", "get", "put"})
        EXPECT_TRUE(rights_.CheckFolderPermission("U", "C:\\A\\", op)) << op;
    EXPECT_FALSE(rights_.CheckFolderPermission("U", "C:\\A\\", "dele"));
    EXPECT_EQ(changed_, (std::vector<std::string>{"U", "U"}));
}

}  // namespace
}  // namespace corvane
