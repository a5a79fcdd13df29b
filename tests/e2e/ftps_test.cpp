// FTPS through the headless program with real clients: Python's ftplib.FTP_TLS (the data
// connections resuming the control connection's session), curl --ssl-reqd and lftp with
// ftp:ssl-force; the security commands out of order; and the faults a server meets: a login
// with a password in the clear, an old protocol version, a handshake of garbage, a data
// connection in the clear after PROT P, and hundreds of clients stopping in the middle of
// their handshakes while another one is served.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "../platform/scratch_folder.h"
#include "server_process.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::HomeWithFullShare;
using testing::ProgramFolderOfTests;
using testing::ReadFile;
using testing::RunCommand;
using testing::RunPython;
using testing::ServerProcess;
using testing::WriteFile;

constexpr const char* kPassword = "s3cret-pw";

constexpr const char* kFtplibScript = R"PY(
import ftplib, io, socket, ssl, sys, warnings
warnings.simplefilter('ignore', DeprecationWarning)   # naming TLS 1.1 is the point here
port = int(sys.argv[1])
ctx = ssl.create_default_context()
ctx.check_hostname = False
ctx.verify_mode = ssl.CERT_NONE

class Resuming(ftplib.FTP_TLS):
    # FTP_TLS opens every data connection with a new session; this one resumes the control
    # connection's, as FileZilla does, and notes whether the server took it.
    def ntransfercmd(self, cmd, rest=None):
        conn, size = ftplib.FTP.ntransfercmd(self, cmd, rest)
        if self._prot_p:
            conn = self.context.wrap_socket(conn, server_hostname=self.host, session=self.sock.session)
            self.reused = conn.session_reused
        return conn, size

def reply(ftp, line):
    try:
        return ftp.sendcmd(line)
    except ftplib.Error as e:
        return str(e)

plain = ftplib.FTP()
plain.connect('127.0.0.1', port, timeout=20)
print('plain user', reply(plain, 'USER bob')[:4], reply(plain, 'PBSZ 0')[:3], reply(plain, 'CCC')[:3])
print('plain anonymous', plain.login()[:3])
plain.quit()

ftp = Resuming(context=ctx)
ftp.connect('127.0.0.1', port, timeout=20)
print('feat', [l.strip() for l in ftp.sendcmd('FEAT').splitlines() if l.strip() in ('AUTH TLS', 'PBSZ', 'PROT')])
print(ftp.auth())
print('again', reply(ftp, 'AUTH TLS')[:3], 'ccc', reply(ftp, 'CCC')[:3], 'prot first', reply(ftp, 'PROT P')[:3])
print(reply(ftp, 'PBSZ 0'), '|', reply(ftp, 'PROT X')[:3], reply(ftp, 'PROT S')[:3])
print(ftp.login('bob', sys.argv[2])[:3], ftp.prot_p(), ftp.sock.version() in ('TLSv1.2', 'TLSv1.3'))
data = bytes(range(256)) * 8192 + b'end'   # 2 MiB and 3 bytes
for passive in (True, False):
    ftp.set_pasv(passive)
    name = 'p.bin' if passive else 'a.bin'
    ftp.storbinary('STOR ' + name, io.BytesIO(data))
    stored = ftp.reused
    got = io.BytesIO()
    ftp.retrbinary('RETR ' + name, got.write)
    print(name, got.getvalue() == data, 'resumed', stored, ftp.reused)
lines = []
ftp.retrlines('LIST', lines.append)
print('list', sorted(l.split()[-1] for l in lines))
print(ftp.prot_c(), ftp.size('p.bin'))
got = io.BytesIO()
ftp.retrbinary('RETR p.bin', got.write)
print('clear data', got.getvalue() == data)
ftp.quit()

old = ssl.create_default_context()
old.check_hostname = False
old.verify_mode = ssl.CERT_NONE
old.minimum_version = old.maximum_version = ssl.TLSVersion.TLSv1_1
try:
    f = Resuming(context=old)
    f.connect('127.0.0.1', port, timeout=20)
    f.auth()
    print('tls 1.1 accepted')
except (ssl.SSLError, OSError):
    print('tls 1.1 refused')
)PY";

// Faults: garbage where a handshake should be, a data connection in the clear after PROT P (and
// the transfer after it, which must not wait for the listener that went with it),
// and 250 clients that stop in the middle of their handshakes while one more logs in.
constexpr const char* kFaultScript = R"PY(
import ftplib, io, socket, ssl, sys, time
port = int(sys.argv[1])
ctx = ssl.create_default_context()
ctx.check_hostname = False
ctx.verify_mode = ssl.CERT_NONE

def raw_after_auth():
    s = socket.create_connection(('127.0.0.1', port), timeout=20)
    f = s.makefile('rb')
    f.readline()
    s.sendall(b'AUTH TLS\r\n')
    return s, f.readline()[:3].decode()

