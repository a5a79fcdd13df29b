// The cache inside the running server: real curl clients fetch over FTP and HTTP while the
// window thread keeps serving, and the cache's own figures and the window's cache view show
// what the transfers did.
#include <gtest/gtest.h>

#include <future>

#include "../e2e/server_process.h"
#include "common/program_folder.h"
#include "core/event_loop_window_thread.h"
#include "core/ftp_server_thread.h"
#include "core/server_controller.h"
#include "window_thread_pump.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;

struct CacheView : SilentServerView {
    std::vector<CacheViewContents> shown;
    void ShowCacheView(const CacheViewContents& contents) override { shown.push_back(contents); }
};

class CacheWiringTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = testing::HomeWithFullShare(scratch, ftpPort);
        share = home + "/drive_c/My Downloads";
        testing::WriteFile(home + "/CorvaneServer.ini",
                           "[ServerData]\r\nPort=" + std::to_string(ftpPort) +
                               "\r\nUserSetServerIP=127.0.0.1\r\n"
                               "ServerFirstRun=0\r\nWebServerPort=" +
                               std::to_string(httpPort) +
                               "\r\nWebServerRoot=C:\\My Downloads\r\nCacheAutoRefreshGUI=1\r\n");
        SetProgramFolder(home + "/");
        controller = std::make_unique<serverController>(window, view, std::vector<std::string>{});
        controller->startUp();
        controller->startServices(kServiceBoth);
        ASSERT_TRUE(Pump([&] { return controller->ftpListening() && controller->httpListening(); }));
    }
    void TearDown() override { controller->shutDown(); }

    bool Pump(const std::function<bool()>& done) { return testing::PumpUntil(loop, done, std::chrono::seconds(30)); }
    // curl runs on its own thread: the server thread waits on this one for its hand-offs.
    std::string Curl(const std::string& arguments)
    {
        auto run = std::async(std::launch::async, [arguments] {
            std::string output;
            testing::RunCommand("curl -s -S --max-time 20 --happy-eyeballs-timeout-ms 1 " + arguments, output);
            return output;
        });
        Pump([&] { return run.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
        return run.get();
    }
    std::string Ftp(const std::string& path) const { return "ftp://127.0.0.1:" + std::to_string(ftpPort) + path; }
    std::string Http(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(httpPort) + path; }
    serverCacheClass& cache() { return controller->serverThread()->cacheHooks().Cache(); }
    const CacheSnapshotRow* Row(const std::string& key)
    {
        snapshot = cache().CacheSnapshot();
        for (const auto& row : snapshot.rows)
            if (NormalCacheKey(row.key) == NormalCacheKey(key)) return &row;
        return nullptr;
    }

    int ftpPort = FreeLoopbackPort();
    int httpPort = FreeLoopbackPort();
    testing::ScratchFolder scratch;
    std::string home, share;
    EventLoop loop;
    EventLoopWindowThread window{loop};
    CacheView view;
    std::unique_ptr<serverController> controller;
    CacheSnapshotData snapshot;
};

TEST_F(CacheWiringTest, SecondDownloadOnEachProtocolIsAHit)
{
    const std::string bytes(300000, 'q');
    testing::WriteFile(share + "/f.bin", bytes);
    testing::WriteFile(share + "/g.bin", bytes + "g");
    EXPECT_EQ(Curl(Http("/f.bin")), bytes);
    EXPECT_EQ(Curl(Http("/f.bin")), bytes);
    const CacheSnapshotRow* row = Row("C:\\My Downloads\\f.bin");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->hits, 1);
    EXPECT_FLOAT_EQ(snapshot.hitRate, 50.0f);
    EXPECT_EQ(Curl(Ftp("/g.bin")), bytes + "g");
    EXPECT_EQ(Curl(Ftp("/g.bin")), bytes + "g");
    row = Row("C:\\My Downloads\\g.bin");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->hits, 1);
    // A range fills only its part; the whole file then completes the entry.
    testing::WriteFile(share + "/h.bin", bytes + "hh");
    EXPECT_EQ(Curl("-r 1000-1999 " + Http("/h.bin")), bytes.substr(1000, 1000));
    EXPECT_EQ(Curl(Http("/h.bin")), bytes + "hh");
    EXPECT_EQ(Curl(Http("/h.bin")), bytes + "hh");
    EXPECT_EQ(Row("C:\\My Downloads\\h.bin")->hits, 1);
    // A HEAD on the connection of a GET served from memory tells its own length, not the GET's.
    testing::WriteFile(share + "/short.txt", "12345");
    const std::string both = Curl(Http("/f.bin") + " --next -s -I " + Http("/short.txt"));
    EXPECT_NE(both.find("Content-Length: 5\r\n"), std::string::npos) << both.substr(both.size() - 200);
    // The window's view was refreshed as the transfers ended.
    ASSERT_TRUE(Pump([&] { return !view.shown.empty() && view.shown.back().rows.size() == 3; }));
    EXPECT_EQ(view.shown.back().hitRateText, "50.00%");  // 4 hits in 8 lookups
}

