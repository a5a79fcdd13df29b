#include "accounts/account.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(AccountCounters, CountsPerAddressReadAsTheyWereStored)
{
    accountClass jo("jo", false);
    for (int i = 0; i < 300; ++i)
        jo.SetIpConnectionCount("10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250), i);
    EXPECT_EQ(jo.IpConnectionCount("10.0.1.49"), 299);
    EXPECT_EQ(jo.IpConnectionCount("10.0.0.7"), 7);
    EXPECT_EQ(jo.IpConnectionCount("10.0.0"), 0);
    jo.SetIpConnectionCount("10.0.0.7", 8);
    EXPECT_EQ(jo.IpConnectionCount("10.0.0.7"), 8);
    // Counts outside 0..999,999,999 and addresses holding "*" read 0.
    jo.SetIpConnectionCount("10.0.0.7", -1);
    EXPECT_EQ(jo.IpConnectionCount("10.0.0.7"), 0);
    jo.SetIpConnectionCount("10.0.0.8", 1'000'000'000);
    EXPECT_EQ(jo.IpConnectionCount("10.0.0.8"), 0);
    jo.SetIpConnectionCount("a*b", 3);
    EXPECT_EQ(jo.IpConnectionCount("a*b"), 0);
}

}  // namespace
}  // namespace corvane
