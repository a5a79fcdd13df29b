// The folder page: its pieces one by one, then whole pages of scratch folders.
#include <gtest/gtest.h>
#include <utime.h>

#include <filesystem>

#include "../platform/local_moment.h"
#include "../platform/scratch_folder.h"
#include "http/html_folder.h"
#include "platform/drive_map.h"

namespace corvane {
namespace {

using testing::LocalMoment;

TEST(HtmlFolderPieceTest, NamesAreShortenedToTheColumnWidth)
{
    const std::string forty = "abcdefghijklmnopqrstuvwxyz0123456789ABCD";
    EXPECT_EQ(ShortenName(forty, 28), "abcdefghijklm..123456789ABCD");
    EXPECT_EQ(ShortenName(forty, 27), "abcdefghijkl..123456789ABCD");
    EXPECT_EQ(ShortenName("short.txt", 28), "short.txt");
    // Characters of UTF-8 names are counted, and never cut in two.
    const std::string accented = "\xC3\xA9t\xC3\xA9-" + std::string(30, 'x') + "\xC3\xA9";
    EXPECT_EQ(NameLength(accented), 35u);
    EXPECT_EQ(ShortenName(accented, 12), "\xC3\xA9t\xC3\xA9-x..xxxx\xC3\xA9");
    EXPECT_EQ(NameLength("\xFF\xFE"), 2u);  // other bytes count one each
}

TEST(HtmlFolderPieceTest, SizesDatesAndTimesAsTheColumnsShowThem)
{
    EXPECT_EQ(SizeText(false, 20000), "    19 Kb   ");
    EXPECT_EQ(SizeText(false, 10240), " 10240 bytes");
    EXPECT_EQ(SizeText(false, 20971520), "    20 MB   ");
    EXPECT_EQ(SizeText(false, 5000000000ULL), "  4768 MB   ");
    EXPECT_EQ(SizeText(true, 0), "      <DIR> ");
    EXPECT_EQ(SizeText(false, 123456789012345ULL), "117737568 MB   ");  // longer texts are not cut
    EXPECT_EQ(TimeText(LocalMoment(2026, 12, 9, 12, 30, 0)), "12:30:00am");
    EXPECT_EQ(TimeText(LocalMoment(2026, 12, 9, 13, 5, 9)), "01:05:09pm");
    EXPECT_EQ(TimeText(LocalMoment(2026, 12, 9, 0, 0, 1)), "00:00:01am");
    EXPECT_EQ(DateText(LocalMoment(2026, 12, 9, 13, 5, 9), false), "12/09/2026");
    EXPECT_EQ(DateText(LocalMoment(2026, 12, 9, 13, 5, 9), true), "Wed Dec 09 2026");
}

TEST(HtmlFolderPieceTest, NamesAreEscapedForLinksAndForText)
{
    EXPECT_EQ(LinkEscape("a&b c.txt"), "a&amp;b%20c.txt");
    EXPECT_EQ(HtmlEscape("a&b c.txt"), "a&amp;b c.txt");
    EXPECT_EQ(LinkEscape("x\" onclick=\"alert(1)"), "x%22%20onclick=%22alert(1)");
    EXPECT_EQ(HtmlEscape("x\" <b>"), "x&quot; &lt;b&gt;");
    EXPECT_EQ(LinkEscape("100%.txt"), "100%25.txt");
    EXPECT_EQ(LinkEscape("song #1?.mp3"), "song%20%231%3F.mp3");
    EXPECT_EQ(LinkEscape("caf\xC3\xA9 \xFF.txt"), "caf%C3%A9%20%FF.txt");
    EXPECT_EQ(IconOf("a.MP3", false), "/sound.gif");
    EXPECT_EQ(IconOf("setup.exe", false), "/binary.gif");
    EXPECT_EQ(IconOf("clip.avi", false), "/movie.gif");
    EXPECT_EQ(IconOf("p.png", false), "/image.gif");
    EXPECT_EQ(IconOf("notes", false), "/text.gif");
    EXPECT_EQ(IconOf("x.mp3", true), "/folder.gif");
    EXPECT_EQ(TypeText("a.TXT", false), "Text Document");
    EXPECT_EQ(TypeText("a.xyz", false), "XYZ File");
    EXPECT_EQ(TypeText("a.<b>", false), "&lt;B&gt; File");
}

class HtmlFolderPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = DriveMap::Snapshot();
        DriveMap::Configure({{'C', scratch_.Path()}}, scratch_.Path());
        std::filesystem::create_directories(scratch_.Join("pub/files"));
    }
    void TearDown() override { DriveMap::Configure(saved_, scratch_.Path()); }
    std::string Page(const std::string& url, const std::string& folder, THTMLSortSets sort = shtml_FileName,
                     THTMLDisplaySets display = dhtml_Parent | dhtml_SubFolders)
    {
        std::stringstream stream("left over from before");
        BuildHTMLFolder(stream, url, folder, "missing", "error", "", "", 63, display, sort, 28);
        return stream.str();
    }
    std::vector<std::string> EntryNames(const std::string& page)
    {
        std::vector<std::string> names;
        std::size_t at = 0;
        while ((at = page.find("  <A HREF=\"", at)) != std::string::npos) {
            const std::size_t shown = page.find("\"> ", page.find("SRC=", at)) + 3;
            names.push_back(page.substr(shown, page.find("</A>", shown) - shown));
            at = shown;
        }
        return names;
    }

