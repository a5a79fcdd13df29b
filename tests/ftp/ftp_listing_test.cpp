// The engine's own listings: the line format clients parse, which entries a pattern holds, and
// names that are unusual on the host.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "ftp/ftp_exceptions.h"
#include "ftp/ftp_listing.h"
#include "platform/drive_map.h"
#include "platform/scratch_folder.h"

using namespace corvane;
using corvane::testing::ScratchFolder;

namespace {

std::time_t LocalMoment(int year, int month, int day, int hour, int minute)
{
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

int ThisYear()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return parts.tm_year + 1900;
}

void SetModified(const std::string& hostPath, std::time_t when)
{
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, hostPath.c_str(), times, 0), 0) << hostPath;
}

std::vector<std::string> LinesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, text.size()) << "the listing does not end in CR LF";
    return lines;
}

class ListingTest : public ::testing::Test {
protected:
    void SetUp() override { DriveMap::Configure({{'C', scratch.Path()}}, scratch.Path()); }
    void TearDown() override { DriveMap::Configure({{'C', ""}}, scratch.Path()); }

    void MakeFolder(const std::string& name) { ASSERT_TRUE(std::filesystem::create_directory(scratch.Join(name))); }

    ScratchFolder scratch;
};

}  // namespace

TEST_F(ListingTest, AReadOnlyProgramOfThisYearShowsExecuteMarksAndTheTime)
{
    scratch.Put("a.exe", "12345");
    ::chmod(scratch.Join("a.exe").c_str(), 0444);
    SetModified(scratch.Join("a.exe"), LocalMoment(ThisYear(), 3, 7, 9, 5));
    EXPECT_EQ(BuildListingText("C:\\*.*", true), "-r-xr-xr-x   1 ftp      ftp            5 Mar 07 09:05 a.exe\r\n");
    // The same entry named alone, and the other two program extensions in any case.
    EXPECT_EQ(BuildListingText("C:\\a.exe", true), "-r-xr-xr-x   1 ftp      ftp            5 Mar 07 09:05 a.exe\r\n");
    scratch.Put("run.Bat", "");
    scratch.Put("x.com", "");
    scratch.Put("exe", "");
    scratch.Put("a.exe.txt", "");
    EXPECT_EQ(BuildListingText("C:\\run.Bat", true).substr(0, 10), "-rwxrwxrwx");
    EXPECT_EQ(BuildListingText("C:\\x.com", true).substr(0, 10), "-rwxrwxrwx");
    EXPECT_EQ(BuildListingText("C:\\exe", true).substr(0, 10), "-rw-rw-rw-");
    EXPECT_EQ(BuildListingText("C:\\a.exe.txt", true).substr(0, 10), "-rw-rw-rw-");
}

TEST_F(ListingTest, AFolderOfAnEarlierYearShowsTheYearInPlaceOfTheTime)
{
    MakeFolder("old");
    SetModified(scratch.Join("old"), LocalMoment(2001, 12, 31, 23, 59));
    EXPECT_EQ(BuildListingText("C:\\old", true), "drw-rw-rw-   1 ftp      ftp            0 Dec 31  2001 old\r\n");
    MakeFolder("locked");
    SetModified(scratch.Join("locked"), LocalMoment(1999, 1, 2, 3, 4));
    ::chmod(scratch.Join("locked").c_str(), 0555);
    EXPECT_EQ(BuildListingText("C:\\locked", true), "dr--r--r--   1 ftp      ftp            0 Jan 02  1999 locked\r\n");
    ::chmod(scratch.Join("locked").c_str(), 0755);
}

TEST_F(ListingTest, EveryMonthHasItsEnglishName)
{
    const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    scratch.Put("f", "");
    for (int month = 1; month <= 12; ++month) {
        SetModified(scratch.Join("f"), LocalMoment(2010, month, 15, 12, 0));
        EXPECT_EQ(BuildListingText("C:\\f", true).substr(41, 13), std::string(names[month - 1]) + " 15  2010 ")
            << month;
    }
}

TEST_F(ListingTest, SizesBeyondThirtyTwoBitsAreShownWhole)
{
    const std::string path = scratch.Join("big.iso");
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    // Sparse: the size is set, no disk space is used.
    ASSERT_EQ(::ftruncate(fd, 5LL * 1024 * 1024 * 1024), 0);
    ::close(fd);
    const std::string line = BuildListingText("C:\\big.iso", true);
    EXPECT_EQ(line.substr(10, 31), "   1 ftp      ftp   5368709120 ") << line;
    // Twelve digits still leave the blank that separates the size from the date.
    ASSERT_EQ(::truncate(path.c_str(), 123456789012LL), 0);
    EXPECT_EQ(BuildListingText("C:\\big.iso", true).substr(10, 32), "   1 ftp      ftp  123456789012 ");
}

TEST_F(ListingTest, HiddenEntriesAreLeftOutOfListButNotOfNlst)
{
    MakeFolder("sub");
    scratch.Put("sub/.secret", "s");
    scratch.Put("sub/plain", "p");
    const std::vector<std::string> detailed = LinesOf(BuildListingText("C:\\sub\\*.*", true));
    ASSERT_EQ(detailed.size(), 3u);
    // A folder's own "." and ".." entries come first, as on the system's home platform.
    EXPECT_EQ(detailed[0].substr(0, 1), "d");
    EXPECT_EQ(detailed[0].substr(detailed[0].size() - 2), " .");
    EXPECT_EQ(detailed[1].substr(detailed[1].size() - 3), " ..");
    EXPECT_EQ(detailed[2].substr(detailed[2].size() - 6), " plain");
    EXPECT_EQ(BuildListingText("C:\\sub\\*.*", false), ".\r\n..\r\n.secret\r\nplain\r\n");
    EXPECT_EQ(BuildListingText("C:\\sub\\.secret", true), "C:\\sub\\.secret not found\r\n");
    EXPECT_EQ(BuildListingText("C:\\sub\\.secret", false), ".secret\r\n");
}

