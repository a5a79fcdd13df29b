// The session policy seen by real clients (Python's ftplib, curl and lftp): the first-run
// anonymous share lets them read and list but refuses every change, option words and relative
// names of a listing show the folder they name, and an upload-only folder takes files but
// shows nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "../platform/scratch_folder.h"
#include "server_process.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::ReadFile;
using testing::RunPython;
using testing::ServerProcess;
using testing::WriteAnonymousAccount;
using testing::WriteFile;

// Every change is tried through ftplib and answered with its refusal's code; the listings are
// reduced to their names.
constexpr const char* kFirstRunScript = R"PY(
import ftplib, io, subprocess, sys
port, upload = sys.argv[1], sys.argv[2]
ftp = ftplib.FTP()
ftp.connect('127.0.0.1', int(port), timeout=10)
ftp.login()
got = io.BytesIO()
ftp.retrbinary('RETR sub/file.txt', got.write)
print('get', got.getvalue())
def attempt(name, call):
    try:
        print(name, 'allowed', call())
    except ftplib.error_perm as e:
        print(name, str(e)[:3])
attempt('stor', lambda: ftp.storbinary('STOR up.txt', io.BytesIO(b'x')))
attempt('stor-outside', lambda: ftp.storbinary('STOR ../up.txt', io.BytesIO(b'x')))
attempt('mkd', lambda: ftp.mkd('new'))
attempt('dele', lambda: ftp.delete('sub/file.txt'))
attempt('rmd', lambda: ftp.rmd('sub/inner'))
attempt('rnfr', lambda: ftp.rename('sub/file.txt', 'moved.txt'))
# A refused STOU leaves no reservation behind, in the share or above it; many of them at once.
for folder in ('/', '/C:/'):
    ftp.cwd(folder)
    codes = set()
    for i in range(200):
        try:
            ftp.sendcmd('STOU')
        except ftplib.error_perm as e:
            codes.add(str(e)[:3])
    print('stou', folder, sorted(codes))
ftp.cwd('/')
def names(command):
    lines = []
    ftp.retrlines(command, lines.append)
    return sorted(n for n in (l.split(None, 8)[-1] for l in lines) if n not in ('.', '..'))
ftp.cwd('sub')
print('list -la in sub', names('LIST -la'))
ftp.cwd('..')
print('list -a sub', names('LIST -a sub'))
print('list above', names('LIST ../..'))
ftp.quit()
url = 'ftp://127.0.0.1:' + port + '/'
r = subprocess.run(['curl', '-s', '-S', '--max-time', '20', '-l', url + 'sub/'], capture_output=True)
print('curl list', sorted(n for n in r.stdout.decode().split() if n not in ('.', '..')))
r = subprocess.run(['curl', '-s', '--max-time', '20', '-T', upload, url + 'curl.txt'], capture_output=True)
print('curl upload refused', r.returncode != 0)
r = subprocess.run(['lftp', '-p', port, '-e', 'set net:max-retries 1; set net:timeout 10; cd sub; ls; put '
                    + upload + ' -o lftp.txt; bye', '127.0.0.1'], capture_output=True, timeout=60)
print('lftp ls', sorted(n for n in (l.split()[-1] for l in r.stdout.decode().splitlines()) if n not in ('.', '..')))
print('lftp put refused', r.returncode != 0)
)PY";

TEST(SessionRights, FirstRunShareReadsAndListsButRefusesEveryChange)
{
    corvane::testing::ScratchFolder scratch;
    const std::string home = scratch.Join("home");
    const int port = FreeLoopbackPort();
    WriteFile(home + "/CorvaneServer.ini",
              "[ServerData]\r\nPort=" + std::to_string(port) + "\r\nUserSetServerIP=127.0.0.1\r\n");
    const std::string share = home + "/drive_c/My Downloads";
    WriteFile(share + "/top.txt", "top");
    WriteFile(share + "/sub/file.txt", "in sub");
    std::filesystem::create_directories(share + "/sub/inner");
    WriteFile(home + "/drive_c/root.txt", "root");
    WriteFile(scratch.Join("up.txt"), "upload");
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    std::string output;
    ASSERT_EQ(RunPython(kFirstRunScript, {std::to_string(port), scratch.Join("up.txt")}, output), 0) << output;
    EXPECT_EQ(output, "get b'in sub'\n"
                      "stor 501\n"
                      "stor-outside 501\n"
                      "mkd 550\n"
                      "dele 550\n"
                      "rmd 500\n"
                      "rnfr 500\n"
                      "stou / ['501']\n"
                      "stou /C:/ ['501']\n"
                      "list -la in sub ['file.txt', 'inner']\n"
                      "list -a sub ['file.txt', 'inner']\n"
                      "list above ['My Downloads']\n"
                      "curl list ['file.txt', 'inner']\n"
                      "curl upload refused True\n"
                      "lftp ls ['file.txt', 'inner']\n"
                      "lftp put refused True\n");
    EXPECT_EQ(ReadFile(share + "/sub/file.txt"), "in sub");
    EXPECT_TRUE(std::filesystem::is_directory(share + "/sub/inner"));
    for (const char* name : {"/up.txt", "/curl.txt", "/sub/lftp.txt", "/moved.txt", "/new"})
        EXPECT_FALSE(std::filesystem::exists(share + name)) << name;
    EXPECT_FALSE(std::filesystem::exists(home + "/drive_c/up.txt"));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home + "/drive_c"))
        EXPECT_EQ(entry.path().filename().string().rfind("FTP", 0), std::string::npos) << entry.path();
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

constexpr const char* kUploadOnlyScript = R"PY(
import ftplib, io, sys
ftp = ftplib.FTP()
ftp.connect('127.0.0.1', int(sys.argv[1]), timeout=10)
ftp.login()
print(ftp.storbinary('STOR incoming/new.txt', io.BytesIO(b'dropped')))
print('nlst', ftp.nlst('incoming'))
lines = []
ftp.retrlines('LIST incoming', lines.append)
print('list', lines)
try:
    ftp.cwd('incoming')
except ftplib.error_perm as e:
    print(e)
try:
    ftp.retrbinary('RETR incoming/new.txt', print)
except ftplib.error_perm as e:
    print(str(e)[:3])
ftp.quit()
)PY";

TEST(SessionRights, UploadOnlyFolderTakesFilesAndShowsNothing)
{
    corvane::testing::ScratchFolder scratch;
    const std::string home = scratch.Join("home");
    const int port = FreeLoopbackPort();
    WriteFile(home + "/CorvaneServer.ini",
              "[ServerData]\r\nPort=" + std::to_string(port) + "\r\nUserSetServerIP=127.0.0.1\r\nServerFirstRun=0\r\n");
    WriteAnonymousAccount(home, "C:\\Share\\", "g-lc---iC:\\Share\\*\r\n-p------C:\\Share\\incoming\\*\r\n");
    WriteFile(home + "/drive_c/Share/incoming/earlier.txt", "earlier");
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    std::string output;
    ASSERT_EQ(RunPython(kUploadOnlyScript, {std::to_string(port)}, output), 0) << output;
    EXPECT_EQ(output, "226 File received ok\n"
                      "nlst []\n"
                      "list []\n"
                      "501 CWD failed. No permission\n"
                      "500\n");
    EXPECT_EQ(ReadFile(home + "/drive_c/Share/incoming/new.txt"), "dropped");
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

}  // namespace
}  // namespace corvane
