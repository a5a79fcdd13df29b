// The signals a service manager sends to the real program: SIGHUP applies the settings file
// (refusing a half-written one), SIGUSR1 reopens a rotated log file, and NOTIFY_SOCKET hears
// when the program is ready and when it stops.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "../core/test_client.h"
#include "../platform/scratch_folder.h"
#include "server_process.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::HomeWithFullShare;
using testing::LineClient;
using testing::ReadFile;
using testing::RunPython;
using testing::ScratchFolder;
using testing::ServerProcess;
using testing::WriteFile;

std::string SettingsWithPort(int port, const std::string& extra = "")
{
    return "[ServerData]\r\nPort=" + std::to_string(port) + "\r\nUserSetServerIP=127.0.0.1\r\nServerFirstRun=0\r\n" +
           extra;
}

bool Accepts(int port) { return LineClient(port).Connected(); }

template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

class ServiceManagerSignals : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = FreeLoopbackPort();
        home = HomeWithFullShare(scratch, port);
    }
    ScratchFolder scratch;
    int port = 0;
    std::string home;
};

TEST_F(ServiceManagerSignals, HangUpAppliesAChangedPortAndRefusesAHalfWrittenFile)
{
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    const int moved = FreeLoopbackPort();
    WriteFile(home + "/CorvaneServer.ini", SettingsWithPort(moved));
    ::kill(server.Pid(), SIGHUP);
    EXPECT_TRUE(Eventually([&] { return Accepts(moved); }));
    EXPECT_FALSE(Accepts(port));
    // Written up to the middle of a line: refused whole, the port in force stays.
    const int third = FreeLoopbackPort();
    WriteFile(home + "/CorvaneServer.ini",
              "[ServerData]\r\nUserSetServerIP=127.0.0.1\r\nPort=" + std::to_string(third));
    ::kill(server.Pid(), SIGHUP);
    EXPECT_TRUE(Eventually([&] { return server.Errors().find("not reloaded") != std::string::npos; }))
        << server.Errors();
    EXPECT_TRUE(Accepts(moved));
    EXPECT_FALSE(Accepts(third));
    // A reload that changes nothing a service uses restarts nothing.
    WriteFile(home + "/CorvaneServer.ini", SettingsWithPort(moved, "ScreenLoggingEnabled=1\r\n"));
    ::kill(server.Pid(), SIGHUP);
    EXPECT_TRUE(Eventually([&] { return server.Errors().find("no service needed a restart") != std::string::npos; }));
    EXPECT_TRUE(server.Alive());
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

TEST_F(ServiceManagerSignals, UserSignalOneReopensARotatedLogFile)
{
    WriteFile(home + "/CorvaneServer.ini",
              SettingsWithPort(port, "LoggingToFile=1\r\nLogFilePath=C:\\corvane.log\r\n"));
    const std::string log = home + "/drive_c/corvane.log";
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(log); }));
    std::filesystem::rename(log, log + ".1");  // what logrotate does
    ::kill(server.Pid(), SIGUSR1);
    ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(log); })) << server.Errors();
    // The lines of the stop go to the new file, none to the rotated one.
    const std::string rotated = ReadFile(log + ".1");
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
    EXPECT_NE(ReadFile(log).find("! FTP server stopped ("), std::string::npos) << ReadFile(log);
    EXPECT_EQ(ReadFile(log + ".1"), rotated);
}

// Stands in for the service manager: a datagram socket that prints each message it receives.
constexpr const char* kNotifyListener = R"PY(
import os, socket, sys
path = sys.argv[1]
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(path)
s.settimeout(15)
print('listening', flush=True)
while True:
    message = s.recv(4096).decode()
    print(message.replace('\n', '|'), flush=True)
    if 'STOPPING=1' in message:
        break
)PY";

TEST_F(ServiceManagerSignals, TheServiceManagerHearsReadyAndStopping)
{
    const std::string socketPath = scratch.Join("notify.sock");
    const std::string script = scratch.Join("listener.py");
    WriteFile(script, kNotifyListener);
    std::FILE* listener = ::popen(("exec python3 " + script + " " + socketPath).c_str(), "r");
    ASSERT_NE(listener, nullptr);
    char line[512] = {};
    ASSERT_NE(std::fgets(line, sizeof line, listener), nullptr);
    ::setenv("NOTIFY_SOCKET", socketPath.c_str(), 1);
    ServerProcess server(home, port);
    ::unsetenv("NOTIFY_SOCKET");
    ASSERT_NE(std::fgets(line, sizeof line, listener), nullptr);
    EXPECT_EQ(std::string(line), "READY=1|STATUS=FTP listening on port " + std::to_string(port) + "\n");
    EXPECT_TRUE(Accepts(port));  // ready means listening
    ::kill(server.Pid(), SIGHUP);
    ASSERT_NE(std::fgets(line, sizeof line, listener), nullptr);
    EXPECT_EQ(std::string(line), "RELOADING=1\n");
    ASSERT_NE(std::fgets(line, sizeof line, listener), nullptr);
    EXPECT_EQ(std::string(line).substr(0, 8), "READY=1|");
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
    ASSERT_NE(std::fgets(line, sizeof line, listener), nullptr);
    EXPECT_EQ(std::string(line), "STOPPING=1\n");
    ::pclose(listener);
}

}  // namespace
}  // namespace corvane
