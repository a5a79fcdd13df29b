#include "net/wsocket_functions.h"

#include <gtest/gtest.h>
#include <algorithm>

using namespace corvane;

TEST(WSocketIsDottedIP, AcceptsFourGroupsWithSurroundingBlanks)
{
    EXPECT_TRUE(WSocketIsDottedIP("10.0.0.1"));
    EXPECT_TRUE(WSocketIsDottedIP("  10.0.0.1  "));
    EXPECT_TRUE(WSocketIsDottedIP("255.255.255.255"));
    EXPECT_FALSE(WSocketIsDottedIP("10.0.0"));
    EXPECT_FALSE(WSocketIsDottedIP("10.0.0.256"));
    EXPECT_FALSE(WSocketIsDottedIP(".10.0.0.1"));
    EXPECT_FALSE(WSocketIsDottedIP("10.0.0.1.5"));
    EXPECT_FALSE(WSocketIsDottedIP("10..0.1"));
    EXPECT_FALSE(WSocketIsDottedIP("10.0.0."));
    EXPECT_FALSE(WSocketIsDottedIP("10.0.0.1x"));
    EXPECT_FALSE(WSocketIsDottedIP("0010.0.0.1"));
    EXPECT_FALSE(WSocketIsDottedIP(""));
}

TEST(WSocketResolvePort, NumbersNeedNoLookupAndBadTextRaisesTheFixedMessages)
{
    EXPECT_EQ(WSocketResolvePort("21", "tcp"), 21);
    EXPECT_EQ(WSocketResolvePort("8080abc", "tcp"), 8080);  // leading digits only
    try {
        WSocketResolvePort(std::string(32, '1'), "tcp");
        FAIL() << "a 32-character port must be refused";
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "WSocketResolvePort: Invalid Port.");
    }
    EXPECT_THROW(WSocketResolvePort("", "tcp"), ESocketException);
    try {
        WSocketResolvePort("21", "");
        FAIL();
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "WSocketResolvePort: Invalid Proto.");
    }
    try {
        WSocketResolvePort("no-such-service-here", "tcp");
        FAIL();
    } catch (const ESocketException& e) {
        EXPECT_EQ(
            std::string(e.what()).rfind("WSocketResolvePort: Cannot convert port 'no-such-service-here', Error #", 0),
            0u);
    }
}

TEST(WSocketResolveProto, KnowsTcpAndUdpAndNumbers)
{
    EXPECT_EQ(WSocketResolveProto("tcp"), 6);
    EXPECT_EQ(WSocketResolveProto("udp"), 17);
    EXPECT_EQ(WSocketResolveProto("6"), 6);
    try {
        WSocketResolveProto("");
        FAIL();
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "WSocketResolveProto: Invalid Protocol.");
    }
}

TEST(WSocketResolveHost, DottedTextConvertsAndBadTextRaises)
{
    EXPECT_EQ(WSocketResolveHost("127.0.0.1"), 0x7F000001u);
    EXPECT_EQ(WSocketResolveHost("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(WSocketResolveHost("localhost"), 0x7F000001u);
    try {
        WSocketResolveHost("");
        FAIL();
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "WSocketResolveHost: '' Invalid Hostname.");
    }
    EXPECT_THROW(WSocketResolveHost(std::string(257, 'a')), ESocketException);
    try {
        WSocketResolveHost("10.0.0.256");
        FAIL();
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "WSocketResolveHost: '10.0.0.256' Invalid IP address.");
    }
    EXPECT_EQ(DottedAddress(0x7F000001u), "127.0.0.1");
}

TEST(WSocketHostLookups, ForwardAndReverseBlockingLookups)
{
    const auto localhost = WSocketGetHostByName("localhost");
    ASSERT_TRUE(localhost.has_value());
    EXPECT_FALSE(localhost->Name.empty());
    EXPECT_NE(std::find(localhost->Addresses.begin(), localhost->Addresses.end(), "127.0.0.1"),
              localhost->Addresses.end());
    EXPECT_FALSE(WSocketGetHostByName("no-such-host.invalid").has_value());

    const auto loopback = WSocketGetHostByAddr("127.0.0.1");
    ASSERT_TRUE(loopback.has_value());
    EXPECT_EQ(WSocketResolveIp("127.0.0.1"), loopback->Name);
    EXPECT_EQ(WSocketResolveIp("localhost"), "");  // a name is not an address

    try {
        WSocketGetHostByName("");
        FAIL();
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "WSocketGetHostByName: Invalid Hostname.");
    }
    try {
        WSocketGetHostByAddr(std::string(257, '1'));
        FAIL();
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "WSocketGetHostByAddr: Invalid address.");
    }
}

TEST(WSocketResolveEndpoint, ReadsEitherFamilyAndMappedAddressesAsIpv4)
{
    const std::pair<const char*, const char*> cases[] = {
        {"::1", "::1"},           {"[::1]", "::1"},           {"2001:DB8::1", "2001:db8::1"},
        {"::ffff:127.0.0.1", "127.0.0.1"}, {"127.0.0.1", "127.0.0.1"}, {"localhost", "127.0.0.1"},
    };
    for (const auto& [text, address] : cases) EXPECT_EQ(EndpointAddressText(WSocketResolveEndpoint(text)), address) << text;
    EXPECT_TRUE(WSocketResolveEndpoint("::1").v6);
    EXPECT_FALSE(WSocketResolveEndpoint("::ffff:127.0.0.1").v6);
    for (const char* bad : {"fe80::1%lo", "1::2::3", "[::1"}) EXPECT_THROW(WSocketResolveEndpoint(bad), ESocketException) << bad;
    EXPECT_FALSE(WSocketGetHostByAddr("1::2::3").has_value());
}

TEST(LocalIPList, ListsTheLoopbackLastAndEachCallRefills)
{
    const std::vector<std::string> first = LocalIPList();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.back().rfind("127.", 0), 0u);
    EXPECT_EQ(LocalIPList(), first);  // refilled, not appended to
}