TEST_F(CacheWiringTest, ListingsComeFromTheCacheUntilTheFolderChanges)
{
    testing::WriteFile(share + "/sub/a.txt", "first");
    const std::string first = Curl(Ftp("/sub/"));
    EXPECT_NE(first.find(" a.txt"), std::string::npos) << first;
    EXPECT_EQ(Curl(Ftp("/sub/")), first);
    const CacheSnapshotRow* row = Row("C:\\My Downloads\\sub");
    ASSERT_NE(row, nullptr) << snapshot.rows.size();
    EXPECT_TRUE(row->isFolder);
    EXPECT_EQ(row->hits, 1);
    // The names-only listing is another text of the folder: never from the cache.
    EXPECT_EQ(Curl("-l " + Ftp("/sub/")), ".\n..\na.txt\n");
    // An upload that rewrites a file in place leaves the folder's time alone: the listing goes.
    testing::WriteFile(scratch.Join("longer.txt"), "a longer text");
    Curl("-T " + scratch.Join("longer.txt") + " " + Ftp("/sub/a.txt"));
    EXPECT_EQ(Row("C:\\My Downloads\\sub"), nullptr);
    const std::string after = Curl(Ftp("/sub/"));
    EXPECT_NE(after.find("          13 "), std::string::npos) << after;
    // The HTTP listing page is cached under its marker key, and goes with an upload too.
    const std::string page = Curl(Http("/sub/"));
    EXPECT_NE(page.find("a.txt"), std::string::npos);
    EXPECT_EQ(Curl(Http("/sub/")), page);
    ASSERT_NE(Row("C:\\My Downloads\\sub\\<HTTPDirectoryListing>"), nullptr);
    EXPECT_EQ(Row("C:\\My Downloads\\sub\\<HTTPDirectoryListing>")->hits, 1);
    Curl("-T " + scratch.Join("longer.txt") + " " + Ftp("/sub/b.txt"));
    EXPECT_EQ(Row("C:\\My Downloads\\sub\\<HTTPDirectoryListing>"), nullptr);
    EXPECT_NE(Curl(Http("/sub/")).find("b.txt"), std::string::npos);
}

TEST_F(CacheWiringTest, SettingsReachTheCacheAndTheViewAsked)
{
    testing::WriteFile(share + "/f.txt", "0123456789");
    Curl(Http("/f.txt"));
    EXPECT_EQ(cache().EntryCount(), 1u);
    view.shown.clear();
    controller->refreshCacheView();
    ASSERT_TRUE(Pump([&] { return !view.shown.empty(); }));
    ASSERT_EQ(view.shown.back().rows.size(), 1u);
    EXPECT_EQ(view.shown.back().rows[0].name, "C:\\My Downloads\\f.txt");
    EXPECT_EQ(view.shown.back().rows[0].icon, 6);
    EXPECT_EQ(view.shown.back().rows[0].hitsText, "0");
    controller->settings().CacheSize = 0;
    controller->settings().FileCacheEnabled = false;
    controller->applyCacheSettings();
    EXPECT_EQ(cache().EntryCount(), 0u);
    EXPECT_EQ(Curl(Http("/f.txt")), "0123456789");
    EXPECT_EQ(cache().EntryCount(), 0u);
    EXPECT_FALSE(cache().FileCacheEnabled());
}

// FTP downloads go from the cached copy's memory: filled in place from a restart offset, then
// completed, then served; a download served while the copy leaves the cache stays whole.
TEST_F(CacheWiringTest, FtpDownloadsFromMemoryStayWholeWhileTheEntryGoes)
{
    std::string bytes(32 << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7919) >> 5);
    testing::WriteFile(share + "/big.bin", bytes);
    const std::string key = "C:\\My Downloads\\big.bin";
    EXPECT_EQ(Curl("-C 1000000 " + Ftp("/big.bin")), bytes.substr(1000000));
    EXPECT_EQ(Curl(Ftp("/big.bin")), bytes);
    EXPECT_EQ(Curl(Ftp("/big.bin")), bytes);
    ASSERT_NE(Row(key), nullptr);
    EXPECT_EQ(Row(key)->hits, 1);

    auto slow = std::async(std::launch::async, [this] {
        std::string output;
        testing::RunCommand("curl -s -S --max-time 30 --happy-eyeballs-timeout-ms 1 --limit-rate 16M " + Ftp("/big.bin"),
                            output);
        return output;
    });
    ASSERT_TRUE(Pump([&] { return Row(key) != nullptr && Row(key)->hits == 2; }));
    controller->settings().CacheSize = 0;
    controller->applyCacheSettings();
    EXPECT_EQ(cache().EntryCount(), 0u);
    EXPECT_GT(cache().MemoryCharged(), 0);  // still sent from
    ASSERT_TRUE(Pump([&] { return slow.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_TRUE(slow.get() == bytes);
    EXPECT_TRUE(Pump([&] { return cache().MemoryCharged() == 0; }));
}

}  // namespace
}  // namespace corvane
