#include "common/per_second_text.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

int g_made = 0;

std::string Numbered(std::time_t when)
{
    ++g_made;
    return "t" + std::to_string(when);
}

TEST(PerSecondTextTest, IsMadeOnceASecondAndAgainWhenTheSecondChanges)
{
    g_made = 0;
    std::time_t now = 1000;
    PerSecondText text(Numbered, [&now] { return now; });
    EXPECT_EQ(text.Now(), "t1000");
    EXPECT_EQ(text.Now(), "t1000");
    EXPECT_EQ(g_made, 1);
    now = 1001;
    EXPECT_EQ(text.Now(), "t1001");
    EXPECT_EQ(g_made, 2);
    // A clock set back is a change too: the text follows it.
    now = 999;
    EXPECT_EQ(text.Now(), "t999");
    // A given second is the same cache: the epoch itself is a second like any other.
    EXPECT_EQ(text.Of(0), "t0");
    EXPECT_EQ(text.Of(0), "t0");
    EXPECT_EQ(g_made, 4);
}

}  // namespace
}  // namespace corvane
