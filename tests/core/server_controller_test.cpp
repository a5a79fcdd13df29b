#include "core/server_controller.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "../platform/scratch_folder.h"
#include "common/program_folder.h"
#include "core/event_loop_window_thread.h"
#include "core/ftp_server_thread.h"
#include "ftp/ftp_ctrl_socket.h"
#include "test_client.h"
#include "window_thread_pump.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using testing::FreeLoopbackPort;
using testing::LineClient;

// Records what the server shows, on the window thread.
struct RecordingView : SilentServerView {
    std::vector<std::string> lines;
    std::vector<std::pair<ServiceKind, bool>> states;
    std::string status;
    std::string ftpCounts = "?";
    int settingsPageShown = 0;
    void AppendScreenLog(const std::string& line) override { lines.push_back(line); }
    void ShowServiceState(ServiceKind kind, bool started) override { states.emplace_back(kind, started); }
    void ShowStatusText(const std::string& text) override { status = text; }
    void ShowClientCounts(const std::string& ftp, const std::string&) override { ftpCounts = ftp; }
    void ShowSettingsPage() override { ++settingsPageShown; }
    bool Logged(const std::string& prefix) const
    {
        for (const auto& line : lines)
            if (line.rfind(prefix, 0) == 0) return true;
        return false;
    }
};

class ServerControllerTest : public ::testing::Test {
protected:
    ServerControllerTest() { SetProgramFolder(home.Path()); }

    void WriteSettings(const std::string& serverData)
    {
        home.Put("CorvaneServer.ini", "[ServerData]\r\n" + serverData);
        // As the server writes it: a settings file others may read would be tightened and logged.
        std::filesystem::permissions(home.Join("CorvaneServer.ini"), std::filesystem::perms(0600));
    }

    bool PumpUntil(const std::function<bool()>& done) { return testing::PumpUntil(loop, done); }
    std::string ReadLine(LineClient& client) { return testing::ReadLinePumping(loop, client); }

    bool WaitClosed(LineClient& client)
    {
        for (;;) {
            const std::string line = ReadLine(client);
            if (line == "<closed>") return true;
            if (line == "<timeout>") return false;
        }
    }

    corvane::testing::ScratchFolder home;
    EventLoop loop;
    EventLoopWindowThread window{loop};
    RecordingView view;
};

TEST_F(ServerControllerTest, FreshHomeGetsEverySettingAndTheAnonymousShare)
{
    {
        serverController controller(window, view, {});
        controller.startUp();
        const IniImage settings = IniImage::Open(home.Join("CorvaneServer.ini"));
        EXPECT_EQ(settings.ReadSection("ServerData").size(), 28u);
        EXPECT_EQ(settings.ReadString("ServerData", "Port", ""), "21");
        // Written right after loading, so still the first run on disk until shut-down.
        EXPECT_EQ(settings.ReadString("ServerData", "ServerFirstRun", ""), "1");
        EXPECT_FALSE(controller.settings().ServerFirstRun);
        EXPECT_EQ(view.settingsPageShown, 1);
        EXPECT_TRUE(std::filesystem::is_directory(home.Join("drive_c/My Downloads")));
        EXPECT_EQ(controller.accounts().Folders().GetHomeFolder("Anonymous"), "C:\\My Downloads\\");
        EXPECT_TRUE(controller.accounts().Authenticate("anonymous", "any@where"));
        controller.shutDown();
    }
    EXPECT_EQ(home.Get("user - Anonymous.kcf"), "g-lc---iC:\\My Downloads\\*\r\n");
    const IniImage accounts = IniImage::Open(home.Join("usersgroups.ini"));
    EXPECT_EQ(accounts.ReadString("Anonymous", "Group", ""), "All Others");
    EXPECT_EQ(IniImage::Open(home.Join("CorvaneServer.ini")).ReadString("ServerData", "ServerFirstRun", ""), "0");
}

