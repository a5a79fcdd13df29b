// The HTTP client's text helpers: Base64, percent-encoding and the header date.
#include <gtest/gtest.h>

#include "common/base64.h"
#include "common/rfc1123_date.h"
#include "common/url_codec.h"

using namespace corvane;

TEST(HttpTexts, Base64OfTheStandardVectors)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"Aladdin:open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ=="},
        {std::string("\xFF\xFE\x00\x01", 4), "//4AAQ=="},
    };
    for (const auto& [text, encoded] : cases) EXPECT_EQ(EncodeStr(text), encoded) << text;
}

TEST(HttpTexts, PercentEncodingRoundTrips)
{
    EXPECT_EQ(UrlEncode("a b&c=d/é"), "a%20b%26c%3Dd%2F%C3%A9");
    EXPECT_EQ(UrlEncode("AZaz09-_.~"), "AZaz09%2D%5F%2E%7E");
    const std::string every = [] {
        std::string all;
        for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
        return all;
    }();
    EXPECT_EQ(UrlDecode(UrlEncode(every)), every);
    EXPECT_EQ(UrlDecode("%41%6a+%zz%4"), "Aj+%zz%4");
}

TEST(HttpTexts, HeaderDates)
{
    EXPECT_EQ(RFC1123_Date(784111777), "Sun, 06 Nov 1994 08:49:37");
    EXPECT_EQ(RFC1123_Date(951782400), "Tue, 29 Feb 2000 00:00:00");
    EXPECT_EQ(RFC1123_Date(0), "Thu, 01 Jan 1970 00:00:00");
}
