// The server over IPv6, seen by real clients on ::1: with "every address" set, one port takes
// both families. FTP through curl, lftp, rclone and ftplib (EPSV and EPRT), the sessions
// command naming the IPv6 peer whole, and the web server through curl, wget and Chromium.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "../platform/scratch_folder.h"
#include "server_process.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::ProgramFolderOfTests;
using testing::ReadFile;
using testing::RunCommand;
using testing::RunPython;
using testing::ServerProcess;
using testing::WriteFile;

// ftplib on ::1 lists over EPSV, fetches over EPRT, and asks the sessions command meanwhile.
constexpr const char* kFtplibScript = R"PY(
import ftplib, io, json, subprocess, sys
program, home, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
ftp = ftplib.FTP()
ftp.connect('::1', port, timeout=10)
ftp.login()
print(sorted(n for n in ftp.nlst() if n not in ('.', '..', 'images')))
ftp.set_pasv(False)
data = io.BytesIO()
ftp.retrbinary('RETR a.txt', data.write)
print(data.getvalue().decode())
try:
    ftp.sendcmd('EPSV 1')
except ftplib.error_perm as e:
    print(str(e))
sessions = json.loads(subprocess.run([program, '--home', home, 'sessions', '--json'], capture_output=True, text=True, check=True).stdout)
print(len(sessions), sessions[0]['ip'])
ftp.quit()
)PY";

class Ipv6Server : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = FreeLoopbackPort();
        webPort = FreeLoopbackPort();
        home = testing::HomeWithFullShare(scratch, port);
        WriteFile(home + "/CorvaneServer.ini", "[ServerData]\r\nPort=" + std::to_string(port) +
                                                   "\r\nUserSetServerIP=::\r\nServerFirstRun=0\r\nWebServerPort=" +
                                                   std::to_string(webPort) + "\r\nRunWebServerNextTime=1\r\n");
        share = home + "/drive_c/My Downloads";
        WriteFile(share + "/a.txt", "hello over six");
        WriteFile(share + "/sub/b.txt", "below");
        server = std::make_unique<ServerProcess>(home, port);
        ASSERT_TRUE(server->WaitListening());
    }
    void TearDown() override
    {
        if (server) {
            EXPECT_EQ(server->StopWith(SIGTERM), 0);
        }
    }
    std::string Url(const char* scheme, int onPort) const
    {
        return std::string(scheme) + "://[::1]:" + std::to_string(onPort) + "/";
    }

    corvane::testing::ScratchFolder scratch;
    int port = 0, webPort = 0;
    std::string home, share;
    std::unique_ptr<ServerProcess> server;
};

TEST_F(Ipv6Server, FtpClientsListFetchStoreAndMirrorOverIpv6)
{
    std::string output;
    ASSERT_EQ(RunCommand("curl -sS --max-time 20 " + Url("ftp", port) + "a.txt 2>&1", output), 0) << output;
    EXPECT_EQ(output, "hello over six");
    output.clear();
    ASSERT_EQ(RunCommand("curl -sS --max-time 20 -P - " + Url("ftp", port) + "sub/b.txt 2>&1", output), 0) << output;
    EXPECT_EQ(output, "below");
    WriteFile(scratch.Join("up.txt"), "sent up");
    output.clear();
    ASSERT_EQ(RunCommand("curl -sS --max-time 20 -T '" + scratch.Join("up.txt") + "' " + Url("ftp", port) + "up.txt 2>&1",
                         output),
              0)
        << output;
    EXPECT_EQ(ReadFile(share + "/up.txt"), "sent up");
    // The same port still takes IPv4 clients.
    output.clear();
    ASSERT_EQ(RunCommand("curl -sS --max-time 20 ftp://127.0.0.1:" + std::to_string(port) + "/up.txt 2>&1", output), 0)
        << output;
    EXPECT_EQ(output, "sent up");

    const std::string down = scratch.Join("down"), tree = scratch.Join("tree");
    WriteFile(tree + "/deep/c.txt", "mirrored up");
    output.clear();
    EXPECT_EQ(RunCommand("timeout 120 lftp -e 'set net:max-retries 1; set net:timeout 10; mirror / " + down +
                             "; mirror -R " + tree + " fromlftp; bye' ftp://[::1]:" + std::to_string(port) + " 2>&1",
                         output),
              0)
        << output;
    EXPECT_EQ(ReadFile(down + "/sub/b.txt"), "below");
    EXPECT_EQ(ReadFile(share + "/fromlftp/deep/c.txt"), "mirrored up");

    const std::string remote = testing::RcloneFtpRemote("[::1]", port, "rc");
    ASSERT_FALSE(remote.empty());
    const std::string rclone = "timeout 120 rclone --config /dev/null --low-level-retries 1 --retries 1 ";
    output.clear();
    EXPECT_EQ(RunCommand(rclone + "copy '" + tree + "' " + remote + " 2>&1", output), 0) << output;
    EXPECT_EQ(RunCommand(rclone + "check '" + tree + "' " + remote + " 2>&1", output), 0) << output;

    output.clear();
    ASSERT_EQ(RunPython(kFtplibScript, {ProgramFolderOfTests() + "/corvane-server", home, std::to_string(port)}, output), 0)
        << output;
    EXPECT_EQ(output, "['a.txt', 'fromlftp', 'rc', 'sub', 'up.txt']\nhello over six\n"
                      "522 Network protocol not supported, use (2)\n1 ::1\n");
}

TEST_F(Ipv6Server, WebClientsGetPagesRedirectsAndTheTreeOverIpv6)
{
    std::string output;
    ASSERT_EQ(RunCommand("curl -sS --max-time 20 " + Url("http", webPort) + "a.txt 2>&1", output), 0) << output;
    EXPECT_EQ(output, "hello over six");
    output.clear();
    RunCommand("curl -sS -o /dev/null -w '%{http_code} %{redirect_url}' --max-time 20 " + Url("http", webPort) + "sub",
               output);
    EXPECT_EQ(output, "301 " + Url("http", webPort) + "sub/");
    for (const char* host : {"[::1", "[::1]:99999"}) {
        output.clear();
        RunCommand("curl -sS -o /dev/null -w '%{http_code}' -H 'Host: " + std::string(host) + "' --max-time 20 " +
                       Url("http", webPort) + "sub",
                   output);
        EXPECT_EQ(output, "400") << host;
    }
    const std::string mirror = scratch.Join("wget");
    output.clear();
    EXPECT_EQ(RunCommand("cd '" + scratch.Join("") + "' && mkdir -p wget && cd wget && timeout 120 wget -q -m -np " +
                             Url("http", webPort) + " 2>&1",
                         output),
              0)
        << output;
    EXPECT_EQ(ReadFile(mirror + "/::1:" + std::to_string(webPort) + "/sub/b.txt"), "below");

    if (std::system("command -v chromium >/dev/null 2>&1") != 0) GTEST_SKIP() << "chromium is not installed";
    std::string dom;
    RunCommand("timeout 60 chromium --headless --no-sandbox --disable-gpu --user-data-dir=" + scratch.Join("profile") +
                   " --dump-dom " + Url("http", webPort) + "sub 2>/dev/null",
               dom);
    // Chromium follows the redirect to the folder page, whose links it resolves on [::1].
    EXPECT_NE(dom.find("Directory listing of: sub/"), std::string::npos) << dom;
    EXPECT_NE(dom.find("href=\"/sub/b.txt\""), std::string::npos) << dom;
}

}  // namespace
}  // namespace corvane