TEST_F(ServerControllerTest, CorrectedValuesAreWrittenBackAtStartUp)
{
    WriteSettings("Port=40000\r\nMaximumNumberOfConnections=300\r\nCacheSize=16\r\nServerFirstRun=0\r\n");
    serverController controller(window, view, {"/P2P"});
    controller.startUp();
    const IniImage settings = IniImage::Open(home.Join("CorvaneServer.ini"));
    EXPECT_EQ(settings.ReadString("ServerData", "Port", ""), "21");
    EXPECT_EQ(settings.ReadString("ServerData", "MaximumNumberOfConnections", ""), "64");
    EXPECT_EQ(controller.settings().CacheSize, 16777216);
    EXPECT_EQ(settings.ReadString("ServerData", "CacheSize", ""), "16");
    EXPECT_EQ(view.settingsPageShown, 0);
    EXPECT_TRUE(controller.startedForP2P());
}

TEST_F(ServerControllerTest, FtpServiceGreetsStopsAndLogsTheStop)
{
    const int port = FreeLoopbackPort();
    WriteSettings("Port=" + std::to_string(port) + "\r\nUserSetServerIP=127.0.0.1\r\n");
    serverController controller(window, view, {});
    controller.startUp();
    controller.startServices(kServiceFtp);
    ASSERT_TRUE(PumpUntil([&] { return controller.ftpListening(); }));
    // The machine's own address as the local-address picker finds it, not the bound one.
    EXPECT_EQ(view.status.rfind(" IP: ", 0), 0u) << view.status;
    EXPECT_GT(view.status.size(), 5u);
    {
        LineClient client(port);
        ASSERT_TRUE(client.Connected());
        EXPECT_EQ(ReadLine(client), "220 Brinvale Corvane FTP Service Ready");
        EXPECT_EQ(controller.disconnectAll(), 1u);
        EXPECT_EQ(view.ftpCounts, "No users");
        EXPECT_TRUE(WaitClosed(client));
    }
    controller.stopServices(kServiceBoth);
    EXPECT_FALSE(controller.serverThreadAlive());
    EXPECT_FALSE(controller.ftpListening());
    EXPECT_TRUE(view.Logged("! FTP server stopped ("));
    EXPECT_TRUE(view.Logged("! HTTP server stopped ("));
    EXPECT_EQ(view.status, "IP: Not listening");
    ASSERT_FALSE(view.states.empty());
    EXPECT_EQ(view.states.back(), std::make_pair(ServiceKind::Ftp, false));
}

TEST_F(ServerControllerTest, TickShowsTheClientCountsWhileTheWindowThreadWaits)
{
    const int port = FreeLoopbackPort();
    WriteSettings("Port=" + std::to_string(port) + "\r\nUserSetServerIP=127.0.0.1\r\nServerFirstRun=0\r\n");
    serverController controller(window, view, {});
    controller.setTickInterval(20ms);
    controller.startUp();
    controller.startServices(kServiceFtp);
    ASSERT_TRUE(PumpUntil([&] { return controller.ftpListening(); }));
    LineClient first(port);
    LineClient second(port);
    ASSERT_EQ(ReadLine(first), "220 Brinvale Corvane FTP Service Ready");
    ASSERT_EQ(ReadLine(second), "220 Brinvale Corvane FTP Service Ready");
    EXPECT_TRUE(PumpUntil([&] { return view.ftpCounts == "2 users"; }));
    EXPECT_EQ(controller.clientCount(kServiceFtp), 2);
    EXPECT_EQ(controller.clientCount(kServiceBoth), 2);
    second.Send("QUIT\r\n");
    EXPECT_EQ(ReadLine(second), "221 Goodbye.");
    EXPECT_TRUE(PumpUntil([&] { return view.ftpCounts == "1 users"; }));
    // Many ticks pass while the window thread keeps serving the server thread's closures.
    EXPECT_TRUE(
        PumpUntil([&] { return controller.serverThread() && controller.serverThread()->reindexCounter() >= 15000; }));
    controller.shutDown();
    EXPECT_FALSE(controller.serverThreadAlive());
    EXPECT_TRUE(WaitClosed(first));
}