s, code = raw_after_auth()
s.sendall(b'GET / HTTP/1.0\r\n\r\n')
try:
    print('garbage', code, s.recv(100))
except ConnectionResetError:
    print('garbage', code, b'')
s.close()

ftp = ftplib.FTP_TLS(context=ctx)
ftp.connect('127.0.0.1', port, timeout=20)
ftp.login('bob', sys.argv[2])
ftp.prot_p()
host, dport = ftplib.parse227(ftp.sendcmd('PASV'))
data = socket.create_connection((host, dport), timeout=20)
ftp.putcmd('STOR clear.bin')
print('stor', ftp.getline()[:3])
data.sendall(b'plain bytes where a TLS handshake belongs' * 100)
print('after clear data', ftp.getline()[:3])
data.close()
print(ftp.sendcmd('NOOP')[:3])
# The listener went with the failed handshake: the next transfer does not wait for it.
ftp.set_pasv(False)
print('then active', ftp.storbinary('STOR active.bin', io.BytesIO(b'after the failed handshake'))[:3])
ftp.quit()

stalled = []
hello = bytes([0x16, 3, 1, 2, 0, 1, 0, 1, 0xfc, 3, 3])   # a ClientHello cut short
for i in range(250):
    s, code = raw_after_auth()
    if i % 2 == 0:
        s.sendall(hello)
    stalled.append(s)
start = time.monotonic()
ftp = ftplib.FTP_TLS(context=ctx)
ftp.connect('127.0.0.1', port, timeout=30)
ftp.login('bob', sys.argv[2])
print('served beside 250 stalled handshakes', ftp.sendcmd('NOOP')[:3])
ftp.quit()
for s in stalled:
    s.close()
)PY";

class Ftps : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = HomeWithFullShare(scratch, port);
        // Room for the stalled handshakes and the one that is served beside them, all from
        // loopback: the per-address cap of connections waiting to log in is off here.
        std::string settings = ReadFile(home + "/CorvaneServer.ini");
        WriteFile(home + "/CorvaneServer.ini",
                  settings + "MaximumNumberOfConnections=256\r\nMaxWaitingConnectionsPerAddress=0\r\n");
        std::string output;
        const std::string admin = ProgramFolderOfTests() + "/corvane-server --home '" + home + "' ";
        ASSERT_EQ(RunCommand("printf '" + std::string(kPassword) + "\\n' | " + admin +
                                 "user add bob --password-stdin 2>&1 && " + admin +
                                 "folder add bob 'C:\\My Downloads\\' --rights gplcmdri 2>&1 && " + admin +
                                 "home bob 'C:\\My Downloads\\' 2>&1",
                             output),
                  0)
            << output;
    }

    std::string Sessions() const
    {
        std::string output;
        RunCommand(ProgramFolderOfTests() + "/corvane-server --home '" + home + "' sessions 2>&1", output);
        return output;
    }

    int port = FreeLoopbackPort();
    corvane::testing::ScratchFolder scratch;
    std::string home;
};

