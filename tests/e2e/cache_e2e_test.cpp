// The program with its cache on (the default), driven by clients nobody here wrote: curl over
// FTP and HTTP and lftp get every file byte for byte, again and again (the repeats come from
// memory), after the file changed on disk, resumed, in ranges; and a listing that fails midway
// is not kept as a whole one.
#include <gtest/gtest.h>

#include "../platform/scratch_folder.h"
#include "server_process.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::HomeWithFullShare;
using testing::RunPython;
using testing::ServerProcess;
using testing::WriteFile;

constexpr const char* kClientsScript = R"PY(
import ftplib, os, subprocess, sys
ftp_port, http_port, share, scratch = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
path = os.path.join(share, 'data.bin')
def run(*command):
    return subprocess.run(command, capture_output=True, timeout=60).stdout
def curl(url, *extra):
    return run('curl', '-s', '-S', '--max-time', '30', '--happy-eyeballs-timeout-ms', '1',
               '--retry', '5', '--retry-connrefused', *extra, url)
def lftp(name):
    local = os.path.join(scratch, 'lftp.out')
    if os.path.exists(local): os.remove(local)
    run('lftp', '-p', ftp_port, '-e', 'set net:max-retries 1; set net:timeout 10; get %s -o %s; bye' % (name, local),
        '127.0.0.1')
    return open(local, 'rb').read() if os.path.exists(local) else b''
def resumed(content):
    local = os.path.join(scratch, 'resumed.out')
    with open(local, 'wb') as f: f.write(content[:4])       # a download that stopped after 4 bytes
    run('curl', '-s', '--max-time', '30', '--happy-eyeballs-timeout-ms', '1', '-C', '-', '-o', local,
        'ftp://127.0.0.1:%s/data.bin' % ftp_port)
    return open(local, 'rb').read()
ftp_url = 'ftp://127.0.0.1:%s/data.bin' % ftp_port
http_url = 'http://127.0.0.1:%s/data.bin' % http_port
first = os.urandom(3000000)
versions = [('first', first), ('same size rewritten', os.urandom(len(first))), ('shrunk', os.urandom(1234567)),
            ('grown', os.urandom(3500001))]
for name, content in versions:
    with open(path, 'wb') as f: f.write(content)
    good = all(curl(ftp_url) == content and curl(http_url) == content and lftp('data.bin') == content
               for _ in range(2))
    good = good and resumed(content) == content
    good = good and curl(http_url, '-r', '100-199') == content[100:200]
    good = good and curl(ftp_url, '-r', '2000-') == content[2000:]
    print(name, good)
# A listing of a big folder read only in part: the next LIST is whole.
ftp = ftplib.FTP()
ftp.connect('127.0.0.1', int(ftp_port), timeout=20)
ftp.login()
ftp.cwd('many')
conn = ftp.transfercmd('LIST')
conn.recv(1000)
conn.close()
while True:   # 226 when the stack took it all before the close, else 426 and 501
    reply = ftp.getline()
    if reply[:3] in ('226', '501', '451'): break
lines = []
ftp.retrlines('LIST', lines.append)
print('whole', len(lines), lines[-1].endswith('n9999.txt') or sorted(lines)[-1].endswith('n9999.txt'))
lines2 = []
ftp.retrlines('LIST', lines2.append)
print('again', lines2 == lines)
ftp.quit()
)PY";

TEST(CacheEndToEnd, ClientsGetEveryFileByteForByteWithTheCacheOn)
{
    testing::ScratchFolder scratch;
    const int ftpPort = FreeLoopbackPort();
    int httpPort = FreeLoopbackPort();
    while (httpPort == ftpPort) httpPort = FreeLoopbackPort();
    const std::string home = HomeWithFullShare(scratch, ftpPort);
    WriteFile(home + "/CorvaneServer.ini", "[ServerData]\r\nPort=" + std::to_string(ftpPort) +
                                               "\r\nUserSetServerIP=127.0.0.1\r\nServerFirstRun=0\r\nWebServerPort=" +
                                               std::to_string(httpPort) + "\r\nRunWebServerNextTime=1\r\n");
    const std::string share = home + "/drive_c/My Downloads";
    for (int i = 0; i < 10000; ++i) WriteFile(share + "/many/n" + std::to_string(i) + ".txt", "x");
    ServerProcess server(home, ftpPort);
    ASSERT_TRUE(server.WaitListening());
    std::string output;
    ASSERT_EQ(
        RunPython(kClientsScript, {std::to_string(ftpPort), std::to_string(httpPort), share, scratch.Path()}, output),
        0)
        << output;
    EXPECT_EQ(output, "first True\nsame size rewritten True\nshrunk True\ngrown True\n"
                      "whole 10002 True\nagain True\n");
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

}  // namespace
}  // namespace corvane
