#include "common/md5.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

// The test suite of RFC 1321, appendix A.5.
TEST(Md5, AnswersTheRfcTestSuite)
{
    const struct {
        const char* text;
        const char* digest;
    } cases[] = {
        {"", "D41D8CD98F00B204E9800998ECF8427E"},
        {"a", "0CC175B9C0F1B6A831C399E269772661"},
        {"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
        {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57EDF4A22BE3C955AC49DA2E2107B67A"},
    };
    for (const auto& c : cases) EXPECT_EQ(Md5HexUpperOf(c.text), c.digest) << '"' << c.text << '"';
}

// The padding has three shapes (room for the length in the last block, none, exactly none),
// and pieces may end anywhere: every split of the same bytes gives the same digest.
TEST(Md5, GivesTheSameDigestForEverySplitOfTheInput)
{
    for (std::size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 1000u}) {
        std::string text;
        for (std::size_t i = 0; i < length; ++i) text += static_cast<char>('A' + (i * 7) % 26);
        const std::string whole = Md5HexUpperOf(text);
        for (std::size_t cut : {std::size_t{1}, std::size_t{3}, std::size_t{64}, length / 2}) {
            Md5 md5;
            for (std::size_t at = 0; at < length; at += cut) md5.Update(text.substr(at, cut));
            EXPECT_EQ(Md5HexUpper(md5.Final()), whole) << "length " << length << " in pieces of " << cut;
        }
    }
    // A million "a": the length passes into the second byte of the bit count.
    Md5 md5;
    const std::string thousand(1000, 'a');
    for (int i = 0; i < 1000; ++i) md5.Update(thousand);
    EXPECT_EQ(Md5HexUpper(md5.Final()), "7707D6AE4E027C70EEA2A935C2296F21");
}

TEST(Md5, StartsOverAfterFinal)
{
    Md5 md5;
    md5.Update("abc");
    md5.Final();
    md5.Update("a");
    EXPECT_EQ(Md5HexUpper(md5.Final()), "0CC175B9C0F1B6A831C399E269772661");
}

}  // namespace
}  // namespace corvane
