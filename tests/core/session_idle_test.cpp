// The idle timeout and the throttle's pause, seen from real clients on a short tick: a silent
// client is dropped, a client whose download is held to its account's rate is not, and a held
// block never holds anyone else.
#include <atomic>
#include <thread>

#include "core/sm_throttle.h"
#include "session_fixture.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using testing::FtpTestClient;
using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A download held to a rate goes in blocks of a tenth of a second at that rate; its first two
// blocks go at once, every later one after a pause of about 100 ms. So a file of 27 blocks at
// 100 KB/s is held some 2.5 s, at 200 KB/s (blocks twice as big) some 1.2 s.
constexpr int kSlowRateKb = 100;
constexpr int kQuickRateKb = 200;
constexpr std::size_t kSlowBlock = kSlowRateKb * 1024 / 10;
constexpr std::size_t kTwoBlocks = 2 * kSlowBlock;
const std::string kHeldFile(27 * kSlowBlock, 'h');

class SessionIdleTest : public testing::SessionServerTest {
protected:
    void SetUp() override
    {
        StartUp("", 100ms);
        homeFolder = MakeFolder("Home");
        PutFile("Home\\held.bin", kHeldFile);
        PutFile("Home\\small.txt", "small");
    }
    void AddAccount(const std::string& name, int idleSeconds, int rateKb)
    {
        AddUser(name, "pw", homeFolder, "glci");
        accounts().SetIdleTimeout(name, idleSeconds);
        accounts().SetMaxTransferRate(name, rateKb);
    }
    std::string homeFolder;
};

TEST_F(SessionIdleTest, OnlyTheSilentLoggedInClientIsDropped)
{
    AddAccount("ed", 1, 0);
    Listen();
    std::atomic<bool> silentDropped{false};
    long long silentFor = 0;
    bool dropped = false;
    std::string unnamedReply, activeReply;
    RunClients({
        [&] {
            FtpTestClient silent(port);
            ASSERT_EQ(silent.Login("ed", "pw"), "230 User ed logged in.");
            const auto start = Clock::now();
            silent.ReadUntilClosed(6000ms);
            dropped = silent.ClosedByServer();
            silentFor = MsSince(start);
            silentDropped = true;
        },
        [&] {
            // A client that has named no account has no idle timeout.
            FtpTestClient unnamed(port);
            unnamed.Reply();
            unnamed.Command("USER nobody");
            // The idle check that dropped the silent client had ended before its close was
            // seen: a client it spared is still connected now.
            while (!silentDropped) std::this_thread::sleep_for(10ms);
            unnamedReply = unnamed.Command("NOOP");
            unnamed.Command("QUIT");
        },
        [&] {
            FtpTestClient active(port);
            active.Login("ed", "pw");
            while (!silentDropped) {
                active.Command("NOOP");
                std::this_thread::sleep_for(200ms);
            }
            activeReply = active.Command("NOOP");
            active.Command("QUIT");
        },
    });
    EXPECT_TRUE(dropped);
    // Dropped once more than the timeout's whole seconds have passed, at the next tick.
    EXPECT_GE(silentFor, 1500);
    EXPECT_LT(silentFor, 5000);
    EXPECT_EQ(unnamedReply.substr(0, 3), "200");
    EXPECT_EQ(activeReply.substr(0, 3), "200");
    ASSERT_TRUE(Pump([this] { return controller->sessions().Count() == 0; }));
    EXPECT_EQ(accounts().GetConnectionCount("ed"), 0);
    EXPECT_EQ(accounts().GetIpConnectionCount("ed", "127.0.0.1"), 0);
}