    testing::ScratchFolder scratch_;
    std::map<char, std::string> saved_;
};

TEST_F(HtmlFolderPageTest, AnEmptyFolderGivesHeaderTitleParentAndFooterOnly)
{
    const std::string page = Page("/pub/files/", "C:\\pub\\files");
    EXPECT_EQ(
        page.substr(0, page.find("<A HREF=\"https")),
        "<PRE>\r\n<TITLE>Directory listing of: pub/files/</TITLE>\r\n<H2>Directory listing of: pub/files/</H1>\r\n"
        "<A HREF=\"/pub/files/..\"><IMG ALIGN=absbottom BorDER=0 SRC=\"/images/folder.gif\"> Go UP To Parent "
        "Folder \"..\"</A>\r\n\r\n");
    EXPECT_EQ(page.substr(page.size() - 8), "</PRE>\r\n");
    EXPECT_TRUE(EntryNames(page).empty());
    EXPECT_EQ(Page("/nowhere/", "C:\\nowhere"), "missing\r\n");
}

TEST_F(HtmlFolderPageTest, FoldersComeFirstThenNamesWithoutRegardToCase)
{
    for (const char* folder : {"pub/files/z", "pub/files/A"})
        std::filesystem::create_directories(scratch_.Join(folder));
    scratch_.Put("pub/files/c.txt", "ccc");
    scratch_.Put("pub/files/B.txt", "bb");
    scratch_.Put("pub/files/.hidden", "h");
    EXPECT_EQ(EntryNames(Page("/pub/files/", "C:\\pub\\files")),
              (std::vector<std::string>{"A", "z", ".hidden", "B.txt", "c.txt"}));
    EXPECT_EQ(EntryNames(Page("/pub/files/", "C:\\pub\\files", shtml_FileSize)),
              (std::vector<std::string>{"A", "z", ".hidden", "B.txt", "c.txt"}));
    EXPECT_EQ(EntryNames(Page("/pub/files/", "C:\\pub\\files", shtml_FileName, dhtml_Parent)),
              (std::vector<std::string>{".hidden", "B.txt", "c.txt"}));
}

TEST_F(HtmlFolderPageTest, AnEntryLineIsMadeOfItsPiecesInOrder)
{
    const std::string name = "a&b c" + std::string(35, 'n') + ".txt";  // 44 characters
    scratch_.Put("pub/files/" + name, std::string(20000, 'x'));
    const std::time_t when = LocalMoment(2026, 12, 9, 13, 5, 9);
    const std::string host = scratch_.Join("pub/files/" + name);
    utimbuf times{when, when};
    ASSERT_EQ(::utime(host.c_str(), &times), 0);
    const std::string page = Page("/pub/files/", "C:\\pub\\files", shtml_FileName, dhtml_LongDate);
    const std::string expected = "  <A HREF=\"/pub/files/a&amp;b%20c" + std::string(35, 'n') +
                                 ".txt\"><IMG ALIGN=absbottom BorDER=0 SRC=\"/images/text.gif\"> a&amp;b cnnnnnnnn.." +
                                 "nnnnnnnnn.txt</A>   " + "    19 Kb   " + " Wed Dec 09 2026 01:05:09pm " +
                                 " Text Document\r\n";
    EXPECT_NE(page.find(expected), std::string::npos) << page;
    // Without the parent option its line is an empty one.
    EXPECT_NE(page.find("</H1>\r\n\r\n  <A"), std::string::npos);
}

}  // namespace
}  // namespace corvane
