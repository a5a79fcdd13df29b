// The engine's texts: URL decoding exactly as the server reads request paths, content types,
// dates, the request line, and the header values that need reading.
#include <gtest/gtest.h>

#include "http/http_request.h"
#include "http/http_texts.h"

namespace corvane {
namespace {

TEST(UrlDecodeTest, DecodesTwoCharactersAfterEachPercentAsTheServerAlwaysHas)
{
    const struct {
        const char* in;
        std::string out;
    } cases[] = {
        {"/x%20y.htm", "/x y.htm"},
        {"/a+b", "/a+b"},
        {"/%41%62", "/Ab"},
        {"/end%", "/end%"},
        {"/end%4", "/end%4"},
        {"/end%41", "/endA"},
        {"/%zz", "/C"},  // letters count as their code's low four bits plus 9
        {"/% 9x", "/\t"
                  "x"},  // a blank before the digits is skipped
        {"/%4g", std::string("/") + static_cast<char>(0x4 * 16 + 7 + 9)},
        {"/%2e%2e%2f", "/../"},
        {"/%252e", "/%2e"},  // decoded once only
        {"/a%00b", std::string("/a\0b", 4)},
        {"/%C3%A9", "/\xC3\xA9"},
    };
    for (const auto& c : cases) EXPECT_EQ(httpsrv::UrlDecode(c.in), c.out) << c.in;
}

TEST(ContentTypeTest, FollowsTheExtensionInAnyCase)
{
    const struct {
        const char* path;
        const char* type;
    } cases[] = {
        {"C:\\a\\page.HTM", "text/html"}, {"C:\\a\\page.html", "text/html"}, {"x.gif", "image/gif"},
        {"x.bmp", "image/bmp"},           {"x.JPG", "image/jpeg"},           {"x.jpeg", "image/jpeg"},
        {"x.txt", "text/plain"},          {"x.zip", "application/binary"},   {"C:\\a.txt\\noext", "application/binary"},
    };
    for (const auto& c : cases) EXPECT_EQ(DocumentToContentType(c.path), c.type) << c.path;
}

TEST(HttpDateTest, WritesEnglishUtcAndReadsTheThreeFormsBrowsersSend)
{
    EXPECT_EQ(RFC1123_Date(0), "Thu, 01 Jan 1970 00:00:00");
    EXPECT_EQ(RFC1123_Date(1796855405), "Wed, 09 Dec 2026 22:30:05");
    for (const char* text :
         {"Wed, 09 Dec 2026 22:30:05 GMT", "Wednesday, 09-Dec-26 22:30:05 GMT", "Wed Dec  9 22:30:05 2026"})
        EXPECT_EQ(ParseHttpDate(text), std::optional<std::time_t>(1796855405)) << text;
    for (const char* text : {"", "yesterday", "Wed, 32 Dec 2026 22:30:05 GMT", "Wed, 09 Foo 2026 22:30:05 GMT"})
        EXPECT_FALSE(ParseHttpDate(text)) << text;
}

TEST(RequestLineTest, SplitsWordsAtRunsOfBlanks)
{
    const struct {
        const char* line;
        const char *method, *path, *params, *version;
    } cases[] = {
        {"GET /f.txt?x=1 HTTP/1.1", "GET", "/f.txt", "x=1", "HTTP/1.1"},
        {"get   /a?b?c   http/1.0", "GET", "/a", "b?c", "HTTP/1.0"},
        {"GET /", "GET", "/", "", "HTTP/1.0"},
        {"HEAD", "HEAD", "", "", "HTTP/1.0"},
    };
    for (const auto& c : cases) {
        const THttpRequestLine r = ParseRequestLine(c.line);
        EXPECT_EQ(r.method, c.method) << c.line;
        EXPECT_EQ(r.path, c.path) << c.line;
        EXPECT_EQ(r.params, c.params) << c.line;
        EXPECT_EQ(r.version, c.version) << c.line;
    }
}

TEST(RequestHeaderTest, KnownNamesInAnyCaseOthersIgnored)
{
    THttpRequestHeaders h;
    for (const char* line : {"HOST:   example.org:8080", "connection: Keep-Alive", "X-Other: 1", "no colon here",
                             "Content-Length: 12", "RANGE: bytes=1-2"})
        ApplyHeaderLine(line, h);
    EXPECT_EQ(h.host, "example.org:8080");
    EXPECT_EQ(h.connection, "Keep-Alive");
    EXPECT_EQ(h.range, "bytes=1-2");
    EXPECT_TRUE(h.hasContentLength);
    EXPECT_EQ(ParseContentLength(h.contentLengthText), std::optional<std::int64_t>(12));
    for (const char* bad : {"-1", "9223372036854775808", "ten", "", "1 2"})
        EXPECT_FALSE(ParseContentLength(bad)) << bad;
    EXPECT_EQ(ParseContentLength("9223372036854775807"), std::optional<std::int64_t>(INT64_MAX));
}

TEST(KeepAliveTest, HttpOneOneUnlessCloseHttpOneZeroOnlyWhenAsked)
{
    EXPECT_TRUE(WantsKeepAlive("HTTP/1.1", ""));
    EXPECT_FALSE(WantsKeepAlive("HTTP/1.1", "Close"));
    EXPECT_FALSE(WantsKeepAlive("HTTP/1.1", "TE, close"));
    EXPECT_FALSE(WantsKeepAlive("HTTP/1.0", ""));
    EXPECT_TRUE(WantsKeepAlive("HTTP/1.0", "keep-alive"));
    EXPECT_TRUE(WantsKeepAlive("HTTP/1.0", "KEEP-ALIVE"));
}

TEST(RangeTest, OneRangeOfBytesIsResolvedAgainstTheSize)
{
    const struct {
        const char* header;
        std::int64_t size;
        TRangeAnswer answer;
        std::int64_t first, last;
    } cases[] = {
        {"bytes=0-0", 10, TRangeAnswer::Partial, 0, 0},
        {"bytes=3-", 10, TRangeAnswer::Partial, 3, 9},
        {"bytes=-4", 10, TRangeAnswer::Partial, 6, 9},
        {"bytes=-40", 10, TRangeAnswer::Partial, 0, 9},
        {"bytes=8-20", 10, TRangeAnswer::Partial, 8, 9},
        {"bytes=4294967296-", 8589934592LL, TRangeAnswer::Partial, 4294967296LL, 8589934591LL},
        {"bytes=10-", 10, TRangeAnswer::Unsatisfiable, 0, 0},
        {"bytes=-0", 10, TRangeAnswer::Unsatisfiable, 0, 0},
        {"bytes=5-2", 10, TRangeAnswer::Whole, 0, 0},
        {"bytes=1-2,5-6", 10, TRangeAnswer::Whole, 0, 0},
        {"items=1-2", 10, TRangeAnswer::Whole, 0, 0},
        {"bytes=a-b", 10, TRangeAnswer::Whole, 0, 0},
    };
    for (const auto& c : cases) {
        TByteRange range;
        EXPECT_EQ(ResolveRange(c.header, c.size, range), c.answer) << c.header;
        if (c.answer != TRangeAnswer::Partial) continue;
        EXPECT_EQ(range.first, c.first) << c.header;
        EXPECT_EQ(range.last, c.last) << c.header;
    }
}

}  // namespace
}  // namespace corvane
