// Hostile crowds never make a connection count drift: after hundreds of clients from one
// address have come and gone (logging in, flooding USER and PASS, leaving in the middle of a
// login, never reading a reply, sending garbage, leaving during a held download, or refused for
// too many users), every count is back to 0 and the session table is empty.
#include <latch>
#include <mutex>
#include <random>
#include <thread>

#include "session_fixture.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using testing::FtpTestClient;

constexpr int kWorkers = 10;
constexpr int kConnectionsPerWorker = 30;  // 300 at once: beyond the 256 the server takes
constexpr int kHeldDownloads = 6;
// A download of the "slow" account is past its free blocks, and held, after kHeldAfter bytes.
constexpr std::size_t kHeldAfter = 2 * 10240;
constexpr std::size_t kHeldFileSize = 40 * 10240;

class SessionLoadTest : public testing::SessionServerTest {
protected:
    void SetUp() override
    {
        // The crowd comes from one address: the per-address cap of connections waiting to log in
        // would refuse it before the connection limit does, which is what is counted here.
        StartUp("MaximumNumberOfConnections=256\r\nMaxWaitingConnectionsPerAddress=0\r\n", 200ms);
        const std::string homeFolder = MakeFolder("Home");
        AddUser("crowd", "pw", homeFolder);
        AddUser("capped", "pw", homeFolder);
        accounts().SetMaxIpConnections("capped", 3);
        accounts().SetMaxAccountConnections("capped", 5);
        AddUser("slow", "pw", homeFolder);
        accounts().SetMaxTransferRate("slow", 100);  // blocks of 10 KiB, held about 100 ms each
        PutFile("Home\\held.bin", std::string(kHeldFileSize, 'h'));
    }

    // One client's behaviour, chosen by its number.
    static void Behave(FtpTestClient& client, int kind, std::mt19937& random)
    {
        switch (kind % 6) {
        case 0:  // an ordinary visit
            client.LoginAgain("crowd", "pw");
            client.Command("NOOP");
            client.Command("QUIT");
            break;
        case 1: {  // a flood of logins, right and wrong, sent at once and read only at the end
            std::string flood;
            for (int i = 0; i < 10; ++i)
                flood += i % 3 == 2 ? "USER crowd\r\nPASS bad\r\n" : "USER crowd\r\nPASS pw\r\n";
            client.Send(flood + "NOOP end\r\n");
            for (std::string line = client.ReadLine(); line.rfind("200 ", 0) != 0; line = client.ReadLine())
                if (line == "<closed>" || line == "<timeout>") break;
            break;
        }
        case 2:  // gone in the middle of a login
            client.Send("USER crowd\r\n");
            break;
        case 3:  // logged in, then commands whose replies it never reads
            client.Send("USER capped\r\nPASS pw\r\n");
            for (int i = 0; i < 300; ++i) client.Send("NOOP\r\n");
            break;
        case 4: {  // garbage, a NUL, bare line ends and a line longer than any buffer
            std::string garbage(20000, '\0');
            for (char& c : garbage) c = static_cast<char>(random() % 256);
            const std::string start("\r\n\n\0PASS\r\n", 10);
            client.Send(start + garbage + "\r\nUSER\r\nPASS pw\r\n");
            break;
        }
        default:  // logins of an account allowed three from this address
            client.LoginAgain("capped", "pw");
            client.Command("PWD");
            client.Command("QUIT");
            break;
        }
    }

    void RunTheCrowd();
};

TEST_F(SessionLoadTest, EveryCountIsBackToZeroAfterTheCrowdHasGone)
{
    Listen();
    RunTheCrowd();
}

// Each connect decision now waits for a reverse lookup while the others are served.
TEST_F(SessionLoadTest, CountsStayRightWhenEveryConnectWaitsForAReverseLookup)
{
    accounts().IpRules().SetReverseDnsCheck(true);
    Listen();
    RunTheCrowd();
}

void SessionLoadTest::RunTheCrowd()
{
    std::vector<std::function<void()>> bodies;
    std::mutex connecting;
    // The held downloads log in first; then every worker opens all its connections, and only
    // when all are open does any of them act, so the server holds more than it takes.
    std::latch downloadersIn(kHeldDownloads);
    std::latch allConnected(kWorkers);
    std::atomic<int> tooMany{0};
    for (int w = 0; w < kWorkers; ++w)
        bodies.emplace_back([&, w] {
            downloadersIn.wait();
            std::mt19937 random(static_cast<unsigned>(w));
            std::vector<std::unique_ptr<FtpTestClient>> clients;
            for (int i = 0; i < kConnectionsPerWorker; ++i) {
                // One connection at a time waits to be taken, so the listener's short queue of
                // pending connections never overflows; all of them stay open together.
                std::lock_guard one(connecting);
                clients.push_back(std::make_unique<FtpTestClient>(port));
                if (clients.back()->Reply() == "421 Too many users connected.") ++tooMany;
            }
            allConnected.arrive_and_wait();
            for (int i = 0; i < kConnectionsPerWorker; ++i) {
                Behave(*clients[static_cast<std::size_t>(i)], w + i, random);
                clients[static_cast<std::size_t>(i)]->Close();  // abrupt, whatever is still unread
            }
        });
    for (int h = 0; h < kHeldDownloads; ++h)
        bodies.emplace_back([&] {
            // Gone, data connection and all, while the server holds its next block.
            std::unique_lock one(connecting);
            FtpTestClient client(port);
            client.Reply();
            one.unlock();
            const bool in = client.LoginAgain("slow", "pw") == "230 User slow logged in.";
            downloadersIn.count_down();
            if (!in) return;
            std::string data;
            bool heldNow = false;
            client.Retrieve("RETR held.bin", data, [&](std::size_t got) {
                if (got >= kHeldAfter && !heldNow) {
                    heldNow = true;
                    client.Close();
                }
            });
        });
    RunClients(bodies);
    EXPECT_GE(tooMany.load(), kWorkers * kConnectionsPerWorker - 256);
    EXPECT_TRUE(Pump([this] { return controller->sessions().Count() == 0; }, 20000ms))
        << controller->sessions().Count() << " rows left";
    EXPECT_TRUE(Pump([this] { return controller->clientCount(kServiceFtp) == 0; }, 5000ms));
    for (const std::string user : {"crowd", "capped", "slow"}) {
        EXPECT_EQ(accounts().GetConnectionCount(user), 0) << user;
        EXPECT_EQ(accounts().GetIpConnectionCount(user, "127.0.0.1"), 0) << user;
    }
    // The server still serves after the crowd.
    std::string reply;
    RunClient([&] {
        FtpTestClient client(port);
        reply = client.Login("capped", "pw");
        client.Command("QUIT");
    });
    EXPECT_EQ(reply, "230 User capped logged in.");
    EXPECT_TRUE(Pump([this] { return accounts().GetConnectionCount("capped") == 0; }));
    StopAndFlushLog();
    EXPECT_GT(view.CountContaining(" Disconnected"), kWorkers * kConnectionsPerWorker);
}

}  // namespace
}  // namespace corvane
