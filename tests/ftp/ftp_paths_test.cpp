#include "ftp/ftp_paths.h"

#include <gtest/gtest.h>

#include "ftp/ftp_exceptions.h"

namespace corvane {
namespace {

// What CWD does with a client's text: slashes to backslashes, then the directory rule.
std::string Cwd(const std::string& current, const std::string& sent, bool unc = false)
{
    return ResolveDirectory(current, ToBackslashes(sent), unc);
}

std::string RefusalOf(const std::string& current, const std::string& sent)
{
    try {
        Cwd(current, sent);
    } catch (const EFtpCtrlSocketException& e) {
        return e.what();
    }
    return "accepted";
}

TEST(FtpDirectoryRule, RelativeAbsoluteAndParentFolders)
{
    EXPECT_EQ(Cwd("C:\\TEMP\\", "sub"), "C:\\TEMP\\sub\\");
    EXPECT_EQ(Cwd("C:\\TEMP\\sub\\", ".."), "C:\\TEMP\\");
    EXPECT_EQ(Cwd("C:\\", ".."), "C:\\");
    EXPECT_EQ(Cwd("C:\\TEMP\\", "/pub"), "C:\\pub\\");  // on the current drive, not the home
    EXPECT_EQ(Cwd("C:\\TEMP\\", "/C:/Data"), "C:\\Data\\");
    EXPECT_EQ(Cwd("C:\\TEMP\\", "D:"), "D:\\");
    EXPECT_EQ(Cwd("C:\\TEMP\\", "."), "C:\\TEMP\\");
    EXPECT_EQ(Cwd("C:\\TEMP\\", "C:"), "C:\\TEMP\\");
    EXPECT_EQ(Cwd("C:\\TEMP\\", "/C:"), "C:\\");  // a client's rooted drive is its root
    EXPECT_EQ(Cwd("C:\\TEMP\\", "/d:"), "d:\\");
    EXPECT_EQ(Cwd("C:\\TEMP\\", "a/b/"), "C:\\TEMP\\a\\b\\");
    EXPECT_EQ(Cwd("C:\\TEMP\\", "C:\\TEMP\\"), "C:\\TEMP\\");
}

TEST(FtpDirectoryRule, RefusalsCarryTheirReasons)
{
    EXPECT_EQ(RefusalOf("C:\\TEMP\\", "../x"), "Cannot accept relative path using dot notation");
    EXPECT_EQ(RefusalOf("C:\\TEMP\\", "./x"), "Cannot accept relative path using dot notation");
    EXPECT_EQ(RefusalOf("C:\\TEMP\\", "/a/../b"), "Cannot accept relative path using dot notation");
    EXPECT_EQ(RefusalOf("C:\\TEMP\\", "D:sub"), "Cannot accept path not relative to current directory");
    EXPECT_EQ(RefusalOf("C:\\TEMP\\", "sub:x"), "Invalid directory name syntax");
    EXPECT_EQ(Cwd("C:\\TEMP\\", ""), "C:\\TEMP\\");
    EXPECT_EQ(RefusalOf("C:\\TEMP\\", "\\\\server\\share"), "Cannot accept UNC path");
}

TEST(FtpDirectoryRule, UncFoldersWhenAccepted)
{
    EXPECT_EQ(Cwd("C:\\TEMP\\", "\\\\srv\\share", true), "\\\\srv\\share\\");
    EXPECT_EQ(Cwd("\\\\srv\\share\\a\\", "b", true), "\\\\srv\\share\\a\\b\\");
    EXPECT_EQ(Cwd("\\\\srv\\share\\a\\", "..", true), "\\\\srv\\share\\");
    EXPECT_EQ(Cwd("\\\\srv\\share\\", "..", true), "\\\\srv\\share\\");
    EXPECT_EQ(Cwd("\\\\srv\\share\\a\\", "/top", true), "\\\\srv\\share\\top\\");
}

TEST(FtpFilePathRule, NamesBecomeLocalPaths)
{
    EXPECT_EQ(BuildFilePath("C:\\TEMP\\", "a.txt"), "C:\\TEMP\\a.txt");
    EXPECT_EQ(BuildFilePath("C:\\TEMP\\", "/x/a.txt"), "C:\\x\\a.txt");
    EXPECT_EQ(BuildFilePath("C:\\TEMP\\", "D:\\a.txt"), "D:\\a.txt");
    EXPECT_EQ(BuildFilePath("C:\\TEMP\\", "d:/a.txt"), "D:\\a.txt");
    EXPECT_EQ(BuildFilePath("C:\\TEMP\\", "/C:/My Downloads/a b.txt"), "C:\\My Downloads\\a b.txt");
    EXPECT_EQ(BuildFilePath("C:\\TEMP\\", "c:rel.txt"), "C:\\TEMP\\rel.txt");
    EXPECT_EQ(BuildFilePath("C:\\TEMP\\", "../up.txt"), "C:\\TEMP\\..\\up.txt");  // kept for the owner to judge
    EXPECT_EQ(BuildFilePath("C:\\TEMP\\", "\\\\srv\\s\\f"), "\\\\srv\\s\\f");
    EXPECT_EQ(BuildFilePath("\\\\srv\\s\\a\\", "f"), "\\\\srv\\s\\a\\f");
    EXPECT_EQ(BuildFilePath("\\\\srv\\s\\a\\", "/f"), "\\\\srv\\s\\f");
    EXPECT_EQ(BuildFilePath("C:\\TEMP\\", ""), "C:\\TEMP\\");
    EXPECT_EQ(BuildFilePath("C:\\TEMP\\", "x"), "C:\\TEMP\\x");
    try {
        BuildFilePath("C:\\TEMP\\", "D:a.txt");
        ADD_FAILURE() << "a relative name on another drive must be refused";
    } catch (const FtpServerException& e) {
        EXPECT_STREQ(e.what(), "No current dir for 'D:'");
    }
}

TEST(FtpPathTexts, UncAndTheIe5Patch)
{
    EXPECT_TRUE(IsUNC("\\\\"));
    EXPECT_FALSE(IsUNC("\\"));
    EXPECT_FALSE(IsUNC("C:\\"));
    std::string ie5 = "\\C:\\x";
    PatchIE5(ie5);
    EXPECT_EQ(ie5, "C:\\x");
    std::string plain = "\\C";
    PatchIE5(plain);
    EXPECT_EQ(plain, "\\C");
    EXPECT_EQ(UncSharePart("\\\\srv\\share\\a\\b"), "\\\\srv\\share");
    EXPECT_EQ(UncSharePart("\\\\srv\\share"), "\\\\srv\\share");
    EXPECT_EQ(ToSlashes("C:\\TEMP\\sub\\"), "C:/TEMP/sub/");
    EXPECT_EQ(ToBackslashes(""), "");
}

// A name as a command sends it, through the owner's "/" rule (`home` empty: a command that does
// not take "/" as the home) and the resolver: what the replies quote and what is touched.
struct ResolveCase {
    const char* sent;
    const char* home;
    const char* named;
    const char* real;
};

TEST(ClientPathResolver, EveryFormOfANameReachesOneRealPath)
{
    const ResolveCase cases[] = {
        {"a.txt", "C:\\Pub", "C:\\Pub\\a.txt", "C:\\Pub\\a.txt"},
        // Dot segments are quoted as sent and resolved for the real path.
        {"sub/../a.txt", "C:\\Pub", "C:\\Pub\\sub\\..\\a.txt", "C:\\Pub\\a.txt"},
        {"./a.txt", "C:\\Pub", "C:\\Pub\\.\\a.txt", "C:\\Pub\\a.txt"},
        {"..", "C:\\Pub", "C:\\Pub\\..", "C:\\"},
        // "/" is the home where the command takes it so; "\" and "/" without that rule are the
        // drive's root.
        {"/a.txt", "C:\\Pub", "C:\\Pub\\a.txt", "C:\\Pub\\a.txt"},
        {"/", "C:\\Pub\\", "C:\\Pub\\", "C:\\Pub\\"},
        {"/a.txt", "", "C:\\a.txt", "C:\\a.txt"},
        {"\\a.txt", "C:\\Pub", "C:\\a.txt", "C:\\a.txt"},
        // Both separators, doubled ones counted once in the real path.
        {"sub\\b.txt", "C:\\Pub", "C:\\Pub\\sub\\b.txt", "C:\\Pub\\sub\\b.txt"},
        {"sub//b.txt", "C:\\Pub", "C:\\Pub\\sub\\\\b.txt", "C:\\Pub\\sub\\b.txt"},
        // Drive letters: a rooted drive is never rebased; a relative name on the current drive
        // stays relative.
        {"/C:/Other/x", "C:\\Pub", "C:\\Other\\x", "C:\\Other\\x"},
        {"d:/x", "C:\\Pub", "D:\\x", "D:\\x"},
        {"c:rel", "C:\\Pub", "C:\\Pub\\rel", "C:\\Pub\\rel"},
        // Trailing separators name folders and are kept; a final "." is the folder itself.
        {"sub/", "C:\\Pub", "C:\\Pub\\sub\\", "C:\\Pub\\sub\\"},
        {"sub/.", "C:\\Pub", "C:\\Pub\\sub\\.", "C:\\Pub\\sub"},
        {"", "C:\\Pub", "C:\\Pub\\", "C:\\Pub\\"},
        // Climbing above the drive's root stops at the root.
        {"../../../x", "C:\\Pub", "C:\\Pub\\..\\..\\..\\x", "C:\\x"},
        {"/../../x", "C:\\Pub", "C:\\Pub\\..\\..\\x", "C:\\x"},
        {"C:/../x", "C:\\Pub", "C:\\..\\x", "C:\\x"},
        // A UNC name names nothing on a drive (the file system refuses it); under the "/" rule
        // it is a folder of the home.
        {"//srv/share/f", "", "\\\\srv\\share\\f", "\\\\srv\\share\\f"},
        {"//srv/share/f", "C:\\Pub", "C:\\Pub\\\\srv\\share\\f", "C:\\Pub\\srv\\share\\f"},
    };
    for (const ResolveCase& c : cases) {
        const std::string sent = *c.home ? RebaseRootedName(c.sent, c.home) : std::string(c.sent);
        const ClientPath path = ResolveClientPath("C:\\Pub\\", sent);
        EXPECT_EQ(path.named, c.named) << c.sent << " with home " << c.home;
        EXPECT_EQ(path.real, c.real) << c.sent << " with home " << c.home;
    }
    EXPECT_THROW(ResolveClientPath("C:\\Pub\\", "D:x"), FtpServerException);
}

TEST(ClientPathResolver, OnlyNamesRootedAtTheClientsRootAreRebased)
{
    EXPECT_EQ(RebaseRootedName("/x/y", "C:\\My Pub"), "/C:/My Pub/x/y");
    EXPECT_EQ(RebaseRootedName("/", "C:\\Pub\\"), "/C:/Pub/");
    EXPECT_EQ(RebaseRootedName("/C:/x", "C:\\Pub"), "/C:/x");
    EXPECT_EQ(RebaseRootedName("/a:b", "C:\\Pub"), "/a:b");
    EXPECT_EQ(RebaseRootedName("x", "C:\\Pub"), "x");
    EXPECT_EQ(RebaseRootedName("\\x", "C:\\Pub"), "\\x");
    EXPECT_EQ(RebaseRootedName("", "C:\\Pub"), "");
    EXPECT_EQ(RebaseRootedName("/x", ""), "/x");
}

}  // namespace
}  // namespace corvane
