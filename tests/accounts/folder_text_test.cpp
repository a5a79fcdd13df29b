#include <gtest/gtest.h>

#include "accounts/account_names.h"
#include "accounts/folder_entry.h"
#include "accounts/real_path_compare.h"

namespace corvane {
namespace {

TEST(FolderEntryLine, ReadsFlagsPathAndLink)
{
    auto e = folderEntryClass::FromLine("g-lc---iC:\\My Downloads\\*http://x/");
    EXPECT_TRUE(e->Flag(FolderFlag::get));
    EXPECT_FALSE(e->Flag(FolderFlag::put));
    EXPECT_TRUE(e->Flag(FolderFlag::list));
    EXPECT_TRUE(e->Flag(FolderFlag::CWD));
    EXPECT_TRUE(e->Flag(FolderFlag::inherit));
    EXPECT_EQ(e->Path(), "C:\\My Downloads\\");
    EXPECT_EQ(e->WebLink(), "http://x/");
    EXPECT_EQ(e->ToLine(), "g-lc---iC:\\My Downloads\\*http://x/");
}

TEST(FolderEntryLine, LineWithoutStarAndOddLetters)
{
    auto e = folderEntryClass::FromLine("gp------C:\\Pub\\");
    EXPECT_EQ(e->Path(), "C:\\Pub\\");
    EXPECT_EQ(e->ToLine(), "gp------C:\\Pub\\*");
    // Only the exact lower-case letter in its own place switches a flag on.
    auto odd = folderEntryClass::FromLine("GpxxxxxxD:\\X\\*");
    EXPECT_FALSE(odd->Flag(FolderFlag::get));
    EXPECT_TRUE(odd->Flag(FolderFlag::put));
    EXPECT_FALSE(odd->Flag(FolderFlag::list));
    auto shortLine = folderEntryClass::FromLine("g-lc");
    EXPECT_EQ(shortLine->Path(), "");
    EXPECT_FALSE(shortLine->Flag(FolderFlag::get));
}

TEST(FolderEntryLine, KeywordsAreCaseSensitive)
{
    EXPECT_EQ(FolderFlagForKeyword("list"), FolderFlag::list);
    EXPECT_EQ(FolderFlagForKeyword("CWD"), FolderFlag::CWD);
    EXPECT_FALSE(FolderFlagForKeyword("List"));
    EXPECT_FALSE(FolderFlagForKeyword("cwd"));
    EXPECT_FALSE(FolderFlagForKeyword("weblink"));
}

TEST(RealPathText, DotDotSegments)
{
    EXPECT_EQ(RemoveDotDotSegments("C:\\ftp\\pub\\..\\"), "C:\\ftp\\");
    EXPECT_EQ(RemoveDotDotSegments("C:\\ftp\\a\\b\\..\\..\\x\\"), "C:\\ftp\\x\\");
    EXPECT_EQ(RemoveDotDotSegments("C:\\ftp\\pub\\.."), "C:\\ftp\\");
    EXPECT_EQ(RemoveDotDotSegments("C:\\..\\..\\"), "C:\\");
    EXPECT_EQ(RemoveDotDotSegments("C:\\a...\\"), "C:\\a...\\");
    // Read as the host reads it: "." and doubled separators name the same folder, "/" separates.
    EXPECT_EQ(RemoveDotDotSegments("C:\\Pub\\.\\"), "C:\\Pub\\");
    EXPECT_EQ(RemoveDotDotSegments("C:\\Pub\\."), "C:\\Pub\\");
    EXPECT_EQ(RemoveDotDotSegments("C:\\Pub\\\\Sub\\"), "C:\\Pub\\Sub\\");
    EXPECT_EQ(RemoveDotDotSegments("C:\\Private/..\\Pub\\"), "C:\\Pub\\");
    EXPECT_EQ(RemoveDotDotSegments("c:\\Pub"), "c:\\Pub");
    EXPECT_EQ(RemoveDotDotSegments("\\\\srv\\a\\..\\"), "\\\\srv\\a\\..\\");
}

TEST(RealPathText, DriveLetterIgnoresCaseTheRestDoesNot)
{
    EXPECT_TRUE(SameRealFolder("c:\\Pub", "C:\\Pub\\"));
    EXPECT_FALSE(SameRealFolder("C:\\pub\\", "C:\\Pub\\"));
    EXPECT_FALSE(SameRealPathText("C:\\Pub", "C:\\Pub\\"));
}

TEST(AccountNames, LoginNamesAndRefusedNames)
{
    EXPECT_EQ(MapLoginName("FTP"), "Anonymous");
    EXPECT_EQ(MapLoginName("anonymous"), "Anonymous");
    EXPECT_EQ(MapLoginName("ftpuser"), "ftpuser");
    EXPECT_EQ(AccountNameProblem("Jo Smith"), "");
    EXPECT_EQ(AccountNameProblem("Jörg"), "");
    for (const char* bad : {"", " jo", "jo ", "a[b", "a]b", "a=b", "a/b", "a\\b", "a\tb"})
        EXPECT_NE(AccountNameProblem(bad), "") << bad;
}

TEST(AccountNames, ScrambleIsTheComplementAndItsOwnInverse)
{
    EXPECT_EQ(ScramblePassword("abc"), "\x9E\x9D\x9C");
    EXPECT_EQ(ScramblePassword(ScramblePassword("p\xDF w")), "p\xDF w");
    EXPECT_EQ(PasswordProblem("\xDF secret \xFF\x20"), "");
    EXPECT_NE(PasswordProblem("a\xF2"), "");  // its complement is CR
    EXPECT_NE(PasswordProblem("a\xF5"), "");  // LF
}

}  // namespace
}  // namespace corvane
