// Downloads whose clients close the data connection before the end, through the headless
// program: the transfer fails as one whose data connection closed, and the program goes on
// serving everyone (a send to a peer that has gone must never end the process).
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "server_process.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::HomeWithFullShare;
using testing::RunPython;
using testing::ServerProcess;
using testing::WriteFile;

// Opens a download of big.bin and leaves it: "at-once" closes the data connection as soon as
// it is open, "after-part" reads 4 MiB first, shuts its sending side (a FIN) and then closes.
// Prints how the server answered the download.
constexpr const char* kAbandonScript = R"PY(
import ftplib, socket, sys
port, mode, when = int(sys.argv[1]), sys.argv[2], sys.argv[3]
ftp = ftplib.FTP()
ftp.connect('127.0.0.1', port, timeout=30)
ftp.login()
ftp.set_pasv(mode == 'passive')
conn = ftp.transfercmd('RETR big.bin')
if when == 'after-part':
    got = 0
    while got < 4 << 20:
        block = conn.recv(1 << 16)
        if not block:
            break
        got += len(block)
    conn.shutdown(socket.SHUT_WR)
conn.close()
# The failed transfer's final reply: the first one that is not an intermediate 1xx or 426.
while True:
    line = ftp.getline()
    if not line.startswith('426'):
        break
print('failed' if line[:1] in '45' else 'ended with ' + line)
ftp.quit()
)PY";

// A fresh session on the same program: login, LIST and a whole download.
constexpr const char* kFreshSessionScript = R"PY(
import ftplib, io, sys
ftp = ftplib.FTP()
ftp.connect('127.0.0.1', int(sys.argv[1]), timeout=30)
ftp.login()
print('big.bin' in ftp.nlst())
got = io.BytesIO()
ftp.retrbinary('RETR small.txt', got.write)
print(got.getvalue().decode())
ftp.quit()
)PY";

// lftp fetches one file in four parts on four connections at once, each closing its data
// connection as soon as it has its part.
constexpr const char* kSegmentedScript = R"PY(
import hashlib, subprocess, sys
port, source, target = sys.argv[1], sys.argv[2], sys.argv[3]
want = hashlib.md5(open(source, 'rb').read()).hexdigest()
for run in range(10):
    r = subprocess.run(['lftp', '-p', port, '-e', 'set net:max-retries 1; set net:timeout 20; set xfer:clobber yes; '
                        'pget -n 4 -O ' + target + ' pieces.bin; bye', '127.0.0.1'],
                       capture_output=True, timeout=120)
    got = hashlib.md5(open(target + '/pieces.bin', 'rb').read()).hexdigest()
    print(run, r.returncode, got == want, r.stderr.decode().strip())
)PY";

// The signal mask of a /proc status line ("SigIgn:", "SigBlk:"), as a set of signal numbers.
unsigned long long SignalMask(const std::string& statusFile, const std::string& key)
{
    std::ifstream in(statusFile);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0) return std::stoull(line.substr(key.size()), nullptr, 16);
    return 0;
}

bool HasSignal(unsigned long long mask, int signalNumber) { return (mask >> (signalNumber - 1)) & 1; }

class AbandonedDownloads : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = HomeWithFullShare(scratch, port);
        share = home + "/drive_c/My Downloads";
        WriteFile(share + "/small.txt", "still here");
        // Far more than the sockets' buffers hold, so the sending is under way when the client
        // goes (sparse: it costs no disk).
        WriteFile(share + "/big.bin", "");
        std::filesystem::resize_file(share + "/big.bin", 200LL * 1024 * 1024);
    }

    // The program's descriptors when it is idle: the same count twice, a tenth of a second apart.
    static int IdleDescriptors(const ServerProcess& server)
    {
        int before = server.OpenDescriptors();
        for (int i = 0; i < 50; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const int now = server.OpenDescriptors();
            if (now == before) return now;
            before = now;
        }
        return before;
    }

    // Waits until the program's descriptors are back to `count` (closing a data connection and
    // its file follows the reply by a few loop turns).
    static int DescriptorsSettle(const ServerProcess& server, int count)
    {
        int now = server.OpenDescriptors();
        for (int i = 0; i < 250 && now != count; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            now = server.OpenDescriptors();
        }
        return now;
    }

    void ExpectServesAFreshSession(ServerProcess& server)
    {
        ASSERT_TRUE(server.Alive()) << server.Ending();
        std::string output;
        EXPECT_EQ(RunPython(kFreshSessionScript, {std::to_string(port)}, output), 0) << output;
        EXPECT_EQ(output, "True\nstill here\n");
    }

    int port = FreeLoopbackPort();
    corvane::testing::ScratchFolder scratch;
    std::string home, share;
};

