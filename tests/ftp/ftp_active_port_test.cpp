// Active data connections leave from port 20 when this process may bind it, and from any port
// when it may not or when port 20 is busy.
#include <gtest/gtest.h>

#include <unistd.h>

#include "ftp_transfer_fixture.h"

using namespace corvane;
using namespace corvane::testing;

namespace {

int PeerPortOf(TWSocket& socket) { return std::stoi(socket.GetPeerPort()); }

}  // namespace

TEST_F(FtpTransferTest, ActiveDownloadsComeFromTheDataPortOrFallBack)
{
    scratch.Put("f.txt", "active");
    auto probe = LoggedIn();
    const auto download = [&](int& fromPort) {
        DataPeer peer;
        EXPECT_EQ(Port(*probe, peer), "200 Port command successful.");
        const int mark = probe->LineCount();
        probe->Send("RETR f.txt\r\n");
        EXPECT_TRUE(WaitFor([&] { return peer.connected; }));
        fromPort = peer.conn ? PeerPortOf(*peer.conn) : -1;
        const auto replies = RepliesAfter(*probe, mark, 2);
        EXPECT_TRUE(WaitFor([&] { return peer.closed; }));
        EXPECT_EQ(peer.received, "active");
        return replies.size() == 2 ? replies[1] : std::string("<missing>");
    };
    int fromPort = 0;
    EXPECT_EQ(download(fromPort), "226 File sent ok");
    if (::geteuid() != 0) {
        EXPECT_NE(fromPort, 20);  // no privileges: any other port
    }
    // Port 20 taken by a listener on the server's address: the connection still goes.
    TWSocket blocker;
    blocker.SetAddr("127.0.0.1");
    blocker.SetPort("20");
    try {
        blocker.Listen();
    } catch (const ESocketException&) {
        GTEST_SKIP() << "port 20 cannot be bound here; the fallback was already used above";
    }
    EXPECT_EQ(download(fromPort), "226 File sent ok");
    EXPECT_NE(fromPort, 20);
}
