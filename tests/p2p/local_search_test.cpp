// The search over the search lines: the query's terms, both modes, the limit, the rights filter,
// the listing line of a hit, and the digest lookup.
#include "p2p/local_search.h"

#include <gtest/gtest.h>

#include "p2p/index_lines.h"
#include "p2p_fixture.h"

namespace corvane {
namespace {

using testing::ListIndex;

std::string SearchLine(const std::string& path, char type = '-', const std::string& size = "1000",
                       const std::string& digest = std::string(kNoDigest))
{
    return path + "?" + size + "?Mar 07 14:05?" + type + "?" + digest;
}

std::string ListingOf(const std::string& path, char type = '-', const std::string& size = "1000")
{
    return SearchResultListingLine(SearchLine(path, type, size));
}

TEST(LocalSearch, SplitsTheQueryAtBlanksAndKeepsQuotedRunsWhole)
{
    const struct {
        const char* query;
        std::vector<std::string> terms;
    } cases[] = {
        {"a \"b c\" d", {"a", "b c", "d"}},
        {"", {""}},
        {"   ", {""}},
        {"  mp3   music  ", {"mp3", "music"}},
        {"\"open ended", {"open", "ended"}},
        {"\"\" x", {"", "x"}},
        {"\"a b\"c d", {"a b", "c", "d"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitQuery(c.query), c.terms) << c.query;
}

TEST(LocalSearch, AHitIsListedAsALineThatClientsParse)
{
    EXPECT_EQ(ListingOf("/C:/Music/a.mp3"), "-r--r--r--   1 ftp      ftp          1000 Mar 07 14:05 /C:/Music/a.mp3");
    EXPECT_EQ(ListingOf("/C:/Music", 'd', "0"), "dr--r--r--   1 ftp      ftp             0 Mar 07 14:05 /C:/Music");
    EXPECT_EQ(ListingOf("/C:/big", '-', "123456789012345"),
              "-r--r--r--   1 ftp      ftp123456789012345 Mar 07 14:05 /C:/big");
    EXPECT_EQ(SearchResultListingLine("short?line"), "");
}

TEST(LocalSearch, TheFilterTestsTheFolderOfAFileAndAFolderItself)
{
    EXPECT_EQ(SearchFilterFolder("/C:/Music/a.mp3", '-'), "C:\\Music");
    EXPECT_EQ(SearchFilterFolder("/C:/Music", 'd'), "C:\\Music");
}

class LocalSearchTest : public ::testing::Test {
protected:
    std::vector<std::string> Search(int mode, const std::string& query)
    {
        SearchLocalIndex(
            index, mode, query, [this](const std::string& folder) { return folder != hidden; }, results);
        return results;
    }
    ListIndex index;
    std::string hidden = "C:\\Private";
    std::vector<std::string> results;
};

TEST_F(LocalSearchTest, ModeZeroWantsEveryTermAndModeOneAnyInAnyCase)
{
    for (const char* path : {"/C:/Music/a.mp3", "/C:/Docs/a.mp3", "/C:/Music/b.ogg", "/C:/Private/music.mp3"})
        index.indexAdd(SearchLine(path));
    EXPECT_EQ(Search(0, "mp3 MUSIC"), std::vector<std::string>{ListingOf("/C:/Music/a.mp3")});
    EXPECT_EQ(Search(1, "zzz mp3"),
              (std::vector<std::string>{ListingOf("/C:/Music/a.mp3"), ListingOf("/C:/Docs/a.mp3")}));
    // A hit for two terms is listed once.
    EXPECT_EQ(Search(1, "a.mp3 music").size(), 3u);
    EXPECT_TRUE(Search(0, "").empty());
    EXPECT_TRUE(Search(1, "\"\"").empty());
    EXPECT_EQ(Search(0, "\"c:/music/a\"").size(), 1u);
}

TEST_F(LocalSearchTest, EveryAsciiLetterMatchesInEitherCaseAndNothingElseFolds)
{
    // Paths longer than a word of eight, with every letter and their neighbours ` { @ [ on both
    // sides of the word boundaries, and bytes above 127 that must not fold.
    const std::string letters = "abcdefghijklmnopqrstuvwxyz";
    index.indexAdd(SearchLine("/C:/" + letters + "`{@[\xE4\xC4"));
    for (char c : letters) {
        EXPECT_EQ(Search(0, std::string(1, static_cast<char>(c - 'a' + 'A'))).size(), 1u) << c;
        EXPECT_EQ(Search(0, std::string(1, c)).size(), 1u) << c;
    }
    EXPECT_EQ(Search(0, "ABCDEFGHIJKLMNOPQRSTUVWXYZ`{@[").size(), 1u);
    EXPECT_TRUE(Search(0, "@{").empty());        // ` and { do not fold into @ and [
    EXPECT_TRUE(Search(0, "\xC4\xC4").empty());  // nor does a byte above 127
}

TEST_F(LocalSearchTest, OtherModesSearchNothingAndKeepTheEarlierResults)
{
    index.indexAdd(SearchLine("/C:/Music/a.mp3"));
    Search(0, "mp3");
    EXPECT_EQ(Search(5, "zzz").size(), 1u);
    EXPECT_EQ(Search(-1, "zzz").size(), 1u);
    EXPECT_TRUE(Search(0, "zzz").empty());
}

TEST_F(LocalSearchTest, StopsAtTwoHundredDistinctLinesInListOrder)
{
    index.indexAdd(SearchLine("/C:/Private/hit0"));
    for (int i = 0; i < 500; ++i) {
        index.indexAdd(SearchLine("/C:/Music/hit" + std::to_string(i)));
        index.indexAdd(SearchLine("/C:/Music/hit" + std::to_string(i)));
    }
    const std::vector<std::string> found = Search(0, "hit");
    ASSERT_EQ(found.size(), 200u);
    EXPECT_EQ(found.front(), ListingOf("/C:/Music/hit0"));
    EXPECT_EQ(found.back(), ListingOf("/C:/Music/hit199"));
}

TEST_F(LocalSearchTest, AHugeQueryEndsAndStillFindsWithItsFirstTerms)
{
    index.indexAdd(SearchLine("/C:/Music/a.mp3"));
    std::string query = "mp3";
    for (int i = 0; i < 10000; ++i) query += " t" + std::to_string(i);
    EXPECT_EQ(Search(1, query).size(), 1u);
    EXPECT_TRUE(Search(0, query).empty());
}

TEST_F(LocalSearchTest, TheDigestIsThatOfTheFirstLineOfThePath)
{
    const std::string digest = "0123456789ABCDEF0123456789ABCDEF";
    index.indexAdd(SearchLine("/C:/Music/a.mp3.bak", '-', "1", "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"));
    index.indexAdd(SearchLine("/C:/Music/a.mp3", '-', "1", digest));
    index.indexAdd(SearchLine("/C:/Music/a.mp3", '-', "1", "EEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEE"));
    EXPECT_EQ(DigestInIndex(index, "/C:/Music/a.mp3"), digest);
    EXPECT_EQ(DigestInIndex(index, "/c:/Music/a.mp3"), digest);
    EXPECT_EQ(DigestInIndex(index, "/C:/music/a.mp3"), kNoDigest);
    EXPECT_EQ(DigestInIndex(index, "/C:/Music/a"), kNoDigest);
}

}  // namespace
}  // namespace corvane
