// The headless program from the outside: a fresh home, a real FTP client, and a clean stop.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "../platform/scratch_folder.h"
#include "server_process.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::RunPython;
using testing::ServerProcess;

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A home that holds only the settings that put the FTP service on a free loopback port: the
// rest is the server's own first run.
void WriteLoopbackSettings(const std::string& home, int port)
{
    std::filesystem::create_directories(home);
    // Password logins in the clear, as the control script tries them.
    std::ofstream(home + "/CorvaneServer.ini")
        << "[ServerData]\r\nPort=" << port << "\r\nUserSetServerIP=127.0.0.1\r\nTlsRequiredForPasswordLogins=0\r\n";
}

// Python's ftplib speaks to the server; raw lines go through its socket where ftplib would
// refuse to send them.
constexpr const char* kControlScript = R"PY(
import ftplib, socket, sys
port = int(sys.argv[1])
ftp = ftplib.FTP()
print(ftp.connect('127.0.0.1', port, timeout=10))
print(ftp.sendcmd('NOOP'))
print(ftp.sendcmd('noop hello'))
try:
    ftp.sendcmd('XYZ abc')
except ftplib.error_perm as e:
    print(e)
try:
    ftp.sendcmd('PWD')
except ftplib.error_perm as e:
    print(e)
print(ftp.quit())

ftp = ftplib.FTP()
ftp.connect('127.0.0.1', port, timeout=10)
print(ftp.login())
print(ftp.pwd())
print(ftp.sendcmd('CWD /'))
print(ftp.sendcmd('CWD /C:'))  # passing through the drive's root on the way home
print(ftp.pwd())
print(ftp.nlst())  # shows the way down to the home, nothing else of the drive's root
try:
    ftp.sendcmd('CWD /C:/Elsewhere')
except ftplib.error_perm as e:
    print(e)
print(ftp.quit())
try:
    bad = ftplib.FTP()
    bad.connect('127.0.0.1', port, timeout=10)
    bad.login('nobody', 'x')
except ftplib.error_perm as e:
    print(e)

raw = socket.create_connection(('127.0.0.1', port), timeout=10)
reader = raw.makefile('rb')
reader.readline()
raw.sendall(b'\r\n')
print(reader.readline().decode().rstrip())
raw.sendall(b'A' * 8195)
print(reader.readline().decode().rstrip())
print('closed' if reader.readline() == b'' else 'still open')
)PY";

TEST(HeadlessServer, FreshHomeServesFtpAndShutsDownCleanlyOnSigterm)
{
    corvane::testing::ScratchFolder scratch;
    const std::string home = scratch.Join("home");
    const int port = FreeLoopbackPort();
    WriteLoopbackSettings(home, port);

    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    std::string output;
    ASSERT_EQ(RunPython(kControlScript, {std::to_string(port)}, output), 0) << output;
    EXPECT_EQ(output, "220 Brinvale Corvane FTP Service Ready\n"
                      "200 Ok. Parameter was ''.\n"
                      "200 Ok. Parameter was 'hello'.\n"
                      "500 'XYZ': command not understood.\n"
                      "530 Please login with USER and PASS.\n"
                      "221 Goodbye.\n"
                      "230 User anonymous logged in.\n"
                      "/C:/My Downloads/\n"
                      "250 CWD command successful. \"C:/My Downloads/\" is current directory.\n"
                      "250 CWD command successful. \"C:/\" is current directory.\n"
                      "/C:/\n"
                      "['.', '..', 'My Downloads']\n"
                      "501 CWD failed. No permission\n"
                      "221 Goodbye.\n"
                      "530 Login incorrect.\n"
                      "500 '': command not understood.\n"
                      "500 Command too long\n"
                      "closed\n");
    EXPECT_EQ(server.StopWith(SIGTERM), 0);

    const std::string settings = FileText(home + "/CorvaneServer.ini");
    EXPECT_NE(settings.find("ServerFirstRun=0\r\n"), std::string::npos);
    EXPECT_NE(settings.find("RunWebServerNextTime=0\r\n"), std::string::npos);
    EXPECT_NE(settings.find("Port=" + std::to_string(port) + "\r\n"), std::string::npos);
    EXPECT_EQ(FileText(home + "/user - Anonymous.kcf"), "g-lc---iC:\\My Downloads\\*\r\n");
    EXPECT_NE(FileText(home + "/usersgroups.ini").find("[Anonymous]"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(home + "/drive_c/My Downloads"));
    const std::string log = FileText(server.OutputPath());
    EXPECT_NE(log.find("! FTP server stopped ("), std::string::npos);
    EXPECT_NE(log.find(" User \"anonymous\" is authenticated"), std::string::npos);
    EXPECT_NE(log.find(" User \"nobody\" is rejected due to : \n"), std::string::npos);
    EXPECT_EQ(log.find("< PASS x "), std::string::npos);  // passwords stay out of the log
}

// A save killed before its rename leaves a hidden temporary of the settings; the files that
// hold passwords, and the log, are the owner's only and stay so when rewritten.
TEST(HeadlessServer, StartClearsAKilledSaveAndPasswordFilesStayPrivate)
{
    corvane::testing::ScratchFolder scratch;
    const std::string home = scratch.Join("home");
    const int port = FreeLoopbackPort();
    WriteLoopbackSettings(home, port);
    std::ofstream(home + "/CorvaneServer.ini", std::ios::app) << "LoggingToFile=1\r\nLogFilePath=C:\\server.log\r\n";
    std::filesystem::permissions(home + "/CorvaneServer.ini",
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::ofstream(home + "/.CorvaneServer.ini.Ab12Cd") << "[ServerData]\r\nPort=1\r\n";
    std::ofstream(home + "/.CorvaneServer.ini.notours") << "left alone";
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    std::string output;
    ASSERT_EQ(
        RunPython("import ftplib, sys\nftp = ftplib.FTP()\nftp.connect('127.0.0.1', int(sys.argv[1]), timeout=10)\n"
                  "ftp.login()\nftp.quit()\n",
                  {std::to_string(port)}, output),
        0)
        << output;
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
    EXPECT_FALSE(std::filesystem::exists(home + "/.CorvaneServer.ini.Ab12Cd"));
    EXPECT_TRUE(std::filesystem::exists(home + "/.CorvaneServer.ini.notours"));
    for (const char* name : {"/CorvaneServer.ini", "/usersgroups.ini", "/drive_c/server.log"}) {
        ASSERT_TRUE(std::filesystem::exists(home + name)) << name;
        EXPECT_EQ(std::filesystem::status(home + name).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write)
            << name;
    }
    EXPECT_NE(FileText(home + "/drive_c/server.log").find(" User \"anonymous\" is authenticated"), std::string::npos);
}

TEST(HeadlessServer, SigintAlsoShutsDownInOrder)
{
    corvane::testing::ScratchFolder scratch;
    const std::string home = scratch.Join("home");
    const int port = FreeLoopbackPort();
    WriteLoopbackSettings(home, port);
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    EXPECT_EQ(server.StopWith(SIGINT), 0);
    EXPECT_EQ(FileText(home + "/user - Anonymous.kcf"), "g-lc---iC:\\My Downloads\\*\r\n");
    EXPECT_NE(FileText(server.OutputPath()).find("! HTTP server stopped ("), std::string::npos);
}

}  // namespace
}  // namespace corvane
