#include "platform/win_errors.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>

using namespace corvane;

TEST(WinSockErrors, HostErrnoValuesMapOntoTheSystemNumbering)
{
    EXPECT_EQ(WinSockErrorFromErrno(0), 0);
    EXPECT_EQ(WinSockErrorFromErrno(EWOULDBLOCK), 10035);
    EXPECT_EQ(WinSockErrorFromErrno(EAGAIN), 10035);
    EXPECT_EQ(WinSockErrorFromErrno(EINPROGRESS), 10036);
    EXPECT_EQ(WinSockErrorFromErrno(EADDRINUSE), 10048);
    EXPECT_EQ(WinSockErrorFromErrno(ENETUNREACH), 10051);
    EXPECT_EQ(WinSockErrorFromErrno(ECONNABORTED), 10053);
    EXPECT_EQ(WinSockErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(WinSockErrorFromErrno(EPIPE), 10054);  // a send after the peer reset
    EXPECT_EQ(WinSockErrorFromErrno(ENOTCONN), 10057);
    EXPECT_EQ(WinSockErrorFromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(WinSockErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(WinSockErrorFromErrno(EHOSTUNREACH), 10065);
}

TEST(WinSockErrors, LookupFailuresMapOntoTheHostNumbers)
{
    EXPECT_EQ(WinSockErrorFromLookup(0), 0);
    EXPECT_EQ(WinSockErrorFromLookup(EAI_NONAME), 11001);
    EXPECT_EQ(WinSockErrorFromLookup(EAI_AGAIN), 11002);
    EXPECT_EQ(WinSockErrorFromLookup(EAI_FAIL), 11003);
}

TEST(WinSockErrors, EveryMappedNumberHasItsOwnText)
{
    EXPECT_EQ(WSocketErrorDesc(0), "No Error");
    EXPECT_EQ(WSocketErrorDesc(10054), "Connection reset by peer");
    EXPECT_EQ(WSocketErrorDesc(10058), "Can't send after socket shutdown");
    EXPECT_EQ(WSocketErrorDesc(11004), "No Data");
    EXPECT_EQ(WSocketErrorDesc(10001), "Not a WinSock error");
    EXPECT_EQ(WSocketErrorDesc(-1), "Not a WinSock error");
    // Whatever errno the host reports, the number it maps to is one the table can describe.
    for (int e = 1; e < 134; ++e)
        EXPECT_NE(WSocketErrorDesc(WinSockErrorFromErrno(e)), "Not a WinSock error") << "errno " << e;
}