TEST_F(ListingTest, NothingToListIsTheOneNotFoundLine)
{
    // The drive root has no "." or "..".
    EXPECT_EQ(BuildListingText("C:\\*.*", true), "C:\\*.* not found\r\n");
    EXPECT_EQ(BuildListingText("C:\\*.*", false), "C:\\*.* not found\r\n");
    EXPECT_EQ(BuildListingText("C:\\gone\\*.*", true), "C:\\gone\\*.* not found\r\n");
    // Unmapped drives and shares name nothing.
    EXPECT_EQ(BuildListingText("Q:\\*.*", true), "Q:\\*.* not found\r\n");
    EXPECT_EQ(BuildListingText("\\\\server\\share\\*.*", true), "\\\\server\\share\\*.* not found\r\n");
}

TEST_F(ListingTest, ThePatternComesFromTheCurrentFolderAndTheParameter)
{
    EXPECT_EQ(ListingPattern("C:\\TEMP\\", ""), "C:\\TEMP\\*.*");
    EXPECT_EQ(ListingPattern("C:\\TEMP\\", "sub/"), "C:\\TEMP\\sub\\*.*");
    EXPECT_EQ(ListingPattern("C:\\TEMP\\", "/pub/*.txt"), "C:\\pub\\*.txt");
    EXPECT_EQ(ListingPattern("C:\\TEMP\\", "sub"), "C:\\TEMP\\sub");
    // Options are not interpreted: "-la" is a name like any other.
    EXPECT_EQ(BuildListingText(ListingPattern("C:\\TEMP\\", "-la"), true), "C:\\TEMP\\-la not found\r\n");
    EXPECT_THROW(ListingPattern("C:\\TEMP\\", "D:x"), FtpServerException);
}

TEST_F(ListingTest, AFolderNamedWithoutAFinalSlashListsAsItsOwnEntry)
{
    MakeFolder("sub");
    scratch.Put("sub/inner.txt", "i");
    EXPECT_EQ(BuildListingText("C:\\sub", false), "sub\r\n");
    EXPECT_EQ(BuildListingText(ListingPattern("C:\\", "sub/"), false), ".\r\n..\r\ninner.txt\r\n");
}

TEST_F(ListingTest, WildcardsMatchNamesAsTheHostComparesThem)
{
    for (const char* name : {"a.txt", "b.TXT", "abc", "abcd", "noext"}) scratch.Put(name, "");
    EXPECT_EQ(BuildListingText("C:\\*.txt", false), "a.txt\r\n");
    EXPECT_EQ(BuildListingText("C:\\a?c", false), "abc\r\n");
    EXPECT_EQ(BuildListingText("C:\\*", false), "a.txt\r\nabc\r\nabcd\r\nb.TXT\r\nnoext\r\n");
    // "*.*" is every entry, with or without an extension.
    EXPECT_EQ(BuildListingText("C:\\*.*", false), "a.txt\r\nabc\r\nabcd\r\nb.TXT\r\nnoext\r\n");
    EXPECT_EQ(BuildListingText("C:\\z*", false), "C:\\z* not found\r\n");
}

TEST_F(ListingTest, UnusualNamesKeepTheirBytesAndNamesWithLineEndsAreLeftOut)
{
    MakeFolder("odd");
    scratch.Put("odd/with  two blanks ", "");
    scratch.Put("odd/caf\xe9", "");  // Latin-1, not UTF-8
    scratch.Put("odd/line\nfeed", "");
    scratch.Put("odd/carriage\rreturn", "");
    scratch.Put("odd/.hidden\r\n150 fake reply", "");
    EXPECT_EQ(BuildListingText("C:\\odd\\*.*", false), ".\r\n..\r\ncaf\xe9\r\nwith  two blanks \r\n");
    const std::vector<std::string> detailed = LinesOf(BuildListingText("C:\\odd\\*.*", true));
    ASSERT_EQ(detailed.size(), 4u);
    EXPECT_EQ(detailed[2].substr(54), "caf\xe9");
    EXPECT_EQ(detailed[3].substr(54), "with  two blanks ");
    // Only such names: nothing can be listed.
    EXPECT_EQ(BuildListingText("C:\\odd\\line*", false), "C:\\odd\\line* not found\r\n");
}

TEST_F(ListingTest, AFolderOfTwentyThousandFilesListsEveryOneOnItsOwnLine)
{
    MakeFolder("many");
    constexpr int kFiles = 20000;
    for (int i = 0; i < kFiles; ++i) {
        const int fd =
            ::open(scratch.Join("many/file " + std::to_string(i) + ".dat").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    const std::vector<std::string> lines = LinesOf(BuildListingText("C:\\many\\*.*", true));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kFiles + 2));
    for (std::size_t i = 2; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i].substr(0, 41), "-rw-rw-rw-   1 ftp      ftp            0 ") << i;
        ASSERT_EQ(lines[i].compare(54, 5, "file "), 0) << lines[i];
    }
}
