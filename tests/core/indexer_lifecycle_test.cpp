// The indexer's place in the server thread: a pass at each FTP start and at each periodic
// rebuild, and a stop with the FTP service that ends even a long digest at once.
#include <gtest/gtest.h>

#include <filesystem>

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
