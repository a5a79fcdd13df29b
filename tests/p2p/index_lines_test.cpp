// The line forms of the index: what each field holds, and that every form is read back from its
// end, so odd names do not shift the fields.
#include "../platform/local_moment.h"
#include "p2p/index_lines.h"

#include <gtest/gtest.h>

#include "platform/calendar_time.h"

namespace corvane {
namespace {

using testing::LocalMoment;

TEST(IndexLines, FileTypeCodeGoesByTheExtensionWithoutRegardToCase)
{
    const struct {
        const char* name;
        int code;
    } cases[] = {
        {"SONG.MP3", 1},  {"a.aifc", 1},  {"x.s3m", 1},  {"clip.Mov", 2}, {"p.tif", 3},
        {"setup.exe", 4}, {"old.zip", 4}, {"r.html", 5}, {"notes", 6},    {"a.mp3.bak", 6},
        {"a.", 6},        {".mp3", 1},    {"a.tiff", 6}, {"a.MPEG", 6},
    };
    for (const auto& c : cases) EXPECT_EQ(FileTypeCode(c.name), c.code) << c.name;
}

TEST(IndexLines, AFileHasItsVirtualPathSizeStampAndTypeInItsLines)
{
    IndexedEntry entry;
    entry.virtualPath = VirtualPathOf("C:\\Music\\a.mp3");
    entry.size = 4181232;
    entry.mtime = LocalMoment(2003, 3, 7, 14, 5, 10);
    EXPECT_EQ(entry.virtualPath, "/C:/Music/a.mp3");
    EXPECT_EQ(IndexLineHead(entry), "/C:/Music/a.mp3*4181232*0303071410*-");
    EXPECT_EQ(SearchLineHead(entry, 2003), "/C:/Music/a.mp3?4181232?Mar 07 14:05?-");
    EXPECT_EQ(SearchLineHead(entry, 2026), "/C:/Music/a.mp3?4181232?Mar 07  2003?-");
    entry.isFolder = true;
    EXPECT_EQ(IndexLineHead(entry).back(), 'd');
}

TEST(IndexLines, IndexLinesKeepTheLow32BitsOfTheSizeAndSearchLinesAllOfIt)
{
    IndexedEntry entry;
    entry.virtualPath = "/C:/big.iso";
    entry.size = 5000000000ULL;
    entry.mtime = LocalMoment(2001, 12, 31, 23, 59, 58);
    EXPECT_EQ(IndexLineHead(entry), "/C:/big.iso*705032704*0112312358*-");
    EXPECT_EQ(SearchLineHead(entry, 2026), "/C:/big.iso?5000000000?Dec 31  2001?-");
}

TEST(IndexLines, UploadLineSplitsThePathAndAddsTheFileTypeCode)
{
    const std::string digest(kNoDigest);
    EXPECT_EQ(UploadLineOf("/C:/Music/a.mp3*4181232*0303071410*-*" + digest),
              "/C:/Music/*a.mp3*-*4181232*d*0303071410*1*" + digest);
    EXPECT_EQ(UploadLineOf("/C:/old.zip*0*0303071410*d*" + digest), "/C:/*old.zip*d*0*d*0303071410*4*" + digest);
    // A name with "*" stays whole: the fields are read from the end.
    EXPECT_EQ(UploadLineOf("/C:/a*b.txt*1*0303071410*-*" + digest), "/C:/*a*b.txt*-*1*d*0303071410*5*" + digest);
    EXPECT_EQ(UploadLineOf("no stars at all"), "");
}

TEST(IndexLines, TextsThatAreNotIndexLinesAreRefused)
{
    const std::string digest(kNoDigest);
    for (const std::string& text :
         {std::string(), std::string("/C:/a"), "/C:/a*1*0303071410*-*" + digest.substr(1),
          "/C:/a*1*0303071410*x*" + digest, "*1*0303071410*-*" + digest, "/C:/a*0303071410*-*" + digest,
          "/C:/a*1*0303071410*-*" + std::string(31, '0') + "G"})
        EXPECT_FALSE(ParseIndexLine(text).has_value()) << text;
    const std::string line = "/C:/a b?c*12*0303071410*-*" + digest;
    const auto fields = ParseIndexLine(line);
    ASSERT_TRUE(fields.has_value());
    EXPECT_EQ(fields->virtualPath, "/C:/a b?c");
    EXPECT_EQ(fields->size, "12");
    EXPECT_EQ(fields->stamp, "0303071410");
}

TEST(IndexLines, SearchLinesAreReadFromTheirEnd)
{
    const auto fields = ParseSearchLine("/C:/what?.mp3?1000?Mar 07 14:05?-?0123456789ABCDEF0123456789ABCDEF");
    ASSERT_TRUE(fields.has_value());
    EXPECT_EQ(fields->virtualPath, "/C:/what?.mp3");
    EXPECT_EQ(fields->size, "1000");
    EXPECT_EQ(fields->listingDate, "Mar 07 14:05");
    EXPECT_EQ(fields->entryType, '-');
    EXPECT_EQ(fields->digest, "0123456789ABCDEF0123456789ABCDEF");
}

TEST(IndexLines, VirtualPathsCompareWithTheDriveLetterInAnyCase)
{
    EXPECT_EQ(VirtualPathKey("/c:/Music/a.mp3"), VirtualPathKey("/C:/Music/a.mp3"));
    EXPECT_NE(VirtualPathKey("/C:/music/a.mp3"), VirtualPathKey("/C:/Music/a.mp3"));
}

}  // namespace
}  // namespace corvane
