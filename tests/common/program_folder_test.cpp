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

TEST_F(ProgramFolderTest, EndsInASlashSoFileNamesAppend)
{
    EXPECT_EQ(ProgramFolder(), scratch.Path() + "/");
    SetProgramFolder(scratch.Path() + "/");
    EXPECT_EQ(ProgramFolder(), scratch.Path() + "/");
}

TEST_F(ProgramFolderTest, OpenServerSettingsReadsTheSettingsFileOfTheHome)
{
    EXPECT_TRUE(OpenServerSettings().ReadSections().empty());
    scratch.Put("CorvaneServer.ini", "[ServerData]\r\nFtpPort=2121\r\n");
    EXPECT_EQ(OpenServerSettings().ReadInteger("ServerData", "FtpPort", 21), 2121);
}

TEST_F(ProgramFolderTest, EraseAccountSectionRewritesTheAccountDatabase)
{
    scratch.Put("usersgroups.ini", "[Usernames]\r\nUserCount=1\r\n\r\n[Bob]\r\nGroup=x\r\n\r\n[Eve]\r\nGroup=y\r\n");
    EXPECT_TRUE(EraseAccountSection("bob"));
    EXPECT_EQ(scratch.Get("usersgroups.ini"), "[Usernames]\r\nUserCount=1\r\n\r\n[Eve]\r\nGroup=y\r\n\r\n");
    EXPECT_TRUE(EraseAccountSection("nobody"));  // nothing to erase: the file stays as it is
    EXPECT_EQ(scratch.Get("usersgroups.ini"), "[Usernames]\r\nUserCount=1\r\n\r\n[Eve]\r\nGroup=y\r\n\r\n");
}

TEST(ConstantsTest, FileNamesAndMarker)
{
    EXPECT_EQ(kServerSettingsFileName, "CorvaneServer.ini");
    EXPECT_EQ(kAccountDatabaseFileName, "usersgroups.ini");
    EXPECT_EQ(StripListingMarker("C:\\Pub\\<HTTPDirectoryListing>"), "C:\\Pub\\");
    EXPECT_EQ(StripListingMarker("C:\\Pub\\a.txt"), "C:\\Pub\\a.txt");
    EXPECT_EQ(StripListingMarker("a<HTTPDirectoryListing>b<HTTPDirectoryListing>"), "a");
}

class FileQueriesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(scratch.Join("c/Pub"));
        scratch.Put("c/Pub/a.txt", "12345");
        DriveMap::Configure({{'C', scratch.Join("c")}}, scratch.Path());
    }
    void TearDown() override { DriveMap::Configure({}, scratch.Path()); }
    testing::ScratchFolder scratch;
};

TEST_F(FileQueriesTest, SizesTimesAndFoldersOfRealPaths)
{
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

// A name with wildcards gives the size of the first entry a search finds, in listing order.
TEST_F(FileQueriesTest, WildcardsGiveTheFirstMatchingEntry)
{
    std::filesystem::create_directories(scratch.Join("c/Pub/b.dir"));
    scratch.Put("c/Pub/B.txt", "1234567");
    scratch.Put("c/Pub/c.txt", "123");
    scratch.Put("c/Pub/readme", "12");
    scratch.Put("c/root.bin", "1234");
    EXPECT_EQ(FileSizeOf("C:\\Pub\\?.txt"), 7u);  // "B.txt" sorts before "a.txt" bytewise
    EXPECT_EQ(FileSizeOf("C:\\Pub\\a*"), 5u);
    EXPECT_EQ(FileSizeOf("C:\\Pub\\c.*\\"), 3u);  // the trailing "\" goes first
    EXPECT_EQ(FileSizeOf("C:\\Pub\\*me"), 2u);
    EXPECT_EQ(FileSizeOf("C:\\Pub\\A*"), 0u);  // names compare as the host compares them
    EXPECT_EQ(FileSizeOf("C:\\Pub\\*.zip"), 0u);
    EXPECT_EQ(FileSizeOf("C:\\Pub\\b.d*"), 0u);  // a folder is found, and has no size
    EXPECT_EQ(FileSizeOf("C:\\Pub\\*"), 0u);     // "." comes first, as the system lists it
    EXPECT_EQ(FileSizeOf("C:\\*.bin"), 4u);      // the root lists no dot entries
    EXPECT_EQ(FileSizeOf("C:\\None\\*"), 0u);
    EXPECT_EQ(FileSizeOf("Q:\\*"), 0u);
}

}  // namespace
}  // namespace corvane
