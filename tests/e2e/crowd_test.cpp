// A crowd from one address that connects and never logs in, or trickles its request headers,
// through the headless program: the slots it holds go to a fresh client that logs in, lists
// and downloads (FTP) and fetches a file (HTTP), and each address may hold only a few
// connections that have not logged in.
#include <gtest/gtest.h>

#include "server_process.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::HomeWithFullShare;
using testing::RunPython;
using testing::ServerProcess;
using testing::WriteFile;

// 1,000 silent FTP connections; 500 silent HTTP connections and 500 that send their header a
// byte a second. Then a fresh FTP client and a fresh curl must be served.
constexpr const char* kCrowdScript = R"PY(
import ftplib, resource, socket, subprocess, sys, time
ftp_port, http_port = int(sys.argv[1]), int(sys.argv[2])
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
if soft < 2500:
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 4096), hard))
print('descriptors enough', resource.getrlimit(resource.RLIMIT_NOFILE)[0] >= 2500)
def crowd(port, count):
    out = []
    for _ in range(count):
        try:
            out.append(socket.create_connection(('127.0.0.1', port), timeout=5))
        except OSError:
            pass
    return out
ftp_crowd = crowd(ftp_port, 1000)
silent_web = crowd(http_port, 500)
trickling = crowd(http_port, 500)
header = b'GET /hello.txt HTTP/1.1\r\nHost: x\r\n\r\n'
start = time.monotonic()
sent = 0
while time.monotonic() - start < 3.5:
    for s in trickling:
        try:
            s.send(header[sent:sent + 1])
        except OSError:
            pass
    sent += 1
    time.sleep(1)
began = time.monotonic()
ftp = ftplib.FTP()
ftp.connect('127.0.0.1', ftp_port, timeout=10)
ftp.login()
names = ftp.nlst()
chunks = []
ftp.retrbinary('RETR hello.txt', chunks.append)
ftp.quit()
print('ftp', 'hello.txt' in names, b''.join(chunks), time.monotonic() - began < 5)
began = time.monotonic()
page = subprocess.run(['curl', '-s', '--max-time', '10', 'http://127.0.0.1:%d/hello.txt' % http_port],
                      capture_output=True).stdout
print('http', page, time.monotonic() - began < 5)
)PY";

// 16 silent connections from loopback are let in; the 17th is refused at once.
constexpr const char* kCapScript = R"PY(
import socket, sys
port = int(sys.argv[1])
held = [socket.create_connection(('127.0.0.1', port), timeout=5) for _ in range(16)]
for s in held:
    s.makefile('rb').readline()
extra = socket.create_connection(('127.0.0.1', port), timeout=5)
print(extra.makefile('rb').readline().decode().split(';')[0])
# Browsers that have had their answers and keep their connections open hold earned slots: they
# are not counted against their address, however many there are.
kept = []
for _ in range(24):
    s = socket.create_connection(('127.0.0.1', int(sys.argv[2])), timeout=5)
    s.sendall(b'GET /hello.txt HTTP/1.1\r\nHost: x\r\n\r\n')
    kept.append((s, s.makefile('rb').readline().split(b' ')[1]))
print('kept-alive', sorted(set(code for _, code in kept)))
)PY";

std::string HomeFor(const testing::ScratchFolder& scratch, int port, int httpPort, const std::string& more)
{
    const std::string home = HomeWithFullShare(scratch, port);
    WriteFile(home + "/CorvaneServer.ini", "[ServerData]\r\nPort=" + std::to_string(port) +
                                               "\r\nUserSetServerIP=127.0.0.1\r\nServerFirstRun=0\r\nWebServerPort=" +
                                               std::to_string(httpPort) +
                                               "\r\nRunWebServerNextTime=1\r\nScreenLoggingEnabled=0\r\n" + more);
    WriteFile(home + "/drive_c/My Downloads/hello.txt", "hello\n");
    return home;
}

TEST(Crowd, ConnectionsThatNeverLogInOrTrickleTheirHeaderGiveTheirSlotsToAFreshClient)
{
    testing::ScratchFolder scratch;
    const int port = FreeLoopbackPort();
    const int httpPort = FreeLoopbackPort();
    // One address is the whole crowd here, so the per-address cap is off: the slots are freed by
    // eviction and by the header's minimum pace alone.
    const std::string home = HomeFor(scratch, port, httpPort, "MaxWaitingConnectionsPerAddress=0\r\n");
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    std::string output;
    ASSERT_EQ(RunPython(kCrowdScript, {std::to_string(port), std::to_string(httpPort)}, output), 0) << output;
    EXPECT_EQ(output, "descriptors enough True\nftp True b'hello\\n' True\nhttp b'hello\\n' True\n");
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

TEST(Crowd, OneAddressHoldsOnlySixteenConnectionsThatHaveNotLoggedInAndAnsweredOnesDoNotCount)
{
    testing::ScratchFolder scratch;
    const int port = FreeLoopbackPort();
    const int httpPort = FreeLoopbackPort();
    const std::string home = HomeFor(scratch, port, httpPort, "");
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    std::string output;
    ASSERT_EQ(RunPython(kCapScript, {std::to_string(port), std::to_string(httpPort)}, output), 0) << output;
    EXPECT_EQ(output, "421 Too many connections from your address\nkept-alive [b'200']\n");
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

}  // namespace
}  // namespace corvane
