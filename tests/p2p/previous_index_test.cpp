// The previous index's look-up: the first stored line of a path, the stamp test over every line
// of that path, and what remains for withdrawal.
#include "p2p/previous_index.h"

#include <gtest/gtest.h>

#include "p2p/index_lines.h"

namespace corvane {
namespace {

std::string Line(const std::string& path, const std::string& stamp, char type = '-')
{
    return path + "*10*" + stamp + "*" + type + "*" + std::string(kNoDigest);
}

TEST(PreviousIndex, FindsTheFirstLineOfAPathAndOnlyOfThatWholePath)
{
    PreviousIndex index({Line("/C:/a/song.mp3.bak", "0101010101"), Line("/c:/a/song.mp3", "0202020202"),
                         Line("/C:/a/song.mp3", "0303030303")});
    const auto found = index.FindFirst("/C:/a/song.mp3");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(index.Line(*found), Line("/c:/a/song.mp3", "0202020202"));
    EXPECT_FALSE(index.FindFirst("/C:/a/song").has_value());
    EXPECT_FALSE(index.FindFirst("/C:/A/song.mp3").has_value());
}

TEST(PreviousIndex, TheStampTestLooksAtEveryLineOfThePathWrittenExactly)
{
    PreviousIndex index({Line("/C:/a", "0101010101"), Line("/C:/a", "0202020202"), Line("/c:/b", "0303030303")});
    EXPECT_TRUE(index.HoldsStamp("/C:/a", "0202020202"));
    EXPECT_FALSE(index.HoldsStamp("/C:/a", "0303030303"));
    EXPECT_FALSE(index.HoldsStamp("/C:/b", "0303030303"));  // found, but not written the same
}

TEST(PreviousIndex, RemovalTakesTheFoundLineAndTheRestStaysInOrder)
{
    PreviousIndex index({Line("/C:/a", "1"), Line("/C:/b", "2"), Line("/C:/a", "3"), Line("/C:/c", "4")});
    index.Remove(*index.FindFirst("/C:/a"));
    EXPECT_EQ(index.Line(*index.FindFirst("/C:/a")), Line("/C:/a", "3"));
    EXPECT_FALSE(index.HoldsStamp("/C:/a", "1"));
    index.Remove(*index.FindFirst("/C:/a"));
    EXPECT_FALSE(index.FindFirst("/C:/a").has_value());
    EXPECT_EQ(index.Remaining(), (std::vector<std::string>{Line("/C:/b", "2"), Line("/C:/c", "4")}));
    EXPECT_EQ(index.RemainingCount(), 2u);
}

TEST(PreviousIndex, TextsThatAreNotIndexLinesAreDropped)
{
    PreviousIndex index({"", "garbage without stars", Line("/C:/a", "1"), "/C:/cut*1*01*-*0000"});
    EXPECT_EQ(index.Remaining(), std::vector<std::string>{Line("/C:/a", "1")});
}

TEST(PreviousIndex, ADigestStampBelongsToTheIndexLineRightBeforeIt)
{
    const std::string stamp = DigestStampLine({10, 1700000000, 5});
    PreviousIndex index({Line("/C:/a", "1"), stamp, Line("/C:/b", "2"), "garbage", stamp, Line("/C:/c", "3"),
                         "#10 1700000000.5", Line("/C:/d", "4"), "#10 1700000000.000000005x"});
    EXPECT_EQ(index.DigestStampAt(0), (DigestStamp{10, 1700000000, 5}));
    EXPECT_FALSE(index.DigestStampAt(1).has_value());  // the stamp follows a text that is dropped
    EXPECT_FALSE(index.DigestStampAt(2).has_value());  // nanoseconds without their nine digits
    EXPECT_FALSE(index.DigestStampAt(3).has_value());
    EXPECT_EQ(index.Remaining().size(), 4u);
}

}  // namespace
}  // namespace corvane
