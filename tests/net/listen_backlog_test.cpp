// The accept queue of a listening socket: a burst of connections that arrives before the
// owner accepts any of them is held by the stack up to the backlog; the rest of the burst is
// dropped and those clients hang in their connect.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/custom_wsocket.h"

using namespace corvane;

namespace {

// Starts `count` non-blocking connects to the port at once and counts those that completed
// within a short wait, without the listener accepting any of them.
int CompletedConnects(int port, int count)
{
    std::vector<int> fds;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fds.push_back(fd);
    }
    int completed = 0;
    std::vector<bool> done(fds.size(), false);
    for (int round = 0; round < 30 && completed < count; ++round) {
        std::vector<pollfd> polls;
        for (std::size_t i = 0; i < fds.size(); ++i)
            if (!done[i]) polls.push_back({fds[i], POLLOUT, 0});
        ::poll(polls.data(), polls.size(), 10);
        for (const pollfd& p : polls) {
            int error = -1;
            socklen_t size = sizeof error;
            if ((p.revents & POLLOUT) == 0 || ::getsockopt(p.fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 ||
                error != 0)
                continue;
            for (std::size_t i = 0; i < fds.size(); ++i)
                if (fds[i] == p.fd) done[i] = true;
            ++completed;
        }
    }
    for (int fd : fds) ::close(fd);
    return completed;
}

int ListeningPort(TCustomWSocket& listener) { return std::stoi(listener.GetXPort()); }

}  // namespace

TEST(ListenBacklog, DefaultQueueHoldsFiveAndALargerOneHoldsTheWholeBurst)
{
    EventLoop loop;
    TCustomWSocket small;
    small.SetAddr("127.0.0.1");
    small.SetPort("0");
    small.Listen();
    EXPECT_LT(CompletedConnects(ListeningPort(small), 40), 40);

    TCustomWSocket large;
    large.SetAddr("127.0.0.1");
    large.SetPort("0");
    large.SetListenBacklog(128);
    large.Listen();
    EXPECT_EQ(CompletedConnects(ListeningPort(large), 40), 40);
}
