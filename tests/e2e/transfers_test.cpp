// Transfers through the headless program with real clients: Python's ftplib and curl, passive
// and active mode, resumed and appended uploads, an aborted download, listings, file
// management, and a rate-limited download.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "../platform/scratch_folder.h"
#include "server_process.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::HomeWithFullShare;
using testing::ReadFile;
using testing::RunPython;
using testing::ServerProcess;
using testing::WriteFile;

constexpr const char* kFtplibScript = R"PY(
import ftplib, io, sys
port = int(sys.argv[1])
data = bytes(range(256)) * 4096 + b'tail'   # 1 MiB and 4 bytes
for passive in (True, False):
    ftp = ftplib.FTP()
    ftp.connect('127.0.0.1', port, timeout=20)
    ftp.login()
    ftp.set_pasv(passive)
    name = 'p.bin' if passive else 'a.bin'
    ftp.storbinary('STOR ' + name, io.BytesIO(data))
    got = io.BytesIO()
    ftp.retrbinary('RETR ' + name, got.write)
    print(name, got.getvalue() == data, ftp.size(name))
    # Resume: the rest of the file from an offset.
    part = io.BytesIO()
    ftp.retrbinary('RETR ' + name, part.write, rest=1000)
    print('rest', part.getvalue() == data[1000:])
    ftp.quit()

ftp = ftplib.FTP()
ftp.connect('127.0.0.1', port, timeout=20)
ftp.login()
ftp.storbinary('STOR app.txt', io.BytesIO(b'abc'))
ftp.storbinary('APPE app.txt', io.BytesIO(b'def'))
got = io.BytesIO()
ftp.retrbinary('RETR app.txt', got.write)
print('appe', got.getvalue())
ftp.mkd('made')
ftp.cwd('made')
ftp.storbinary('STOR inner.txt', io.BytesIO(b'inner'))
ftp.cwd('..')
print('nlst', sorted(ftp.nlst()))
ftp.rename('app.txt', 'moved.txt')
ftp.delete('moved.txt')
ftp.delete('made/inner.txt')
ftp.rmd('made')
print('after', sorted(ftp.nlst()))
# Abort a download in the middle.
conn = ftp.transfercmd('RETR huge.bin')
conn.recv(1024)
ftp.sock.sendall(b'ABOR\r\n')
# The aborted download's own reply comes first, then ABOR's.
print('abort', ftp.getline()[:3], ftp.getline())
conn.close()
print(ftp.sendcmd('NOOP'))
ftp.quit()
)PY";

class Transfers : public ::testing::Test {
protected:
    int port = FreeLoopbackPort();
    corvane::testing::ScratchFolder scratch;
};

TEST_F(Transfers, FtplibUploadsDownloadsResumesAppendsAndAborts)
{
    const std::string home = HomeWithFullShare(scratch, port);
    // Too big to sit in the sockets' buffers before the client's ABOR arrives (sparse: free).
    WriteFile(home + "/drive_c/My Downloads/huge.bin", "");
    std::filesystem::resize_file(home + "/drive_c/My Downloads/huge.bin", 256LL * 1024 * 1024);
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    std::string output;
    ASSERT_EQ(RunPython(kFtplibScript, {std::to_string(port)}, output), 0) << output;
    EXPECT_EQ(output, "p.bin True 1048580\n"
                      "rest True\n"
                      "a.bin True 1048580\n"
                      "rest True\n"
                      "appe b'abcdef'\n"
                      "nlst ['.', '..', 'a.bin', 'app.txt', 'huge.bin', 'made', 'p.bin']\n"
                      "after ['.', '..', 'a.bin', 'huge.bin', 'p.bin']\n"
                      "abort 501 225 ABOR command successful.\n"
                      "200 Ok. Parameter was ''.\n");
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
    EXPECT_EQ(ReadFile(home + "/drive_c/My Downloads/p.bin").size(), 1048580u);
}

