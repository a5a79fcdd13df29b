// Protection against password guessing, through the headless program: an address that keeps
// guessing is banned while another logs in as usual, and passwords are kept as hashes that
// survive restarts (those of an earlier version's file too, hashed at the next save).
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <memory>

#include "accounts/account_names.h"

#include "../platform/scratch_folder.h"
#include "server_process.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::ReadFile;
using testing::RunPython;
using testing::ScratchFolder;
using testing::ServerProcess;
using testing::WriteFile;

// A home with user "alice" (password "pw-alice", scrambled as earlier versions wrote it) whose
// home is C:\My Downloads\, plain logins allowed, loopback not exempt from bans.
std::string HomeWithAlice(const ScratchFolder& scratch, int port)
{
    const std::string home = scratch.Join("home");
    WriteFile(home + "/CorvaneServer.ini", "[ServerData]\r\nPort=" + std::to_string(port) +
                                               "\r\nUserSetServerIP=0.0.0.0\r\nServerFirstRun=0\r\n"
                                               "TlsRequiredForPasswordLogins=0\r\nLoginBanExemptLoopback=0\r\n");
    WriteFile(home + "/usersgroups.ini", "[alice]\r\nHome Directory=C:\\My Downloads\\\r\nGroup=All Others\r\nPassword=" +
                                             ScramblePassword("pw-alice") +
                                             "\r\n\r\n[All Others]\r\nHome Directory=\r\n\r\n"
                                             "[Usernames]\r\nUserCount=1\r\nUser0=alice\r\n\r\n[Groupnames]\r\n"
                                             "GroupCount=1\r\nGroup0=All Others\r\n");
    WriteFile(home + "/user - alice.kcf", "gplcmdriC:\\My Downloads\\*\r\n");
    std::filesystem::create_directories(home + "/drive_c/My Downloads");
    return home;
}

// Logs in as alice from the given source address; prints "ok" or the failure.
constexpr const char* kLoginScript = R"PY(
import ftplib, sys
port, source, password = int(sys.argv[1]), sys.argv[2], sys.argv[3]
try:
    ftp = ftplib.FTP(source_address=(source, 0))
    ftp.connect('127.0.0.1', port, timeout=10)
    ftp.login('alice', password)
    ftp.nlst()
    ftp.quit()
    print('ok')
except Exception as e:
    print('failed:', e)
)PY";

// 2,000 wrong passwords for alice from 127.0.0.1 over 40 parallel connections, each guessing
// until it is refused; meanwhile alice logs in 10 times from 127.0.0.2. Prints the replies the
// guesses got by their first three characters, the legitimate logins that worked, and p99 of
// their times in milliseconds.
constexpr const char* kGuessScript = R"PY(
import ftplib, socket, sys, threading, time
port = int(sys.argv[1])
attempts, lock, replies = [2000], threading.Lock(), {}

def take():
    with lock:
        if attempts[0] <= 0:
            return False
        attempts[0] -= 1
        return True

def note(reply):
    with lock:
        replies[reply[:3]] = replies.get(reply[:3], 0) + 1

def guesser(n):
    while take():
        try:
            s = socket.create_connection(('127.0.0.1', port), timeout=20)
            f = s.makefile('rb')
            first = f.readline().decode()
            if not first.startswith('220'):
                note(first or 'closed')
                s.close()
                continue
            s.sendall(b'USER alice\r\n')
            f.readline()
            while True:
                s.sendall(b'PASS guess%d\r\n' % n)
                reply = f.readline().decode() or 'closed'
                note(reply)
                if not reply.startswith('530') or not take():
                    break
            s.close()
        except OSError as e:
            note('err')

threads = [threading.Thread(target=guesser, args=(i,)) for i in range(40)]
for t in threads:
    t.start()