TEST_F(Ftps, FtplibLogsInOverTlsAndItsDataConnectionsResumeTheSession)
{
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    std::string output;
    ASSERT_EQ(RunPython(kFtplibScript, {std::to_string(port), kPassword}, output), 0) << output;
    EXPECT_EQ(output, "plain user 530  503 533\n"
                      "plain anonymous 230\n"
                      "feat ['AUTH TLS', 'PBSZ', 'PROT']\n"
                      "234 AUTH TLS successful; go ahead with the TLS handshake.\n"
                      "again 503 ccc 534 prot first 503\n"
                      "200 PBSZ=0 | 504 536\n"
                      "230 200 Protection level set to P. True\n"
                      "p.bin True resumed True True\n"
                      "a.bin True resumed True True\n"
                      "list ['.', '..', 'a.bin', 'p.bin']\n"
                      "200 Protection level set to C. 2097155\n"
                      "clear data True\n"
                      "tls 1.1 refused\n");
    // The home's own pair was made on the first start, readable by the owner only.
    for (const char* name : {"/CorvaneServer.crt", "/CorvaneServer.key"}) {
        const auto permissions = std::filesystem::status(home + name).permissions();
        EXPECT_EQ(permissions, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write) << name;
    }
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

TEST_F(Ftps, CurlAndLftpDownloadAndUploadOverTls)
{
    const std::string shared = home + "/drive_c/My Downloads/";
    std::string content;
    for (int i = 0; i < 300000; ++i) content += static_cast<char>(i * 7 % 251);
    WriteFile(shared + "down.bin", content);
    WriteFile(scratch.Join("up.bin"), content + "up");
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    const std::string url = "ftp://127.0.0.1:" + std::to_string(port) + "/";
    const std::string curl = "curl -sS --max-time 30 --ssl-reqd -k -u bob:" + std::string(kPassword) + " ";
    std::string output;
    ASSERT_EQ(RunCommand(curl + "-o '" + scratch.Join("curl.bin") + "' " + url + "down.bin 2>&1", output), 0) << output;
    ASSERT_EQ(RunCommand(curl + "-T '" + scratch.Join("up.bin") + "' " + url + "curl-up.bin 2>&1", output), 0)
        << output;
    EXPECT_TRUE(ReadFile(scratch.Join("curl.bin")) == content);
    EXPECT_TRUE(ReadFile(shared + "curl-up.bin") == content + "up");
    // Without TLS the password is not even asked for.
    EXPECT_NE(RunCommand("curl -sS --max-time 30 -u bob:" + std::string(kPassword) + " " + url + " 2>&1", output), 0);

    const std::string lftp =
        "cd '" + scratch.Path() + "' && lftp -p " + std::to_string(port) + " -u bob," + kPassword +
        " -e 'set ftp:ssl-force true; set ftp:ssl-protect-data true; set ssl:verify-certificate no; "
        "set net:max-retries 1; set net:timeout 20; get down.bin -o lftp.bin; put up.bin -o lftp-up.bin; quit' "
        "127.0.0.1 2>&1";
    ASSERT_EQ(RunCommand(lftp, output), 0) << output;
    EXPECT_TRUE(ReadFile(scratch.Join("lftp.bin")) == content);
    EXPECT_TRUE(ReadFile(shared + "lftp-up.bin") == content + "up");
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

// rclone over explicit TLS copies a tree up with its files' times, and checks it.
TEST_F(Ftps, RcloneCopiesATreeUpAndChecksIt)
{
    if (std::system("command -v rclone >/dev/null 2>&1") != 0) GTEST_SKIP() << "rclone is not installed";
    WriteFile(scratch.Join("tree/a.txt"), "first file\n");
    WriteFile(scratch.Join("tree/sub/b.bin"), std::string(200000, 'b'));
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    std::string obscured;
    ASSERT_EQ(RunCommand("rclone obscure '" + std::string(kPassword) + "'", obscured), 0);
    obscured.erase(obscured.find_last_not_of("\r\n") + 1);
    const std::string remote = "':ftp,host=127.0.0.1,port=" + std::to_string(port) + ",user=bob,pass=" + obscured +
                               ",explicit_tls=true,no_check_certificate=true:tree'";
    const std::string rclone = "rclone --config /dev/null --low-level-retries 1 --retries 1 --contimeout 20s ";
    std::string output;
    ASSERT_EQ(RunCommand(rclone + "copy '" + scratch.Join("tree") + "' " + remote + " 2>&1", output), 0) << output;
    ASSERT_EQ(RunCommand(rclone + "check '" + scratch.Join("tree") + "' " + remote + " 2>&1", output), 0) << output;
    EXPECT_EQ(ReadFile(home + "/drive_c/My Downloads/tree/sub/b.bin"), std::string(200000, 'b'));
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

TEST_F(Ftps, APairThatCannotBeMadeIsLoggedAsServerStateAndFtpStaysInTheClear)
{
    // A folder where the key would go: the pair can be neither written nor read.
    std::filesystem::create_directory(home + "/CorvaneServer.key");
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    std::string output;
    ASSERT_EQ(RunCommand("curl -s --max-time 20 ftp://127.0.0.1:" + std::to_string(port) + "/ 2>&1", output), 0)
        << output;
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
    const std::string log = "\n" + ReadFile(server.OutputPath());
    for (const char* line : {"\n! TLS: cannot make a certificate (", "\n! TLS not available: "})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

TEST_F(Ftps, FaultsGetAClearReplyOrACleanCloseAndTheSessionsEnd)
{
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    std::string output;
    ASSERT_EQ(RunPython(kFaultScript, {std::to_string(port), kPassword}, output), 0) << output;
    EXPECT_EQ(output, "garbage 234 b''\n"
                      "stor 150\n"
                      "after clear data 426\n"
                      "200\n"
                      "then active 226\n"
                      "served beside 250 stalled handshakes 200\n");
    // A data connection that failed its handshake stored nothing.
    EXPECT_FALSE(std::filesystem::exists(home + "/drive_c/My Downloads/clear.bin"));
    EXPECT_EQ(ReadFile(home + "/drive_c/My Downloads/active.bin"), "after the failed handshake");
    // Every client has gone, also those whose handshakes stopped half-way.
    bool none = false;
    for (int i = 0; i < 100 && !none; ++i) {
        none = Sessions() == "No sessions.\n";
        if (!none) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(none) << Sessions();
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

}  // namespace
}  // namespace corvane
