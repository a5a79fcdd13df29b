// URLs as the HTTP client reads them: parts, redirection targets, document names.
#include "net/http_url.h"

#include <gtest/gtest.h>

using namespace corvane;

TEST(HttpUrl, UrlParts)
{
    struct Case {
        std::string url, scheme, user, password, host, port, path;
    } cases[] = {
        {"http://host/x/y?q=1", "http", "", "", "host", "", "/x/y?q=1"},
        {"http://u:p:w@host:8080/p", "http", "u", "p:w", "host", "8080", "/p"},
        {"http://a@b@host", "http", "a@b", "", "host", "", ""},
        {"host.example:81?x", "", "", "", "host.example", "81", "/?x"},
        {"/only/a/path", "", "", "", "", "", "/only/a/path"},
        {"//net.example/p", "", "", "", "net.example", "", "/p"},
        {"svn+ssh://h/", "svn+ssh", "", "", "h", "", "/"},
        {"a b://h/", "", "", "", "a b", "", "//h/"},
        {"http://[::1]:8080/p", "http", "", "", "::1", "8080", "/p"},
        {"http://u@[2001:db8::1]/", "http", "u", "", "2001:db8::1", "", "/"},
    };
    for (const Case& c : cases) {
        const HttpUrlParts parts = ParseURL(c.url);
        EXPECT_EQ(parts.scheme, c.scheme) << c.url;
        EXPECT_EQ(parts.user, c.user) << c.url;
        EXPECT_EQ(parts.password, c.password) << c.url;
        EXPECT_EQ(parts.host, c.host) << c.url;
        EXPECT_EQ(parts.port, c.port) << c.url;
        EXPECT_EQ(parts.path, c.path) << c.url;
    }
}

TEST(HttpUrl, RedirectionTargets)
{
    const HttpTarget current{"http", "origin", "8080", "/a/b/page.php?from=/x/y"};
    struct Case {
        std::string location;
        bool followed;
        std::string host, port, path;
    } cases[] = {
        {"/abs", true, "origin", "8080", "/abs"},
        {"http://other/x", true, "other", "80", "/x"},
        {"HTTP://other:81", true, "other", "81", "/"},
        {"//cdn.example/f", true, "cdn.example", "80", "/f"},
        {"next.php", true, "origin", "8080", "/a/b/next.php"},
        {"./next.php", true, "origin", "8080", "/a/b/next.php"},
        {"../up.php", true, "origin", "8080", "/a/up.php"},
        {"../../../../top", true, "origin", "8080", "/top"},
        {"javascript:alert(1)", false, "", "", ""},
        {"https://secure/", false, "", "", ""},
        {"mailto:x@y", false, "", "", ""},
    };
    for (const Case& c : cases) {
        HttpTarget next;
        std::string scheme;
        EXPECT_EQ(ResolveLocation(current, c.location, next, scheme), c.followed) << c.location;
        if (!c.followed) {
            EXPECT_FALSE(scheme.empty()) << c.location;
            continue;
        }
        EXPECT_EQ(next.host, c.host) << c.location;
        EXPECT_EQ(next.port, c.port) << c.location;
        EXPECT_EQ(next.path, c.path) << c.location;
    }
    EXPECT_EQ(AbsoluteUrl(current), "http://origin:8080/a/b/page.php?from=/x/y");
    EXPECT_EQ(AbsoluteUrl(HttpTarget{"http", "h", "80", "/"}), "http://h/");
}

TEST(HttpUrl, DocumentNames)
{
    EXPECT_EQ(DocumentNameOf("/a/b/file.zip?x=/y/z"), "file.zip");
    EXPECT_EQ(DocumentNameOf("/a/b/"), "document.htm");
    EXPECT_EQ(DocumentNameOf("/"), "document.htm");
    EXPECT_EQ(DocumentNameOf("/plain"), "plain");
}