times, ok = [], 0
for i in range(10):
    start = time.monotonic()
    try:
        ftp = ftplib.FTP(source_address=('127.0.0.2', 0))
        ftp.connect('127.0.0.1', port, timeout=20)
        ftp.login('alice', 'pw-alice')
        ftp.quit()
        ok += 1
    except Exception as e:
        print('legitimate login failed:', e)
    times.append((time.monotonic() - start) * 1000)
for t in threads:
    t.join()
times.sort()
print(sorted(replies.items()))
print('legitimate', ok, 'p99', int(times[-1]))
)PY";

// A server on a home with alice (HomeWithAlice), its settings followed by `moreSettings`.
class LoginProtection : public ::testing::Test {
protected:
    void Start(const std::string& moreSettings = "")
    {
        home = HomeWithAlice(scratch, port);
        WriteFile(home + "/CorvaneServer.ini", ReadFile(home + "/CorvaneServer.ini") + moreSettings);
        server = std::make_unique<ServerProcess>(home, port);
        ASSERT_TRUE(server->WaitListening());
    }

    ScratchFolder scratch;
    const int port = FreeLoopbackPort();
    std::string home;
    std::unique_ptr<ServerProcess> server;
};

TEST_F(LoginProtection, AGuessingAddressIsBannedWhileAnotherLogsIn)
{
    Start();
    // The probe of WaitListening came from 127.0.0.1 without a login: it counts nothing.
    std::string output;
    ASSERT_EQ(RunPython(kGuessScript, {std::to_string(port)}, output), 0) << output;
    EXPECT_NE(output.find("legitimate 10 "), std::string::npos) << output;
    // Nine guesses are refused one by one, the tenth bans the address; every later guess is
    // refused at once, before its password is even read.
    EXPECT_NE(output.find("('530', 9)"), std::string::npos) << output;
    EXPECT_NE(output.find("('421', "), std::string::npos) << output;

    std::string after;
    RunPython(kLoginScript, {std::to_string(port), "127.0.0.1", "pw-alice"}, after);
    EXPECT_NE(after.find("421 Too many failed logins; try again later."), std::string::npos) << after;
    after.clear();
    RunPython(kLoginScript, {std::to_string(port), "127.0.0.2", "pw-alice"}, after);
    EXPECT_EQ(after, "ok\n");
    EXPECT_EQ(server->StopWith(SIGTERM), 0);
    const std::string log = ReadFile(home + ".out");
    EXPECT_NE(log.find("is banned for 900 seconds after 10 failed logins"), std::string::npos);
    EXPECT_EQ(log.find("guess"), std::string::npos) << "a password reached the log";
}

// Sends each login with the commands after it in one write; prints the reply codes in order.
constexpr const char* kPipelinedScript = R"PY(
import socket, sys
port = int(sys.argv[1])
for password in ('pw-alice', 'wrong'):
    s = socket.create_connection(('127.0.0.1', port), timeout=10)
    f = s.makefile('rb')
    f.readline()
    s.sendall(b'USER alice\r\nPASS ' + password.encode() + b'\r\nPWD\r\nQUIT\r\n')
    print(' '.join(line[:3].decode() for line in f))
    s.close()
)PY";

// The commands a client sends right behind its PASS wait for the login's answer, which comes
// from another thread: they run in order, as the client sent them.
TEST_F(LoginProtection, CommandsSentBehindAPasswordWaitForItsAnswer)
{
    Start();
    std::string output;
    RunPython(kPipelinedScript, {std::to_string(port)}, output);
    EXPECT_EQ(output, "331 230 257 221\n331 530 530 221\n");
}

// Runs the program's command line on the home; returns what it printed (both streams).
std::string CommandLine(const std::string& home, const std::string& arguments)
{
    std::string output;
    testing::RunCommand(testing::ProgramFolderOfTests() + "/corvane-server --home '" + home + "' " + arguments + " 2>&1",
                        output);
    return output;
}