TEST_F(SessionIdleTest, DownloadHeldToTheRateOutlastsTheTimeoutAndOthersAreServedMeanwhile)
{
    AddAccount("slow", 1, kSlowRateKb);
    AddAccount("fast", 0, 0);
    Listen();
    std::atomic<bool> held{false};
    std::atomic<long long> heldDoneAt{0};
    std::atomic<long long> fastDoneAt{0};
    std::string heldReply, heldData, afterReply, fastReply, fastData;
    long long heldFor = 0;
    const auto t0 = Clock::now();
    RunClients({
        [&] {
            FtpTestClient client(port);
            client.Login("slow", "pw");
            const auto start = Clock::now();
            heldReply = client.Retrieve("RETR held.bin", heldData, [&](std::size_t got) {
                if (got >= kTwoBlocks) held = true;
            });
            heldFor = MsSince(start);
            heldDoneAt = MsSince(t0);
            afterReply = client.Command("NOOP");
            client.Command("QUIT");
        },
        [&] {
            FtpTestClient client(port);
            client.Login("fast", "pw");
            while (!held && MsSince(t0) < 8000) std::this_thread::sleep_for(5ms);
            fastReply = client.Retrieve("RETR small.txt", fastData);
            fastDoneAt = MsSince(t0);
            client.Command("QUIT");
        },
    });
    EXPECT_EQ(heldReply, "226 File sent ok");
    EXPECT_EQ(heldData.size(), kHeldFile.size());
    EXPECT_GE(heldFor, 2000);                   // the blocks were held for the computed pauses
    EXPECT_EQ(afterReply.substr(0, 3), "200");  // not cut by the idle timeout
    EXPECT_EQ(fastReply, "226 File sent ok");
    EXPECT_EQ(fastData, "small");
    EXPECT_LT(fastDoneAt.load(), heldDoneAt.load());
}

TEST_F(SessionIdleTest, HeldBlocksOfTwoClientsDoNotNest)
{
    AddAccount("quick", 0, kQuickRateKb);
    AddAccount("slow", 0, kSlowRateKb);  // its pauses begin while the first is held
    Listen();
    std::atomic<bool> quickHeld{false};
    std::atomic<long long> quickDoneAt{0};
    std::atomic<long long> slowDoneAt{0};
    std::string quickReply, slowReply, data1, data2;
    const auto t0 = Clock::now();
    RunClients({
        [&] {
            FtpTestClient client(port);
            client.Login("quick", "pw");
            quickReply = client.Retrieve("RETR held.bin", data1, [&](std::size_t got) {
                if (got >= kTwoBlocks) quickHeld = true;
            });
            quickDoneAt = MsSince(t0);
            client.Command("QUIT");
        },
        [&] {
            FtpTestClient client(port);
            client.Login("slow", "pw");
            while (!quickHeld && MsSince(t0) < 8000) std::this_thread::sleep_for(2ms);
            slowReply = client.Retrieve("RETR held.bin", data2);
            slowDoneAt = MsSince(t0);
            client.Command("QUIT");
        },
    });
    EXPECT_EQ(quickReply, "226 File sent ok");
    EXPECT_EQ(slowReply, "226 File sent ok");
    EXPECT_EQ(data1.size(), kHeldFile.size());
    EXPECT_EQ(data2.size(), kHeldFile.size());
    // A pause held inside the other's would end only with it.
    EXPECT_LT(quickDoneAt.load() + 500, slowDoneAt.load());
}

// Held to 100 KB/s, a download keeps that pace from its start: it does not burst out big blocks
// and then wait seconds for them.
TEST_F(SessionIdleTest, HeldDownloadKeepsAnEvenPace)
{
    AddAccount("paced", 0, kSlowRateKb);
    Listen();
    std::string reply, data;
    std::size_t byOneSecond = 0;
    RunClients({[&] {
        FtpTestClient client(port);
        client.Login("paced", "pw");
        const auto start = Clock::now();
        reply = client.Retrieve("RETR held.bin", data, [&](std::size_t got) {
            if (MsSince(start) <= 1000) byOneSecond = got;
        });
        client.Command("QUIT");
    }});
    EXPECT_EQ(reply, "226 File sent ok");
    EXPECT_EQ(data.size(), kHeldFile.size());
    // About 120 KB by then: two free blocks and eight held ones.
    EXPECT_LT(byOneSecond, kHeldFile.size() / 2) << byOneSecond;
}

TEST(ThrottleRestartTest, ClearStartsADownloadAfreshWhateverTheLastOneLeft)
{
    std::uint32_t now = 5000;
    TSMThrottle throttle([&now] { return now; });
    throttle.Clear();
    std::int64_t bytes = 0;
    for (int block = 0; block < 5; ++block) {
        now += 300;
        bytes += 8196;
        throttle.Delay(bytes, 10240, true);
    }
    throttle.Clear();
    // The next download's first block is not held; its second is held for the window at the
    // limit: 8 196 bytes at 10 240 bytes/s.
    now += 10;
    EXPECT_EQ(throttle.Delay(8196, 10240, true), -1);
    now += 10;
    EXPECT_EQ(throttle.Delay(2 * 8196, 10240, true), 800);
}

}  // namespace
}  // namespace corvane
