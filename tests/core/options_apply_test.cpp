// The options dialog's apply-and-save groups on a controller whose FTP service runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "../platform/scratch_folder.h"
#include "common/program_folder.h"
#include "core/event_loop_window_thread.h"
#include "core/server_controller.h"
#include "test_client.h"
#include "window_thread_pump.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::LineClient;

class OptionsApplyTest : public ::testing::Test {
protected:
    OptionsApplyTest() { SetProgramFolder(home.Path()); }
    corvane::testing::ScratchFolder home;
    EventLoop loop;
    EventLoopWindowThread window{loop};
    SilentServerView view;
};

TEST_F(OptionsApplyTest, OnlyTheServiceWhoseGroupChangedRestarts)
{
    const int port = FreeLoopbackPort();
    const struct {
        const char* change;
        std::function<void(ServerSettings&)> edit;
        bool ftpRestarts;
    } cases[] = {
        {"nothing", [](ServerSettings&) {}, false},
        {"cache size (live)", [](ServerSettings& s) { s.CacheSize *= 2; }, false},
        {"screen logging (live)", [](ServerSettings& s) { s.ScreenLoggingEnabled = !s.ScreenLoggingEnabled; }, false},
        {"HTTP port, HTTP not running", [](ServerSettings& s) { s.WebServerPort = 8081; }, false},
        {"first run and next start (no group)",
         [](ServerSettings& s) { s.RunWebServerNextTime = !s.RunWebServerNextTime; }, false},
        {"banner text (FTP)", [](ServerSettings& s) { s.BannerFilePath = "Other banner"; }, true},
        {"connection limit (FTP)", [](ServerSettings& s) { s.MaximumNumberOfConnections = 10; }, true},
        {"passive address (FTP)", [](ServerSettings& s) { s.PASVIP = "127.0.0.2"; }, true},
        {"MD5 indexing (common)", [](ServerSettings& s) { s.MD5IndexingEnabled = !s.MD5IndexingEnabled; }, true},
        {"TLS for password logins (FTP)", [](ServerSettings& s) { s.TlsRequiredForPasswordLogins = false; }, true},
    };
    home.Put("CorvaneServer.ini",
             "[ServerData]\r\nServerFirstRun=0\r\nUserSetServerIP=127.0.0.1\r\nPort=" + std::to_string(port) + "\r\n");
    serverController controller(window, view, {});
    controller.startUp();
    controller.startServices(kServiceFtp);
    ASSERT_TRUE(testing::PumpUntil(loop, [&] { return controller.ftpListening(); }));
    for (const auto& c : cases) {
        ServerSettings fresh = controller.settings();
        c.edit(fresh);
        const auto applied = controller.applyOptions(fresh, false);
        EXPECT_EQ(applied.ftpRestarted, c.ftpRestarts) << c.change;
        EXPECT_FALSE(applied.httpRestarted) << c.change;
        EXPECT_TRUE(testing::PumpUntil(loop, [&] { return controller.ftpListening(); })) << c.change;
        // What is outside the groups stays; what is inside is now in force.
        EXPECT_EQ(controller.settings().RunWebServerNextTime, false) << c.change;
        EXPECT_EQ(controller.settings().BannerFilePath, fresh.BannerFilePath) << c.change;
    }
    EXPECT_EQ(controller.settings().CacheSize, 2 * ServerSettings{}.CacheSize);
    EXPECT_EQ(controller.settings().WebServerPort, 8081);
    EXPECT_EQ(controller.settings().PASVIP, "127.0.0.2");
    EXPECT_FALSE(controller.settings().TlsRequiredForPasswordLogins);
    // A new port: listened on at once, the old one given up.
    ServerSettings moved = controller.settings();
    moved.Port = FreeLoopbackPort();
    EXPECT_TRUE(controller.applyOptions(moved, true).ftpRestarted);
    EXPECT_TRUE(controller.accounts().IpRules().GetReverseDnsCheck());
    // The restart is posted to the server thread: the new listener comes a moment later.
    EXPECT_TRUE(testing::PumpUntil(loop, [&] { return LineClient(moved.Port).Connected(); }));
    EXPECT_FALSE(LineClient(port).Connected());
    controller.shutDown();
}

TEST_F(OptionsApplyTest, ANewLogPathWhileLoggingToAFileMovesTheLog)
{
    std::filesystem::create_directories(home.Join("drive_c/logs"));
    home.Put("CorvaneServer.ini", "[ServerData]\r\nServerFirstRun=0\r\nScreenLoggingEnabled=0\r\nLoggingToFile=1\r\n"
                                  "LogFilePath=C:\\logs\\a.log\r\n");
    serverController controller(window, view, {});
    controller.startUp();
    controller.writeLog("! before");
    ServerSettings fresh = controller.settings();
    fresh.LogFilePath = "C:\\logs\\b.log";
    controller.applyOptions(fresh, false);
    controller.writeLog("! after");
    controller.shutDown();
    EXPECT_EQ(home.Get("drive_c/logs/a.log"), "! before\r\n");
    EXPECT_EQ(home.Get("drive_c/logs/b.log"), "! after\r\n");
}

}  // namespace
}  // namespace corvane
