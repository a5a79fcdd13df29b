#include <gtest/gtest.h>

#include <algorithm>

#include "platform/local_addresses.h"
#include "platform/name_lookup.h"

namespace corvane {
namespace {

bool IsLoopback(const std::string& address) { return address.rfind("127.", 0) == 0; }

TEST(LocalAddressesTest, LoopbackAddressesComeLast)
{
    auto addresses = LocalIPv4Addresses();
    ASSERT_FALSE(addresses.empty());  // every host has at least its loopback interface up
    EXPECT_TRUE(
        std::is_partitioned(addresses.begin(), addresses.end(), [](const std::string& a) { return !IsLoopback(a); }));
    EXPECT_NE(std::find(addresses.begin(), addresses.end(), "127.0.0.1"), addresses.end());
}

TEST(NameLookupTest, DottedAddressesAndLocalhostResolveWithoutTheNetwork)
{
    EXPECT_EQ(LookupIPv4Addresses("127.0.0.1"), std::vector<std::string>{"127.0.0.1"});
    auto localhost = LookupIPv4Addresses("localhost");
    EXPECT_NE(std::find(localhost.begin(), localhost.end(), "127.0.0.1"), localhost.end());
    EXPECT_TRUE(LookupIPv4Addresses("").empty());
    EXPECT_FALSE(LocalHostName().empty());
}

}  // namespace
}  // namespace corvane
