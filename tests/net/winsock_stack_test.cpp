#include "net/winsock_stack.h"

#include <gtest/gtest.h>

#include "net/custom_wsocket.h"

using namespace corvane;

// The count is process-wide; these tests run with no other socket alive.
TEST(WinsockStack, SocketsAndTheForcedLoadKeepTheStackLoaded)
{
    EventLoop loop;
    const int before = WSocketLiveSocketCount();
    {
        TCustomWSocket first, second;
        EXPECT_EQ(WSocketLiveSocketCount(), before + 2);
        EXPECT_TRUE(WSocketStackLoaded());
        WSocketForceLoadWinsock();
        WSocketForceLoadWinsock();  // once only
        EXPECT_EQ(WSocketLiveSocketCount(), before + 3);
    }
    EXPECT_EQ(WSocketLiveSocketCount(), before + 1);
    EXPECT_TRUE(WSocketStackLoaded());  // held by the forced load alone
    WSocketCancelForceLoadWinsock();
    WSocketCancelForceLoadWinsock();  // nothing more to cancel
    EXPECT_EQ(WSocketLiveSocketCount(), before);
    if (before == 0) {
        EXPECT_FALSE(WSocketStackLoaded());
    }

    {
        TCustomWSocket socket;
        WSocketUnloadWinsock();
        EXPECT_FALSE(WSocketStackLoaded());
        TCustomWSocket next;  // the next use loads it again
        EXPECT_TRUE(WSocketStackLoaded());
    }
    EXPECT_EQ(WSocketLiveSocketCount(), before);
}

TEST(WinsockStack, InfoDescribesTheStackWithoutChangingTheCount)
{
    const int before = WSocketLiveSocketCount();
    const TWSAData info = WinsockInfo();
    EXPECT_EQ(info.wVersion, 0x0101);
    EXPECT_GE(info.wHighVersion, info.wVersion);
    EXPECT_NE(info.szDescription.find("Linux"), std::string::npos);
    EXPECT_EQ(info.szSystemStatus, "Running");
    EXPECT_GT(info.iMaxSockets, 0);
    EXPECT_EQ(info.iMaxUdpDg, 65507);
    EXPECT_EQ(WSocketLiveSocketCount(), before);
}
