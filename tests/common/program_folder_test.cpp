#include "common/program_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/constants.h"
#include "common/file_queries.h"
#include "platform/drive_map.h"
#include "platform/scratch_folder.h"

namespace corvane {
namespace {

class ProgramFolderTest : public ::testing::Test {
protected:
    void SetUp() override { SetProgramFolder(scratch.Path()); }
    testing::ScratchFolder scratch;
};

TEST_F(ProgramFolderTest, EndsInASlashSoFileNamesAppend) {
    EXPECT_EQ(ProgramFolder(), scratch.Path() + "/");
    SetProgramFolder(scratch.Path() + "/");
    EXPECT_EQ(ProgramFolder(), scratch.Path() + "/");
}

TEST_F(ProgramFolderTest, OpenServerSettingsReadsTheSettingsFileOfTheHome) {
    EXPECT_TRUE(OpenServerSettings().ReadSections().empty());
    scratch.Put("CorvaneServer.ini", "[ServerData]\r\nFtpPort=2121\r\n");
    EXPECT_EQ(OpenServerSettings().ReadInteger("ServerData", "FtpPort", 21), 2121);
}

TEST_F(ProgramFolderTest, EraseAccountSectionRewritesTheAccountDatabase) {
    scratch.Put("usersgroups.ini", "[Usernames]\r\nUserCount=1\r\n\r\n[Bob]\r\nGroup=x\r\n\r\n[Eve]\r\nGroup=y\r\n");
    EXPECT_TRUE(EraseAccountSection("bob"));
    EXPECT_EQ(scratch.Get("usersgroups.ini"),
              "[Usernames]\r\nUserCount=1\r\n\r\n[Eve]\r\nGroup=y\r\n\r\n");
    EXPECT_TRUE(EraseAccountSection("nobody"));  // nothing to erase: the file stays as it is
    EXPECT_EQ(scratch.Get("usersgroups.ini"),
              "[Usernames]\r\nUserCount=1\r\n\r\n[Eve]\r\nGroup=y\r\n\r\n");
}

TEST(ConstantsTest, FileNamesAndMarker) {
    EXPECT_EQ(kServerSettingsFileName, "CorvaneServer.ini");
    EXPECT_EQ(kAccountDatabaseFileName, "usersgroups.ini");
    EXPECT_EQ(StripListingMarker("C:\\Pub\\<HTTPDirectoryListing>"), "C:\\Pub\\");
    EXPECT_EQ(StripListingMarker("C:\\Pub\\a.txt"), "C:\\Pub\\a.txt");
    EXPECT_EQ(StripListingMarker("a<HTTPDirectoryListing>b<HTTPDirectoryListing>"), "a");
}

class FileQueriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(scratch.Join("c/Pub"));
        scratch.Put("c/Pub/a.txt", "12345");
        DriveMap::Configure({{'C', scratch.Join("c")}}, scratch.Path());
    }
    void TearDown() override { DriveMap::Configure({}, scratch.Path()); }
    testing::ScratchFolder scratch;
};

TEST_F(FileQueriesTest, SizesTimesAndFoldersOfRealPaths) {
    EXPECT_TRUE(FolderExists("C:\\Pub"));
    EXPECT_TRUE(FolderExists("C:\\Pub\\"));
    EXPECT_FALSE(FolderExists("C:\\Pub\\a.txt"));
    EXPECT_FALSE(FolderExists("\\\\srv\\Pub"));
    EXPECT_EQ(FileSizeOf("C:\\Pub\\a.txt"), 5u);
    EXPECT_EQ(FileSizeOf("C:\\Pub\\a.txt\\"), 5u);  // one trailing "\" is removed
    EXPECT_EQ(FileSizeOf("C:\\Pub"), 0u);
    EXPECT_EQ(FileSizeOf("C:\\Pub\\none"), 0u);
    EXPECT_GT(FileLastWriteTime("C:\\Pub\\a.txt"), 0);
    EXPECT_GT(FileLastWriteTime("C:\\Pub\\"), 0);
    EXPECT_GT(FileLastWriteTime("C:\\"), 0);
    EXPECT_EQ(FileLastWriteTime("C:\\none"), 0);
    EXPECT_EQ(FileLastWriteTime("Q:\\"), 0);
}

}  // namespace
}  // namespace corvane
