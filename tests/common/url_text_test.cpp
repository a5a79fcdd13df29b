#include "common/url_text.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(UrlTextTest, SlashesParentsAndJoins)
{
    EXPECT_EQ(AddTrailingSlash("/pub"), "/pub/");
    EXPECT_EQ(AddTrailingSlash(""), "/");
    EXPECT_EQ(RemoveTrailingSlash("/pub/"), "/pub");
    EXPECT_EQ(JoinUrlPath("/pub", "/a.txt"), "/pub/a.txt");
    EXPECT_EQ(JoinUrlPath("/pub/", "a.txt"), "/pub/a.txt");
    EXPECT_EQ(JoinUrlPath("", "/a"), "//a");
    EXPECT_EQ(UrlParent("/pub/sub/"), "/pub");
    EXPECT_EQ(UrlParent("/pub/a.txt"), "/pub");
    EXPECT_EQ(UrlParent("/pub"), "");
    EXPECT_EQ(UrlParent("name"), "name");
    EXPECT_EQ(StripLeadingSlash("/a/b"), "a/b");
    EXPECT_EQ(StripLeadingSlash("//a"), "/a");
    EXPECT_EQ(StripLeadingSlash(""), "");
}

struct SplitUrlParts {
    std::string scheme = "-", host = "-", path = "-", port = "-";
};

SplitUrlParts Split(std::string_view url)
{
    SplitUrlParts parts;
    SplitUrl(url, parts.scheme, parts.host, parts.path, parts.port);
    return parts;
}

TEST(UrlTextTest, SplitUrlTakesSchemeHostPortAndPath)
{
    auto withPort = Split("http://files.example:8080/x/y");
    EXPECT_EQ(withPort.scheme, "http://");
    EXPECT_EQ(withPort.host, "files.example");
    EXPECT_EQ(withPort.port, "8080");
    EXPECT_EQ(withPort.path, "/x/y");

    auto secure = Split("HTTPS://files.example/x");
    EXPECT_EQ(secure.scheme, "https://");
    EXPECT_EQ(secure.host, "files.example");
    EXPECT_EQ(secure.port, "80");  // the default port is 80 for both schemes
    EXPECT_EQ(secure.path, "/x");

    auto bare = Split("http://host");
    EXPECT_EQ(bare.host, "host");
    EXPECT_EQ(bare.path, "");
    auto portOnly = Split("http://host:81");
    EXPECT_EQ(portOnly.port, "81");
    EXPECT_EQ(portOnly.path, "");

    auto tooShort = Split("http://");
    EXPECT_EQ(tooShort.scheme, "-");
    EXPECT_EQ(tooShort.host, "-");
}

}  // namespace
}  // namespace corvane
