// IPv6 texts: reading, the canonical writing, Host headers, and which addresses are real.
#include <gtest/gtest.h>

#include "common/ip_text.h"

namespace corvane {
namespace {

TEST(IPv6Text, ReadsEveryFormAndWritesTheCanonicalOne)
{
    const std::pair<const char*, const char*> cases[] = {
        {"::1", "::1"},
        {"0:0:0:0:0:0:0:1", "::1"},
        {"2001:DB8::0001", "2001:db8::1"},
        {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1"},  // the first of two equal runs
        {"2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1"},  // one zero group stays a group
        {"fe80::", "fe80::"},
        {"::ffff:127.0.0.1", "::ffff:127.0.0.1"},
        {"::ffff:7f00:1", "::ffff:127.0.0.1"},
        {"1:2:3:4:5:6:1.2.3.4", "1:2:3:4:5:6:102:304"},
    };
    for (const auto& [text, canonical] : cases) {
        const auto bytes = ParseIPv6(text);
        ASSERT_TRUE(bytes) << text;
        EXPECT_EQ(FormatIPv6(*bytes), canonical) << text;
    }
    for (const char* bad : {"", ":", "fe80::1%lo", "[::1]", "1::2::3", "12345::", "1:2:3:4:5:6:7", "1:2:3:4:5:6:7:8:9",
                            "::1.2.3", "::256.1.1.1", "g::1", " ::1", "0000:0000:0000:0000:0000:0000:0000:00001",
                            "1.2.3.4", "::1.2.3.4:5"})
        EXPECT_FALSE(ParseIPv6(bad)) << bad;
}

TEST(IPv6Text, HostHeadersKeepBracketsApartFromThePort)
{
    struct Case {
        const char* text;
        bool valid;
        const char* host;
        int port;
    };
    const Case cases[] = {
        {"[::1]:8080", true, "::1", 8080}, {"[::1]", true, "::1", 0},
        {"example.com:80", true, "example.com", 80}, {"example.com", true, "example.com", 0},
        {"[::1", false, "", 0}, {"[::1]:99999", false, "", 0},
        {"[::1]:0", false, "", 0}, {"[::1]:", false, "", 0},
        {"[::1]x", false, "", 0}, {"[1.2.3.4]:80", false, "", 0},
        {"::1:8080", false, "", 0}, {"host:8a", false, "", 0},
    };
    for (const Case& c : cases) {
        const auto parsed = ParseHostPort(c.text);
        ASSERT_EQ(parsed.has_value(), c.valid) << c.text;
        if (!parsed) continue;
        EXPECT_EQ(parsed->host, c.host) << c.text;
        EXPECT_EQ(parsed->port, c.port) << c.text;
    }
    EXPECT_EQ(HostPortText("::1", 2121), "[::1]:2121");
    EXPECT_EQ(HostPortText("127.0.0.1", 2121), "127.0.0.1:2121");
}

TEST(IPv6Text, ConnectionsCountPerAddressOrPerSixtyFourWhenAsked)
{
    struct Case {
        const char* address;
        bool prefix64;
        const char* key;
    };
    const Case cases[] = {
        {"2001:db8:1:2:aaaa::5", false, "2001:db8:1:2:aaaa::5"},
        {"2001:db8:1:2:aaaa::5", true, "2001:db8:1:2::/64"},
        {"2001:db8:1:2::9", true, "2001:db8:1:2::/64"},
        {"::1", true, "::/64"},
        {"10.0.0.7", true, "10.0.0.7"},
        {"::ffff:10.0.0.7", true, "::ffff:10.0.0.7"},
    };
    for (const Case& c : cases) EXPECT_EQ(AddressCountKey(c.address, c.prefix64), c.key) << c.address;
}

TEST(IPv6Text, LoopbackUniqueLocalAndLinkLocalAreNotReal)
{
    for (const char* notReal : {"::1", "::", "fd00::1", "fc12:3456::1", "fe80::1", "febf::1", "::ffff:192.168.1.1", "1::2::3"})
        EXPECT_FALSE(IsRealIp(notReal)) << notReal;
    for (const char* real : {"2001:db8::1", "2a00:1450::200e", "fec0::1", "::ffff:8.8.8.8"})
        EXPECT_TRUE(IsRealIp(real)) << real;
}

}  // namespace
}  // namespace corvane