// Whether a send raises SIGPIPE while the peer's close lands depends on the host's timing;
// what keeps the program alive whatever the timing is what it does with the signal. Every
// thread, the server thread included, also leaves the stop signals to the main loop.
TEST_F(AbandonedDownloads, TheProgramIgnoresConnectionFaultSignalsAndEveryThreadLeavesStopsToTheLoop)
{
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    ExpectServesAFreshSession(server);
    const std::string proc = "/proc/" + std::to_string(server.Pid());
    const unsigned long long ignored = SignalMask(proc + "/status", "SigIgn:");
    EXPECT_TRUE(HasSignal(ignored, SIGPIPE));
    EXPECT_TRUE(HasSignal(ignored, SIGXFSZ));
    int threads = 0;
    for (const auto& task : std::filesystem::directory_iterator(proc + "/task")) {
        ++threads;
        const unsigned long long blocked = SignalMask(task.path().string() + "/status", "SigBlk:");
        for (int stop : {SIGINT, SIGTERM, SIGHUP, SIGUSR1})
            EXPECT_TRUE(HasSignal(blocked, stop)) << task.path() << " " << stop;
    }
    EXPECT_GE(threads, 2);  // the main loop and the FTP server thread
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

TEST_F(AbandonedDownloads, AnOrderlyCloseFailsTheTransferAndTheServerGoesOn)
{
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    ExpectServesAFreshSession(server);
    const int descriptors = IdleDescriptors(server);
    for (const char* mode : {"passive", "active"}) {
        for (const char* when : {"at-once", "after-part"}) {
            for (int round = 0; round < 3; ++round) {
                SCOPED_TRACE(std::string(mode) + " " + when + " round " + std::to_string(round));
                std::string output;
                EXPECT_EQ(RunPython(kAbandonScript, {std::to_string(port), mode, when}, output), 0) << output;
                EXPECT_EQ(output, "failed\n");
                ASSERT_TRUE(server.Alive()) << server.Ending();
                EXPECT_EQ(DescriptorsSettle(server, descriptors), descriptors);
                ExpectServesAFreshSession(server);
            }
        }
    }
    EXPECT_EQ(DescriptorsSettle(server, descriptors), descriptors);
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

TEST_F(AbandonedDownloads, LftpSegmentedDownloadsTenTimesInARow)
{
    // Random bytes in a block of a prime size, so a part written at the wrong place shows.
    std::mt19937 draw(12345);
    std::string block(1000003, '\0');
    for (char& c : block) c = static_cast<char>(draw());
    std::string content;
    content.reserve(128u << 20);
    while (content.size() < (128u << 20)) content += block;
    content.resize(128u << 20);
    WriteFile(share + "/pieces.bin", content);
    content.clear();

    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    ExpectServesAFreshSession(server);
    const int descriptors = IdleDescriptors(server);
    std::string output;
    const std::string target = scratch.Join("fetched");
    std::filesystem::create_directories(target);
    ASSERT_EQ(RunPython(kSegmentedScript, {std::to_string(port), share + "/pieces.bin", target}, output), 0) << output;
    std::string want;
    for (int run = 0; run < 10; ++run) want += std::to_string(run) + " 0 True \n";
    EXPECT_EQ(output, want);
    ASSERT_TRUE(server.Alive()) << server.Ending();
    EXPECT_EQ(DescriptorsSettle(server, descriptors), descriptors);
    ExpectServesAFreshSession(server);
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

}  // namespace
}  // namespace corvane
