#include "common/path_text.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/drive_map.h"
#include "platform/scratch_folder.h"

namespace corvane {
namespace {

TEST(PathTextTest, TrailingBackslashes)
{
    EXPECT_EQ(AddTrailingBackslash("C:\\A"), "C:\\A\\");
    EXPECT_EQ(AddTrailingBackslash("C:\\A\\"), "C:\\A\\");
    EXPECT_EQ(AddTrailingBackslash(""), "\\");
    EXPECT_EQ(RemoveTrailingBackslash("C:\\A\\\\"), "C:\\A\\");
    EXPECT_EQ(RemoveTrailingBackslash(""), "");
}

TEST(PathTextTest, ParentFolders)
{
    EXPECT_EQ(ParentFolderOf("C:\\ftp\\pub\\"), "C:\\ftp\\");
    EXPECT_EQ(ParentFolderOf("C:\\ftp\\a.txt"), "C:\\ftp\\");
    EXPECT_EQ(ParentFolderOf("C:\\ftp\\"), "C:\\");
    EXPECT_EQ(ParentFolderOf("C:\\"), "");
    EXPECT_EQ(ParentFolderOf("\\TEMP\\"), "\\");
    EXPECT_EQ(ParentFolderOf(""), "");
}

TEST(PathTextTest, JoinPathDropsOneLeadingBackslashOfTheSecondPart)
{
    EXPECT_EQ(JoinPath("C:\\A", "\\B"), "C:\\A\\B");
    EXPECT_EQ(JoinPath("C:\\A\\", "B"), "C:\\A\\B");
    EXPECT_EQ(JoinPath("C:\\A\\", "\\B\\"), "C:\\A\\B\\");
    EXPECT_EQ(JoinPath("", "\\B"), "\\\\B");  // an empty first part keeps b whole
}

TEST(PathTextTest, ConversionsExtensionsAndStars)
{
    EXPECT_EQ(SlashesToBackslashes("/pub/a/"), "\\pub\\a\\");
    EXPECT_EQ(SlashesToBackslashes(""), "\\");
    EXPECT_EQ(BackslashesToSlashes("C:\\a\\b"), "C:/a/b");
    EXPECT_EQ(BackslashesToSlashes(""), "");
    EXPECT_EQ(ExtensionOf("C:\\a\\movie.tar.gz"), ".gz");
    EXPECT_EQ(ExtensionOf("README"), "");
    EXPECT_EQ(ExtensionOf("name."), ".");

    std::string record = "C:\\Pub\\*gplcmdri*http://x";
    std::string first;
    SplitAtStar(record, first);
    EXPECT_EQ(first, "C:\\Pub\\");
    EXPECT_EQ(record, "gplcmdri*http://x");
    std::string plain = "no star";
    SplitAtStar(plain, first);
    EXPECT_EQ(first, "no star");
    EXPECT_EQ(plain, "no star");
    std::string trailing = "last*";
    SplitAtStar(trailing, first);
    EXPECT_EQ(first, "last");
    EXPECT_EQ(trailing, "");
}

TEST(PathTextTest, FullRealPathResolvesDotsWithinTheDrive)
{
    EXPECT_EQ(FullRealPath("C:\\a\\.\\b\\..\\c"), "C:\\a\\c");
    EXPECT_EQ(FullRealPath("c:/a//b/"), "c:\\a\\b\\");
    EXPECT_EQ(FullRealPath("C:\\..\\..\\x"), "C:\\x");
    EXPECT_EQ(FullRealPath("C:\\a\\.."), "C:\\");
    EXPECT_EQ(FullRealPath("C:"), "C:\\");
    EXPECT_EQ(FullRealPath("\\\\server\\share"), "");
    EXPECT_EQ(FullRealPath("relative\\x"), "");
    EXPECT_EQ(FullRealPath("C:x"), "");
}

TEST(PathTextTest, IsInsideFolderSeesThroughDotDot)
{
    EXPECT_TRUE(IsInsideFolder("C:\\Pub\\a.txt", "C:\\Pub"));
    EXPECT_TRUE(IsInsideFolder("c:\\Pub\\sub\\", "C:\\Pub"));  // the drive letter in either case
    EXPECT_TRUE(IsInsideFolder("C:\\Pub\\", "C:\\Pub"));
    EXPECT_FALSE(IsInsideFolder("C:\\Pub", "C:\\Pub"));  // only with its trailing "\"
    EXPECT_FALSE(IsInsideFolder("C:\\Pub\\..\\Private\\x", "C:\\Pub"));
    EXPECT_FALSE(IsInsideFolder("C:\\Public\\x", "C:\\Pub"));
    EXPECT_FALSE(IsInsideFolder("C:\\PUB\\x", "C:\\Pub"));  // another folder on this host
    EXPECT_TRUE(IsInsideFolder("C:\\Other\\..\\Pub\\x", "C:\\Pub"));
    EXPECT_FALSE(IsInsideFolder("\\\\host\\Pub\\x", "\\\\host\\Pub"));
    EXPECT_FALSE(IsInsideFolder("C:\\x", ""));
    std::string deep = "C:\\Pub\\" + std::string(3000, 'd') + "\\f";
    EXPECT_TRUE(IsInsideFolder(deep, "C:\\Pub"));
}

class PathQueryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(scratch.Join("c/A"));
        scratch.Put("c/A/file.txt", "x");
        DriveMap::Configure({{'C', scratch.Join("c")}}, scratch.Path());
    }
    void TearDown() override { DriveMap::Configure({}, scratch.Path()); }
    testing::ScratchFolder scratch;
};

TEST_F(PathQueryTest, FolderAndNameOfPathAskWhetherTheTextIsAFolder)
{
    EXPECT_EQ(FolderOfPath("C:\\A\\file.txt"), "C:\\A");
    EXPECT_EQ(FolderOfPath("C:\\A\\"), "C:\\A");
    EXPECT_EQ(FolderOfPath("C:\\A\\missing\\"), "C:\\A");
    EXPECT_EQ(FolderOfPath("nothing"), "");
    EXPECT_EQ(NameOfPath("C:\\A\\file.txt"), "file.txt");
    EXPECT_EQ(NameOfPath("C:\\A\\"), "C:\\A");
    EXPECT_EQ(NameOfPath("plain"), "plain");
}

}  // namespace
}  // namespace corvane
