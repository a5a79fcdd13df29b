#include "platform/send_file.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/scratch_folder.h"
#include "platform/socket_api.h"
#include "platform/win_errors.h"
#include "poll_wait.h"

using namespace corvane;
using namespace corvane::sockapi;

namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;

using corvane::testing::WaitFor;

// A connected loopback pair: `client` sends, `accepted` receives.
struct Pair {
    int listener = -1, client = -1, accepted = -1;
    Pair()
    {
        Create(Kind::Stream, 0, listener);
        Bind(listener, {kLoopback, 0});
        Listen(listener, 5);
        Endpoint bound, peer;
        LocalEndpoint(listener, bound);
        Create(Kind::Stream, 0, client);
        Connect(client, {kLoopback, bound.port});
        if (WaitFor(listener, POLLIN)) Accept(listener, accepted, peer);
        WaitFor(client, POLLOUT);
    }
    ~Pair()
    {
        for (int fd : {listener, client, accepted})
            if (fd >= 0) sockapi::Close(fd);
    }
    std::string ReadAll(std::size_t expected)
    {
        std::string bytes;
        char buffer[65536];
        while (bytes.size() < expected && WaitFor(accepted, POLLIN)) {
            int got = 0;
            if (Receive(accepted, buffer, sizeof buffer, false, got) != 0 || got == 0) break;
            bytes.append(buffer, static_cast<std::size_t>(got));
        }
        return bytes;
    }
};

}  // namespace

TEST(SendFile, SendsFromTheOffsetLeavesTheFilePositionAndReportsTheEnd)
{
    corvane::testing::ScratchFolder scratch;
    scratch.Put("f.txt", "0123456789");
    const int file = ::open(scratch.Join("f.txt").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(file, 0);
    Pair pair;
    ASSERT_GE(pair.accepted, 0);
    long long sent = -1;
    ASSERT_EQ(SendFile(pair.client, file, 3, 100, sent), 0);
    EXPECT_EQ(sent, 7);  // what the file holds from the offset on
    EXPECT_EQ(pair.ReadAll(7), "3456789");
    EXPECT_EQ(::lseek(file, 0, SEEK_CUR), 0);
    EXPECT_EQ(SendFile(pair.client, file, 10, 5, sent), 0);
    EXPECT_EQ(sent, 0);  // the end of the file
    EXPECT_EQ(SendFile(pair.client, file, 0, 0, sent), 0);
    EXPECT_EQ(sent, 0);
    ::close(file);
}

TEST(SendFile, AFullStackWouldBlockAndAResetPeerIsAnErrorNotASignal)
{
    corvane::testing::ScratchFolder scratch;
    const int file = ::open(scratch.Join("big").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::ftruncate(file, 64 << 20), 0);
    Pair pair;
    ASSERT_GE(pair.accepted, 0);
    long long offset = 0, sent = 0;
    int error = 0;
    for (int i = 0; i < 1000 && error == 0; ++i) {
        error = SendFile(pair.client, file, offset, (64 << 20) - offset, sent);
        offset += sent;
    }
    EXPECT_EQ(error, WSAEWOULDBLOCK);  // the peer reads nothing: the stack fills, the call returns
    EXPECT_GT(offset, 0);

    // The default action of SIGPIPE would end this process.
    ASSERT_EQ(SetLinger(pair.accepted, true, 0), 0);
    ASSERT_EQ(sockapi::Close(pair.accepted), 0);
    pair.accepted = -1;
    ASSERT_TRUE(WaitFor(pair.client, POLLIN));
    int errors = 0;
    for (int i = 0; i < 3; ++i)
        if (SendFile(pair.client, file, 0, 4096, sent) != 0) ++errors;
    EXPECT_EQ(errors, 3);
    sigset_t pending;
    sigpending(&pending);
    EXPECT_FALSE(sigismember(&pending, SIGPIPE));
    ::close(file);
}
