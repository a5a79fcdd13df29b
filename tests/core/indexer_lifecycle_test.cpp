// The indexer's place in the server thread: a pass at each FTP start and at each periodic
// rebuild, and a stop with the FTP service that ends even a long digest at once.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "core/ftp_server_thread.h"
#include "session_fixture.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

constexpr const char* kIndexingSettings = "ServerDesiredButNoP2PSharingMode=0\r\nMD5IndexingEnabled=1\r\n";

class IndexerLifecycleTest : public testing::SessionServerTest {
protected:
    int Passes() const { return view.CountContaining("FTP Local Indexing Started.. (w MD5)"); }
    int Completed() const { return view.CountContaining("FTP Local Indexing Complete."); }
    void ShareWithAnonymous()
    {
        ASSERT_TRUE(accounts().AddUser("Anonymous", "", "All Others"));
        Grant("Anonymous", MakeFolder("Pub"), "glci");
    }
};

TEST_F(IndexerLifecycleTest, EveryFtpStartAndEveryTwelveThousandTicksOfTenSecondsIndexAgain)
{
    // A 1 ms tick: the rebuild every 1 200 ticks comes after about 1.2 s.
    StartUp(kIndexingSettings, 1ms);
    ShareWithAnonymous();
    PutFile("Pub\\a.txt", "a");
    Listen();
    ASSERT_TRUE(Pump([this] { return Completed() == 1; }));
    EXPECT_EQ(controller->serverThread()->indexCount(), 1u);
    ASSERT_TRUE(Pump([this] { return Completed() == 2; }, 20s));
    EXPECT_GE(controller->serverThread()->reindexCounter(), 3600000u);
    EXPECT_EQ(controller->serverThread()->indexCount(), 1u);  // rebuilt, not added to
    controller->stopServices(kServiceFtp);
    Listen();
    ASSERT_TRUE(Pump([this] { return Completed() >= 3; }));
}

TEST_F(IndexerLifecycleTest, StoppingFtpEndsAPassInTheMiddleOfAHugeDigest)
{
    StartUp(kIndexingSettings);
    ShareWithAnonymous();
    // Ten gigabytes that take no disk space; a whole digest would take far longer than the test.
    PutFile("Pub\\huge.bin", "");
    std::filesystem::resize_file(home.Join("drive_c/Pub/huge.bin"), 10ULL << 30);
    Listen();
    ASSERT_TRUE(Pump([this] { return Passes() == 1; }));
    const auto before = std::chrono::steady_clock::now();
    controller->stopServices(kServiceFtp);
    ASSERT_TRUE(Pump([this] { return !controller->ftpListening() && Completed() == 1; }));
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
}

// The indexer's warning box is left open while the operator is away: the window thread serves
// its queue inside it, as a modal box does, and the indexer goes on without an answer. The
// periodic rebuild restarts the indexer meanwhile, and an FTP client is served throughout.
TEST_F(IndexerLifecycleTest, ABoxLeftOpenAcrossARestartOfTheIndexerHoldsUpNoClient)
{
    StartUp(kIndexingSettings, 1ms);
    ShareWithAnonymous();
    AddUser("bob", "secret", MakeFolder("Bob"));
    // A registered network whose service does not answer: the pass warns either that the
    // machine has no real address or that the index server lookup failed.
    P2PNetwork network;
    network.name = "Silent";
    network.address = "http://127.0.0.1:" + std::to_string(testing::FreeLoopbackPort()) + "/v6";
    network.userName = "someone";
    network.password = "secret";
    network.enabled = true;
    {
        std::lock_guard guard(controller->networkList().Lock());
        controller->networkList().Entries().push_back(network);
    }
    int boxes = 0;
    std::atomic<bool> restarted{false};
    bool restartedWhileOpen = false;
    std::string clientSaw;
    view.messageBox = [&](const std::string&) {
        if (++boxes > 1) return;  // a later box of the new pass is answered at once
        std::atomic<bool> clientDone{false};
        std::thread client([&] {
            // The pass, and with it the box, may come before the service listens.
            const auto deadline = std::chrono::steady_clock::now() + 5s;
            while (!controller->ftpListening() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
            testing::FtpTestClient ftp(port);
            clientSaw = ftp.Login("bob", "secret");
            // Each reply must come while the box stays open, before and after the restart.
            while (!restarted.load() && clientSaw.rfind("230 ", 0) == 0) {
                const std::string reply = ftp.Command("NOOP");
                if (reply.rfind("200 ", 0) != 0) clientSaw = "NOOP: " + reply;
                std::this_thread::sleep_for(20ms);  // a client's pace, not a wait for an event
            }
            if (clientSaw.rfind("230 ", 0) == 0) clientSaw = ftp.Command("NOOP");
            clientDone = true;
        });
        // The first pass has ended on its own, and a second one has started.
        restartedWhileOpen = Pump(
            [&] {
                restarted = Completed() >= 1 && Passes() >= 2;
                return restarted.load() && clientDone.load();
            },
            20s);
        restarted = true;  // the operator answers: the client stops either way
        client.join();
    };
    Listen();
    ASSERT_TRUE(Pump([&] { return boxes >= 1; }, 10s));
    EXPECT_TRUE(restartedWhileOpen);
    EXPECT_EQ(clientSaw.substr(0, 4), "200 ") << clientSaw;
}

TEST_F(IndexerLifecycleTest, WithoutP2PSharingNothingIsIndexed)
{
    StartUp();
    ShareWithAnonymous();
    PutFile("Pub\\a.txt", "a");
    Listen();
    Pump([] { return false; }, 300ms);
    EXPECT_EQ(view.CountContaining("Local Indexing"), 0);
    EXPECT_EQ(controller->serverThread()->indexCount(), 0u);
}

}  // namespace
}  // namespace corvane