TEST_F(ServerControllerTest, PortInUseIsLoggedAndTheServiceShownStopped)
{
    const int port = FreeLoopbackPort();
    WriteSettings("Port=" + std::to_string(port) + "\r\nUserSetServerIP=127.0.0.1\r\nServerFirstRun=0\r\n");
    // Another listener holds the port.
    const int blocker = testing::HoldLoopbackPort(port);
    ASSERT_GE(blocker, 0);

    serverController controller(window, view, {});
    controller.startUp();
    controller.startServices(kServiceFtp);
    ASSERT_TRUE(PumpUntil([&] { return view.Logged(kCannotRunServer); }));
    EXPECT_FALSE(controller.ftpListening());
    EXPECT_EQ(view.states.back(), std::make_pair(ServiceKind::Ftp, false));
    // Once the port is free again a new start takes it.
    ::close(blocker);
    controller.startServices(kServiceFtp);
    EXPECT_TRUE(PumpUntil([&] { return controller.ftpListening(); }));
    controller.shutDown();
}

TEST_F(ServerControllerTest, LogLinesGoToTheFileWithCrLfWhenScreenLoggingIsOff)
{
    WriteSettings(
        "ServerFirstRun=0\r\nLoggingToFile=1\r\nScreenLoggingEnabled=0\r\nLogFilePath=C:\\logs\\server.log\r\n");
    std::filesystem::create_directories(home.Join("drive_c/logs"));
    serverController controller(window, view, {});
    controller.startUp();
    EXPECT_TRUE(controller.logFileOpen());
    controller.writeLog("! one");
    controller.writeLog("> two");
    controller.shutDown();
    EXPECT_TRUE(view.lines.empty());
    EXPECT_EQ(home.Get("drive_c/logs/server.log"), "! one\r\n> two\r\n");
}

TEST_F(ServerControllerTest, LogFileInAMissingFolderIsSilentlyIgnored)
{
    WriteSettings("ServerFirstRun=0\r\nLoggingToFile=1\r\nLogFilePath=C:\\no such folder\\server.log\r\n");
    serverController controller(window, view, {});
    controller.startUp();
    EXPECT_FALSE(controller.logFileOpen());
    controller.writeLog("! still on screen");
    EXPECT_EQ(view.lines, std::vector<std::string>{"! still on screen"});
}

TEST_F(ServerControllerTest, NetworkListIsPublishedOnlyWhenStartedForP2P)
{
    WriteSettings("ServerFirstRun=0\r\n");
    {
        serverController controller(window, view, {});
        controller.startUp();
        controller.publishNetworkList("net1\r\n");
        EXPECT_FALSE(controller.networkListPublished());
        EXPECT_FALSE(std::filesystem::exists(home.Join("corvaneserver.mmf")));
    }
    serverController controller(window, view, {"/p2p"});
    controller.startUp();
    controller.publishNetworkList("first\r\nsecond\r\n");
    EXPECT_TRUE(controller.networkListPublished());
    const std::string mapped = home.Get("corvaneserver.mmf");
    ASSERT_EQ(mapped.size(), kNetworkListMappingSize);
    EXPECT_EQ(mapped.substr(0, 16), "first\r\nsecond\r\n" + std::string(1, '\0'));
}

}  // namespace
}  // namespace corvane

namespace corvane {
namespace {

TEST_F(ServerControllerTest, PasswordChangeFollowsTheSessionsAccount)
{
    WriteSettings("ServerFirstRun=1\r\n");
    serverController controller(window, view, {});
    controller.startUp();
    ASSERT_TRUE(controller.accounts().AddUser("bob", "old", "All Others"));
    constexpr long long bob = 7;
    constexpr long long anonymous = 8;
    controller.sessions().Add(bob, "10.0.0.1")->SetAction("bob", "C:\\", saLoggedIn, "All Others");
    controller.sessions().Add(anonymous, "10.0.0.2")->SetAction("anonymous", "C:\\", saLoggedIn, "All Others");
    EXPECT_TRUE(controller.changePassword(bob, "new"));
    EXPECT_TRUE(controller.accounts().Authenticate("bob", "new"));
    EXPECT_FALSE(controller.accounts().Authenticate("bob", "old"));
    // An account that takes any password keeps doing so.
    EXPECT_FALSE(controller.changePassword(anonymous, "x"));
    EXPECT_FALSE(controller.changePassword(9, "x"));  // no session
}

}  // namespace
}  // namespace corvane