TEST_F(Transfers, CurlListsDownloadsAndUploadsInBothModes)
{
    const std::string home = HomeWithFullShare(scratch, port);
    WriteFile(home + "/drive_c/My Downloads/sub/hello.txt", "hello\n");
    WriteFile(scratch.Join("up.txt"), "uploaded by curl\n");
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    const std::string url = "ftp://127.0.0.1:" + std::to_string(port) + "/";
    std::string output;
    const std::string script = "import subprocess, sys\n"
                               "url, up = sys.argv[1], sys.argv[2]\n"
                               "def run(*a): return subprocess.run(['curl', '-s', '-S', '--max-time', '20', *a],"
                               " capture_output=True).stdout.decode()\n"
                               "print(run(url + 'sub/hello.txt'), end='')\n"
                               "print(run('-P', '127.0.0.1', url + 'sub/hello.txt'), end='')\n"
                               "run('-T', up, url + 'sub/')\n"
                               "run('-P', '127.0.0.1', '-T', up, url + 'sub/active.txt')\n"
                               "print(run('-l', url + 'sub/'), end='')\n";
    ASSERT_EQ(RunPython(script, {url, scratch.Join("up.txt")}, output), 0) << output;
    EXPECT_EQ(output, "hello\nhello\n.\n..\nactive.txt\nhello.txt\nup.txt\n");
    EXPECT_EQ(ReadFile(home + "/drive_c/My Downloads/sub/up.txt"), "uploaded by curl\n");
    EXPECT_EQ(ReadFile(home + "/drive_c/My Downloads/sub/active.txt"), "uploaded by curl\n");
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

TEST_F(Transfers, RateLimitedDownloadTakesItsTime)
{
    // 6 MiB at 2 MiB/s: about three seconds, less the first blocks, which go at once whatever
    // their size; unthrottled it takes milliseconds.
    const std::string home = HomeWithFullShare(scratch, port, 2048);
    WriteFile(home + "/drive_c/My Downloads/slow.bin", std::string(6 * 1024 * 1024, 'x'));
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    std::string output;
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(RunPython("import subprocess, sys\n"
                        "r = subprocess.run(['curl', '-s', '--max-time', '30', sys.argv[1]], capture_output=True)\n"
                        "print(len(r.stdout))\n",
                        {"ftp://127.0.0.1:" + std::to_string(port) + "/slow.bin"}, output),
              0);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(output, "6291456\n");
    EXPECT_GT(seconds, 1.2) << "the download was not held to the account's rate";
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

TEST_F(Transfers, LftpMirrorsATreeDownAndBackUp)
{
    const std::string home = HomeWithFullShare(scratch, port);
    const std::string share = home + "/drive_c/My Downloads";
    WriteFile(share + "/tree/a.txt", "a\n");
    WriteFile(share + "/tree/sub/b.bin", std::string(300000, 'b'));
    WriteFile(share + "/tree/sub/deeper/name with blanks.txt", "c\n");
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    const std::string local = scratch.Join("local");
    std::string output;
    const std::string commands = "set cmd:fail-exit yes; set net:max-retries 1; set net:timeout 10; "
                                 "cd tree; mirror . " +
                                 local + "; cd /; mkdir back; mirror -R " + local + " back; bye";
    ASSERT_EQ(RunPython("import subprocess, sys\n"
                        "r = subprocess.run(['lftp', '-p', sys.argv[1], '-e', sys.argv[2], '127.0.0.1'],"
                        " capture_output=True, timeout=60)\n"
                        "print(r.returncode, r.stderr.decode())\n",
                        {std::to_string(port), commands}, output),
              0);
    EXPECT_EQ(output, "0 \n");
    for (const char* name : {"/a.txt", "/sub/b.bin", "/sub/deeper/name with blanks.txt"}) {
        EXPECT_EQ(ReadFile(local + name), ReadFile(share + "/tree" + name)) << name;
        EXPECT_EQ(ReadFile(share + "/back" + name), ReadFile(share + "/tree" + name)) << name;
    }
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

// lftp reads the LIST lines with its own parser: every size, date and name must come out as
// the file system has them, a 5 GB file and a name with blanks included, the year of an old
// file and the time of a recent one. (Told not to use the machine listing it would prefer.)
TEST_F(Transfers, LftpParsesEveryListingLine)
{
    const std::string home = HomeWithFullShare(scratch, port);
    const std::string share = home + "/drive_c/My Downloads";
    WriteFile(share + "/big.iso", "");
    std::filesystem::resize_file(share + "/big.iso", 5000000000LL);
    WriteFile(share + "/name with blanks.txt", "blanks");
    WriteFile(share + "/old.txt", "old");
    std::filesystem::create_directories(share + "/folder");
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    std::string output;
    const std::string script = R"PY(
import os, subprocess, sys, time
share, port = sys.argv[1], sys.argv[2]
recent = (int(time.time()) // 60 - 3 * 24 * 60) * 60
old = int(time.mktime((2019, 3, 4, 12, 0, 0, 0, 0, -1)))
for name, t in (('big.iso', recent), ('name with blanks.txt', recent - 3600), ('old.txt', old), ('folder', recent)):
    os.utime(os.path.join(share, name), (t, t))
env = dict(os.environ, LC_ALL='C')
r = subprocess.run(['lftp', '-p', port, '-e', 'set net:max-retries 1; set net:timeout 10; set ftp:use-mlsd no; '
                    'cls -1 -s --block-size=1 --date --time-style=%Y-%m-%dT%H:%M; bye', '127.0.0.1'],
                   capture_output=True, timeout=60, env=env)
stamp = lambda t: time.strftime('%Y-%m-%dT%H:%M', time.localtime(t))
got = [line.split(None, 2) for line in r.stdout.decode().splitlines()]
want = [['5000000000', stamp(recent), 'big.iso'], ['0', stamp(recent), 'folder/'],
        ['6', stamp(recent - 3600), 'name with blanks.txt']]
print(r.returncode, got[:3] == want, got[3][0], got[3][1][:10], got[3][2])
print(got)
)PY";
    ASSERT_EQ(RunPython(script, {share, std::to_string(port)}, output), 0) << output;
    EXPECT_EQ(output.substr(0, output.find('\n') + 1), "0 True 3 2019-03-04 old.txt\n") << output;
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

}  // namespace
}  // namespace corvane