// Fetches / from the web server (retrying while it starts); prints the first line of the answer.
constexpr const char* kWebScript = R"PY(
import socket, sys, time
port = int(sys.argv[1])
for attempt in range(100):
    try:
        s = socket.create_connection(('127.0.0.1', port), timeout=10)
        break
    except OSError:
        time.sleep(0.05)
s.sendall(b'GET / HTTP/1.0\r\n\r\n')
got = b''
while True:
    block = s.recv(4096)
    if not block:
        break
    got += block
print(got.decode(errors='replace').splitlines()[0] if got else 'nothing')
)PY";

// Three wrong passwords ban 127.0.0.1 here, from FTP and from the web server; the command
// line lists the ban and lifts it.
TEST_F(LoginProtection, TheCommandLineListsAndLiftsBans)
{
    const int webPort = FreeLoopbackPort();
    Start("LoginBanFailures=3\r\nRunWebServerNextTime=1\r\nWebServerPort=" + std::to_string(webPort) + "\r\n");
    EXPECT_EQ(CommandLine(home, "bans"), "No address is banned.\n");
    std::string output;
    for (int i = 0; i < 3; ++i) RunPython(kLoginScript, {std::to_string(port), "127.0.0.1", "wrong"}, output);
    EXPECT_NE(output.find("421 Too many failed logins"), std::string::npos) << output;
    std::string web;
    RunPython(kWebScript, {std::to_string(webPort)}, web);
    EXPECT_NE(web.find("403 Forbidden"), std::string::npos) << web;
    const std::string listed = CommandLine(home, "bans");
    EXPECT_NE(listed.find("127.0.0.1 "), std::string::npos) << listed;
    EXPECT_NE(listed.find("  3\n"), std::string::npos) << listed;
    EXPECT_NE(CommandLine(home, "bans unban 127.0.0.9").find("127.0.0.9 is not banned"), std::string::npos);
    EXPECT_EQ(CommandLine(home, "bans unban 127.0.0.1"), "Lifted the ban of 127.0.0.1.\n");
    output.clear();
    RunPython(kLoginScript, {std::to_string(port), "127.0.0.1", "pw-alice"}, output);
    EXPECT_EQ(output, "ok\n");
    web.clear();
    RunPython(kWebScript, {std::to_string(webPort)}, web);
    EXPECT_EQ(web.rfind("HTTP/1.", 0), 0u) << web;
    EXPECT_EQ(CommandLine(home, "bans"), "No address is banned.\n");
    EXPECT_EQ(server->StopWith(SIGTERM), 0);
    EXPECT_NE(ReadFile(home + ".out").find("! 127.0.0.1 is no longer banned"), std::string::npos);
}

// The earlier version's scrambled password logs in and is a hash after the save at the stop;
// the hash logs in after a restart, and a wrong password does not.
TEST(LoginPasswords, AreHashedAtTheNextSaveAndSurviveARestart)
{
    ScratchFolder scratch;
    const int port = FreeLoopbackPort();
    const std::string home = HomeWithAlice(scratch, port);
    for (int run = 0; run < 2; ++run) {
        ServerProcess server(home, port);
        ASSERT_TRUE(server.WaitListening());
        std::string output;
        RunPython(kLoginScript, {std::to_string(port), "127.0.0.2", "pw-alice"}, output);
        EXPECT_EQ(output, "ok\n") << "run " << run;
        output.clear();
        RunPython(kLoginScript, {std::to_string(port), "127.0.0.2", "pw-bob"}, output);
        EXPECT_NE(output.find("530 Login incorrect."), std::string::npos) << output;
        EXPECT_EQ(server.StopWith(SIGTERM), 0);
        const std::string accounts = ReadFile(home + "/usersgroups.ini");
        EXPECT_NE(accounts.find("Password=\xF5$argon2id$"), std::string::npos) << accounts;
        EXPECT_EQ(accounts.find(ScramblePassword("pw-alice")), std::string::npos);
    }
}

}  // namespace
}  // namespace corvane
