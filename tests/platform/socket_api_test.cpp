#include "platform/socket_api.h"

#include <gtest/gtest.h>
#include <poll.h>

#include "platform/win_errors.h"
#include "poll_wait.h"

using namespace corvane;
using namespace corvane::sockapi;

namespace {
constexpr std::uint32_t kLoopback = 0x7F000001;

using corvane::testing::WaitFor;
}  // namespace

TEST(SocketApi, LoopbackConnectionCarriesBytesAndReportsWouldBlock)
{
    int listener = -1;
    ASSERT_EQ(Create(Kind::Stream, 0, listener), 0);
    ASSERT_EQ(Bind(listener, {kLoopback, 0}), 0);
    ASSERT_EQ(Listen(listener, 5), 0);
    Endpoint bound;
    ASSERT_EQ(LocalEndpoint(listener, bound), 0);
    EXPECT_GT(bound.port, 0);

    int newFd = -1;
    Endpoint peer;
    EXPECT_EQ(Accept(listener, newFd, peer), WSAEWOULDBLOCK);  // nothing waiting, never blocks

    int client = -1;
    ASSERT_EQ(Create(Kind::Stream, 0, client), 0);
    const int rc = Connect(client, {kLoopback, bound.port});
    EXPECT_TRUE(rc == 0 || rc == WSAEWOULDBLOCK);
    int accepted = -1;
    ASSERT_TRUE(WaitFor(listener, POLLIN));
    ASSERT_EQ(Accept(listener, accepted, peer), 0);
    ASSERT_GE(accepted, 0);
    EXPECT_EQ(peer.address, kLoopback);

    int sent = 0, got = 0, ready = 0;
    ASSERT_EQ(Send(client, "ping", 4, false, sent), 0);
    EXPECT_EQ(sent, 4);
    char buffer[16];
    ASSERT_TRUE(WaitFor(accepted, POLLIN));
    ASSERT_EQ(BytesReady(accepted, ready), 0);
    EXPECT_EQ(ready, 4);
    ASSERT_EQ(Receive(accepted, buffer, sizeof buffer, false, got), 0);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(got)), "ping");
    EXPECT_EQ(Receive(accepted, buffer, sizeof buffer, false, got), WSAEWOULDBLOCK);

    // The peer resets: a send on the other end reports the system's reset number, not SIGPIPE.
    ASSERT_EQ(SetLinger(accepted, true, 0), 0);
    ASSERT_EQ(sockapi::Close(accepted), 0);
    int error = 0;
    ASSERT_TRUE(WaitFor(client, POLLIN));
    for (int i = 0; i < 100 && error == 0; ++i) error = Send(client, "x", 1, false, sent);
    EXPECT_EQ(error, WSAECONNRESET);
    sockapi::Close(client);
    sockapi::Close(listener);
}

TEST(SocketApi, ConnectionRefusedIsReportedThroughThePendingError)
{
    int probe = -1;
    ASSERT_EQ(Create(Kind::Stream, 0, probe), 0);
    ASSERT_EQ(Bind(probe, {kLoopback, 0}), 0);
    Endpoint unused;
    ASSERT_EQ(LocalEndpoint(probe, unused), 0);
    sockapi::Close(probe);  // a port that nobody listens on

    int client = -1;
    ASSERT_EQ(Create(Kind::Stream, 0, client), 0);
    int rc = Connect(client, {kLoopback, unused.port});
    if (rc == WSAEWOULDBLOCK) {
        ASSERT_TRUE(WaitFor(client, POLLOUT));
        ASSERT_EQ(PendingError(client, rc), 0);
    }
    EXPECT_EQ(rc, WSAECONNREFUSED);
    sockapi::Close(client);
}
