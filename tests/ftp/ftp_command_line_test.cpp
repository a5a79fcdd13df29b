#include "ftp/ftp_command_line.h"

#include <gtest/gtest.h>

#include <string>

using namespace corvane;

namespace {

struct Split {
    std::string keyword, params;
};

Split SplitLine(const std::string& line)
{
    Split split{"junk", "junk"};
    SplitFtpCommandLine(line, split.keyword, split.params);
    return split;
}

}  // namespace

TEST(FtpCommandLine, KeywordIsUpperCasedAndParamsKeepTheirTrailingBlanks)
{
    EXPECT_EQ(SplitLine("noop hello").keyword, "NOOP");
    EXPECT_EQ(SplitLine("noop hello").params, "hello");
    const Split user = SplitLine("  USER   anonymous  ");
    EXPECT_EQ(user.keyword, "USER");
    EXPECT_EQ(user.params, "anonymous  ");
    const Split tabs = SplitLine("\tcwd\t\t/pub dir \t");
    EXPECT_EQ(tabs.keyword, "CWD");
    EXPECT_EQ(tabs.params, "/pub dir \t");
    // The keyword ends at the first byte that is no ASCII letter or digit.
    const Split glued = SplitLine("MKD2-x");
    EXPECT_EQ(glued.keyword, "MKD2");
    EXPECT_EQ(glued.params, "-x");
}

TEST(FtpCommandLine, LinesWithoutAKeywordGiveTheWholeLineAsParams)
{
    EXPECT_EQ(SplitLine("").keyword, "");
    EXPECT_EQ(SplitLine("").params, "");
    EXPECT_EQ(SplitLine("   ").params, "");
    const Split punct = SplitLine("!site list");
    EXPECT_EQ(punct.keyword, "");
    EXPECT_EQ(punct.params, "!site list");
    // Only ASCII letters make a keyword: a byte above 127 is no letter, whatever the locale says.
    const Split high = SplitLine("\xE9t\xE9 x");
    EXPECT_EQ(high.keyword, "");
    EXPECT_EQ(high.params, "\xE9t\xE9 x");
}

TEST(FtpCommandLine, NulBytesNeitherEndTheLineNorJoinTheKeyword)
{
    const Split split = SplitLine(std::string("NO\0OP x", 7));
    EXPECT_EQ(split.keyword, "NO");
    EXPECT_EQ(split.params, std::string("\0OP x", 5));
}

TEST(FtpCommandLine, TelnetEscapes)
{
    // IAC IP (255 244) in front of ABOR, as clients send it with an urgent abort.
    EXPECT_EQ(RemoveTelnetEscapes("\xFF\xF4\xFF\xF2"
                                  "ABOR"),
              "ABOR");
    // IAC IAC is one byte 255, kept; it does not start another escape.
    EXPECT_EQ(RemoveTelnetEscapes("a\xFF\xFF"
                                  "b"),
              "a\xFF"
              "b");
    EXPECT_EQ(RemoveTelnetEscapes("\xFF\xFF\xFF\xF4x"), "\xFFx");
    // A lone IAC at the very end goes as well.
    EXPECT_EQ(RemoveTelnetEscapes("NOOP\xFF"), "NOOP");
    EXPECT_EQ(RemoveTelnetEscapes(std::string("\xFF\0z", 3)), "z");
}
