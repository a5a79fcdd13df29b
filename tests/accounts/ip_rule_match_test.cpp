#include "accounts/ip_rule_match.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(IpRuleMatch, ClientAddressMustBeFourFieldsUpTo255)
{
    EXPECT_TRUE(IsDottedClientAddress("10.0.255.1"));
    EXPECT_FALSE(IsDottedClientAddress("10.0.256.1"));
    EXPECT_FALSE(IsDottedClientAddress("10.0.1"));
    EXPECT_FALSE(IsDottedClientAddress("10.0.1.1.1"));
    EXPECT_FALSE(IsDottedClientAddress("::1"));
    EXPECT_FALSE(IsDottedClientAddress("10..1.1"));
    EXPECT_FALSE(IsDottedClientAddress("10.a.1.1"));
}

TEST(IpRuleMatch, KeepsTheHelpTextPromises)
{
    EXPECT_TRUE(AddressRuleCovers("10.0.0.5", "10.0.0.5"));
    EXPECT_FALSE(AddressRuleCovers("10.0.0.5", "10.0.0.6"));
    EXPECT_TRUE(AddressRuleCovers("192.168.1.xxx", "192.168.1.77"));
    EXPECT_TRUE(AddressRuleCovers("192.168.1.xxx", "192.168.1.0"));
    EXPECT_FALSE(AddressRuleCovers("192.168.1.xxx", "192.168.2.77"));
    // 12x-14x: 120 to 149 inclusive.
    EXPECT_TRUE(AddressRuleCovers("123.251.12x-14x.xxx", "123.251.120.0"));
    EXPECT_TRUE(AddressRuleCovers("123.251.12x-14x.xxx", "123.251.149.255"));
    EXPECT_FALSE(AddressRuleCovers("123.251.12x-14x.xxx", "123.251.119.255"));
    EXPECT_FALSE(AddressRuleCovers("123.251.12x-14x.xxx", "123.251.150.0"));
    // One "x" is one digit.
    EXPECT_TRUE(AddressRuleCovers("141.x.x.x", "141.1.2.3"));
    EXPECT_FALSE(AddressRuleCovers("141.x.x.x", "141.12.223.34"));
    EXPECT_FALSE(AddressRuleCovers("231.12.12.xx", "231.12.12.123"));
    EXPECT_TRUE(AddressRuleCovers("231.12.12.xx", "231.12.12.99"));
    EXPECT_TRUE(AddressRuleCovers("123.233.XXX.xxx", "123.233.4.200"));
}

TEST(IpRuleMatch, Ipv6RulesAreAddressesAndPrefixesAndMappedClientsMeetTheIpv4Rules)
{
    struct Case {
        const char* rule;
        const char* client;
        bool covered;
    };
    const Case cases[] = {
        {"::1", "::1", true},
        {"::1", "0:0::1", true},
        {"::1", "::2", false},
        {"2001:db8::/32", "2001:db8:ffff::1", true},
        {"2001:db8::/32", "2001:db9::1", false},
        {"2001:db8:1:2::/64", "2001:db8:1:2:aaaa::5", true},
        {"2001:db8:1:2::/64", "2001:db8:1:3::5", false},
        {"2001:db8::1/128", "2001:db8::1", true},
        {"127.0.0.x", "::ffff:127.0.0.1", true},
        {"127.0.0.1", "::ffff:127.0.0.2", false},
        {"::ffff:127.0.0.1", "127.0.0.1", false},  // an IPv4 client meets only IPv4 rules
        {"xxx.xxx.xxx.xxx", "::1", false},
        {"::/0", "2001:db8::1", false},
        {"::", "::", false},
        {"2001:db8::/129", "2001:db8::1", false},
        {"2001:db8::/0", "2001:db8::1", false},
        {"2001:db8::1", "fe80::1%lo", false},
    };
    for (const Case& c : cases) EXPECT_EQ(AddressRuleCovers(c.rule, c.client), c.covered) << c.rule << " " << c.client;
    for (const char* bad : {"::/0", "::", "2001:db8::/129", "/64", "2001:db8::/", "2001:db8::/x", "1::2::3"})
        EXPECT_FALSE(IsValidIPv6Rule(bad)) << bad;
    EXPECT_TRUE(IsClientAddress("2001:db8::1"));
    EXPECT_TRUE(RuleEndsInNumber("2001:db8::/32"));  // never a host-name rule
}

TEST(IpRuleMatch, LeadingZerosAndHostRulesInTheAddressTest)
{
    EXPECT_TRUE(AddressRuleCovers("010.0.0.005", "10.0.0.5"));
    EXPECT_TRUE(AddressRuleCovers("10.0.0.5", "10.0.0.005"));
    EXPECT_FALSE(AddressRuleCovers("*.example.com", "10.0.0.5"));
    EXPECT_FALSE(AddressRuleCovers("10.0.0", "10.0.0.5"));
    EXPECT_FALSE(AddressRuleCovers("10.0.0.9-5", "10.0.0.7"));  // an empty range covers nothing
}

TEST(IpRuleMatch, HostNamesMatchLabelByLabelFromTheRight)
{
    EXPECT_TRUE(HostRuleCovers("host.example.com", "HOST.Example.com"));
    EXPECT_TRUE(HostRuleCovers("*.example.com", "a.example.com"));
    EXPECT_TRUE(HostRuleCovers("*.example.com", "a.b.example.com"));
    EXPECT_FALSE(HostRuleCovers("*.example.com", "example.com"));
    EXPECT_FALSE(HostRuleCovers("*.example.com", "a.example.org"));
    EXPECT_TRUE(HostRuleCovers("ho*t.example.com", "host.example.com"));
    EXPECT_FALSE(HostRuleCovers("ho*t.example.com", "hoost.example.com"));
    EXPECT_FALSE(HostRuleCovers("example.com", "a.example.com"));
    EXPECT_TRUE(RuleEndsInNumber("10.0.0.5"));
    EXPECT_FALSE(RuleEndsInNumber("10.0.0.xxx"));
    EXPECT_FALSE(RuleEndsInNumber("a.example.com"));
}

}  // namespace
}  // namespace corvane
