// The administration commands of the real program, with and without a server on the home,
// and the signals a service manager sends, driven from outside with Python's ftplib.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fcntl.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "accounts/permissions.h"
#include "common/ini_image.h"

#include "../platform/scratch_folder.h"
#include "server_process.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::HomeWithFullShare;
using testing::ProgramFolderOfTests;
using testing::ReadFile;
using testing::RunPython;
using testing::ScratchFolder;
using testing::ServerProcess;
using testing::WriteFile;

struct Outcome {
    int status = -1;
    std::string out, err;
};

// Runs corvane-server with the arguments, `input` on its standard input.
Outcome RunProgram(const std::vector<std::string>& arguments, const std::string& input = "")
{
    ScratchFolder scratch;
    const std::string in = scratch.Join("in"), out = scratch.Join("out"), err = scratch.Join("err");
    WriteFile(in, input);
    const std::string program = ProgramFolderOfTests() + "/corvane-server";
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::dup2(::open(in.c_str(), O_RDONLY), 0);
        ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
}

// Logs in with ftplib over TLS (a password login needs it), uploads a file and reads it back;
// prints "ok" or the failure.
constexpr const char* kUploadScript = R"PY(
import ftplib, io, ssl, sys
port, user, password, name = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
try:
    context = ssl.create_default_context()
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    ftp = ftplib.FTP_TLS(context=context)
    ftp.connect('127.0.0.1', port, timeout=10)
    ftp.login(user, password)
    ftp.prot_p()
    ftp.storbinary('STOR ' + name, io.BytesIO(b'uploaded by ' + user.encode()))
    got = io.BytesIO()
    ftp.retrbinary('RETR ' + name, got.write)
    ftp.quit()
    print('ok' if got.getvalue() == b'uploaded by ' + user.encode() else 'read back differs')
except Exception as e:
    print('failed:', e)
)PY";

class Administration : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = FreeLoopbackPort();
        home = HomeWithFullShare(scratch, port);
        std::filesystem::create_directories(home + "/drive_c/Music");
    }
    Outcome Run(std::vector<std::string> words, const std::string& input = "")
    {
        words.insert(words.begin(), {"--home", home});
        return RunProgram(words, input);
    }
    std::string Upload(const std::string& user, const std::string& password, const std::string& name)
    {
        std::string output;
        RunPython(kUploadScript, {std::to_string(port), user, password, name}, output);
        return output;
    }
    // Adds "bob" (password "s3cret") with get, put, list and change rights on C:\Music\.
    void AddBob()
    {
        Outcome added = Run({"user", "add", "bob", "--password-stdin"}, "s3cret\n");
        ASSERT_EQ(added.status, 0) << added.err;
        Outcome folder = Run({"folder", "add", "bob", "C:\\Music", "--rights", "gplc-i"});
        ASSERT_EQ(folder.status, 0) << folder.err;
    }

    // Runs a script of clients and commands (given the program, the home and the port) while a
    // server runs on the home: what it printed.
    std::string OutputWithServer(const char* script)
    {
        ServerProcess server(home, port);
        if (!server.WaitListening()) return "<not listening>";
        std::string output;
        RunPython(script, {ProgramFolderOfTests() + "/corvane-server", home, std::to_string(port)}, output);
        EXPECT_EQ(server.StopWith(SIGTERM), 0);
        return output;
    }

    ScratchFolder scratch;
    int port = 0;
    std::string home;
};

TEST_F(Administration, AUserAddedWithoutAServerLogsInAndUploadsOnceTheServerRuns)
{
    AddBob();
    EXPECT_NE(ReadFile(home + "/usersgroups.ini").find("[bob]"), std::string::npos);
    EXPECT_EQ(ReadFile(home + "/user - bob.kcf"), "gplc---iC:\\Music\\*\r\n");
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    EXPECT_EQ(Upload("bob", "s3cret", "song.txt"), "ok\n");
    EXPECT_EQ(ReadFile(home + "/drive_c/Music/song.txt"), "uploaded by bob");
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

TEST_F(Administration, AUserAddedWhileTheServerRunsLogsInAtOnceAndSurvivesAKill)
{
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    AddBob();
    EXPECT_EQ(Upload("bob", "s3cret", "live.txt"), "ok\n");
    Outcome wrong = Run({"user", "passwd", "bob", "--password-stdin"}, "changed\n");
    EXPECT_EQ(wrong.status, 0) << wrong.err;
    EXPECT_NE(Upload("bob", "s3cret", "old.txt"), "ok\n");
    EXPECT_EQ(Upload("bob", "changed", "new.txt"), "ok\n");
    // Only the owner reaches the control socket.
    struct stat socketFile {};
    ASSERT_EQ(::stat((home + "/control.sock").c_str(), &socketFile), 0);
    EXPECT_EQ(socketFile.st_mode & 0777, 0600u);
    // The change is on disk at once: a server killed now loses nothing.
    ::kill(server.Pid(), SIGKILL);
    EXPECT_EQ(server.StopWith(SIGKILL), -1);
    ServerProcess again(home, port);
    ASSERT_TRUE(again.WaitListening());
    EXPECT_EQ(Upload("bob", "changed", "after.txt"), "ok\n");
    EXPECT_NE(again.Errors().find("ended without stopping in order"), std::string::npos) << again.Errors();
    EXPECT_EQ(again.StopWith(SIGTERM), 0);
}

// Refusals: the same message and status with and without a server, and nothing changed.
TEST_F(Administration, RefusalsAreClearAndChangeNothingWithAndWithoutAServer)
{
    AddBob();
    ASSERT_EQ(Run({"group", "add", "Friends"}).status, 0);
    ASSERT_EQ(Run({"user", "add", "dave", "--group", "Friends", "--password-stdin"}, "x\n").status, 0);
    struct Case {
        std::vector<std::string> words;
        std::string input;
        int status;
        std::string message;
    } cases[] = {
        {{"user", "add", "BOB", "--password-stdin"}, "x\n", 1, "That name already exists"},
        {{"user", "add", "friends", "--password-stdin"}, "x\n", 1, "That name already exists"},
        {{"group", "add", "FTP"}, "", 1, "are for users only"},
        {{"group", "del", "All Others"}, "", 1, "Group \"All Others\" cannot be removed"},
        {{"group", "del", "friends"}, "", 1, "has 1 users; add --with-users"},
        {{"user", "add", "a[b", "--password-stdin"}, "x\n", 1, "cannot hold the character"},
        {{"user", "add", "carol", "--password-stdin"}, "bad\xf2pw\n", 1, "cannot keep"},
        {{"user", "add", "carol", "--group", "Nobody", "--password-stdin"}, "x\n", 1, "no group named"},
        {{"user", "set", "bob", "ratio", "5/7"}, "", 1, "a ratio is one of"},
        {{"user", "set", "bob", "max-connections", "-3"}, "", 1, "whole number"},
        {{"folder", "add", "bob", "Music", "--rights", "gl"}, "", 1, "drive letter"},
        {{"folder", "add", "bob", "C:\\Music\\", "--rights", "gx"}, "", 1, "rights are letters"},
        {{"home", "bob", "C:\\Elsewhere\\"}, "", 1, "has no folder"},
        {{"ip", "add", ""}, "", 1, "Invalid IP address/rule entered."},
        {{"user", "del", "nobody"}, "", 1, "no user named"},
        {{"disconnect", "99"}, "", 1, ""},
        {{"user", "fly", "bob"}, "", 2, "cannot understand"},
    };
    auto check = [&](const char* mode) {
        const std::string accounts = ReadFile(home + "/usersgroups.ini");
        for (const auto& c : cases) {
            Outcome o = Run(c.words, c.input);
            EXPECT_EQ(o.status, c.status) << mode << ": " << c.words[0] << " " << c.words[1] << "\n" << o.err;
            EXPECT_NE(o.err.find(c.message), std::string::npos) << mode << ": " << o.err;
        }
        EXPECT_EQ(ReadFile(home + "/usersgroups.ini"), accounts) << mode;
    };
    check("no server");
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    check("server");
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

// Deleting a group takes its users with it, as the window's Delete Group does: their names,
// their folder files and their logins go; a user of another group stays.
TEST_F(Administration, DeletingAGroupRemovesItsUsersWithIt)
{
    AddBob();
    ASSERT_EQ(Run({"group", "add", "Friends"}).status, 0);
    for (const char* user : {"dave", "erin"})
        ASSERT_EQ(Run({"user", "add", user, "--group", "Friends", "--password-stdin"}, "pw\n").status, 0);
    ASSERT_EQ(Run({"folder", "add", "dave", "C:\\Music", "--rights", "gplc-i"}).status, 0);
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    ASSERT_EQ(Upload("dave", "pw", "early.txt"), "ok\n");
    Outcome deleted = Run({"group", "del", "Friends", "--with-users"});
    EXPECT_EQ(deleted.status, 0) << deleted.err;
    EXPECT_NE(deleted.out.find("with its 2 users"), std::string::npos) << deleted.out;
    const std::string accounts = ReadFile(home + "/usersgroups.ini");
    for (const char* gone : {"Friends", "dave", "erin"}) EXPECT_EQ(accounts.find(gone), std::string::npos) << gone;
    EXPECT_FALSE(std::filesystem::exists(home + "/user - dave.kcf"));
    EXPECT_FALSE(std::filesystem::exists(home + "/group - Friends.kcf"));
    EXPECT_NE(Upload("dave", "pw", "late.txt"), "ok\n");
    EXPECT_EQ(Upload("bob", "s3cret", "kept.txt"), "ok\n");
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

TEST_F(Administration, ALongPasswordIsKeptAndShowReportsTheAccountAsJson)
{
    AddBob();
    const std::string longPassword(10000, 'k');
    ASSERT_EQ(Run({"user", "passwd", "bob", "--password-stdin"}, longPassword + "\n").status, 0);
    ASSERT_EQ(Run({"user", "set", "bob", "ratio", "1/3"}).status, 0);
    ASSERT_EQ(Run({"user", "set", "bob", "max-ip-connections", "2"}).status, 0);
    ASSERT_EQ(Run({"weblink", "bob", "http://example.org/", "--folder", "C:\\Music\\"}).status, 0);
    Outcome shown = Run({"show", "bob", "--json"});
    ASSERT_EQ(shown.status, 0) << shown.err;
    WriteFile(scratch.Join("show.json"), shown.out);
    std::string fields;
    RunPython("import json, sys\n"
              "a = json.load(open(sys.argv[1]))\n"
              "print(a['name'], a['ratio']['own'], a['maxIpConnections']['own'], a['folders'][0]['rights'], "
              "a['folders'][0]['webLink'])",
              {scratch.Join("show.json")}, fields);
    EXPECT_EQ(fields, "bob 1/3 2 gplc---i http://example.org/\n");
    const IniImage accounts = IniImage::FromText(ReadFile(home + "/usersgroups.ini"));
    // Kept as its hash, which the whole password matches and a shorter one does not.
    EXPECT_EQ(accounts.ReadRawValue("bob", "Password")->rfind("\xF5$argon2id$", 0), 0u);
    permissionsClass store(home, [](const std::string&) { return true; });
    store.LoadAccounts();
    EXPECT_TRUE(store.Authenticate("bob", longPassword));
    EXPECT_FALSE(store.Authenticate("bob", longPassword.substr(1)));
}

TEST_F(Administration, CommandsNeedAHomeThatExistsAndAnInitCreatesIt)
{
    const std::string fresh = scratch.Join("typo");
    Outcome missing = RunProgram({"--home", fresh, "user", "add", "x", "--password-stdin"}, "p\n");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("does not exist"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(fresh));
    Outcome made = RunProgram({"--home", fresh, "init"});
    EXPECT_EQ(made.status, 0) << made.err;
    EXPECT_NE(ReadFile(fresh + "/usersgroups.ini").find("[Anonymous]"), std::string::npos);
    Outcome status = RunProgram({"--home", fresh, "status", "--json"});
    EXPECT_EQ(status.status, 3);
    EXPECT_EQ(status.out, "{\"running\":false,\"home\":\"" + fresh + "\"}\n");
    // A settings file that cannot be a settings file is refused, not overwritten.
    WriteFile(fresh + "/usersgroups.ini", std::string("\x7f\x45\x4c\x46\x02\x01", 6));
    Outcome broken = RunProgram({"--home", fresh, "group", "add", "G"});
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.err.find("damaged"), std::string::npos) << broken.err;
    EXPECT_EQ(ReadFile(fresh + "/usersgroups.ini"), std::string("\x7f\x45\x4c\x46\x02\x01", 6));
}

// Commands at the same time take turns on the home: none loses another's change.
TEST_F(Administration, CommandsAtTheSameTimeLoseNothing)
{
    for (bool serverRuns : {false, true}) {
        std::unique_ptr<ServerProcess> server;
        if (serverRuns) {
            server = std::make_unique<ServerProcess>(home, port);
            ASSERT_TRUE(server->WaitListening());
        }
        const std::string prefix = serverRuns ? "live" : "files";
        std::vector<std::thread> commands;
        std::vector<int> statuses(8, -1);
        for (int i = 0; i < 8; ++i)
            commands.emplace_back([&, i] { statuses[i] = Run({"group", "add", prefix + std::to_string(i)}).status; });
        for (auto& command : commands) command.join();
        const std::string listed = Run({"list"}).out;
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(statuses[i], 0) << prefix << i;
            EXPECT_NE(listed.find(prefix + std::to_string(i) + "\n"), std::string::npos) << listed;
        }
        if (server) {
            EXPECT_EQ(server->StopWith(SIGTERM), 0);
        }
    }
    const std::string accounts = ReadFile(home + "/usersgroups.ini");
    for (int i = 0; i < 8; ++i) {
        EXPECT_NE(accounts.find("[files" + std::to_string(i) + "]"), std::string::npos);
        EXPECT_NE(accounts.find("[live" + std::to_string(i) + "]"), std::string::npos);
    }
}

// The password typed on a terminal: asked twice, never echoed.
constexpr const char* kTerminalScript = R"PY(
import os, pty, signal, sys
program, home = sys.argv[1], sys.argv[2]
signal.alarm(30)  # a program that stops answering fails the test instead of holding it
pid, fd = pty.fork()
if pid == 0:
    os.execv(program, [program, '--home', home, 'user', 'add', 'dave'])
seen = b''
def until(text):
    global seen
    while text not in seen:
        chunk = os.read(fd, 1024)
        if not chunk:
            raise SystemExit('ended before ' + repr(text) + ': ' + repr(seen))
        seen += chunk
until(b'Enter password for dave: ')
os.write(fd, b'typed-secret\n')
until(b'Enter it again: ')
os.write(fd, b'typed-secret\n')
until(b'added')
_, status = os.waitpid(pid, 0)
print(os.waitstatus_to_exitcode(status), b'typed-secret' in seen)
)PY";

TEST_F(Administration, APasswordTypedOnATerminalIsAskedTwiceWithoutEcho)
{
    std::string output;
    RunPython(kTerminalScript, {ProgramFolderOfTests() + "/corvane-server", home}, output);
    EXPECT_EQ(output, "0 False\n");
    ASSERT_EQ(Run({"folder", "add", "dave", "C:\\Music\\", "--rights", "glcp"}).status, 0);
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    EXPECT_EQ(Upload("dave", "typed-secret", "typed.txt"), "ok\n");
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

// A home whose path is longer than a socket address can hold still has its control socket.
TEST_F(Administration, AHomeWithAVeryLongPathIsReachedThroughItsSocket)
{
    const std::string deep = scratch.Join(std::string(120, 'd'));
    std::filesystem::create_directories(deep);
    std::filesystem::rename(home, deep + "/home");
    home = deep + "/home";
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    Outcome status = Run({"status"});
    EXPECT_EQ(status.status, 0) << status.err;
    EXPECT_NE(status.out.find("running (process " + std::to_string(server.Pid()) + ")"), std::string::npos)
        << status.out;
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

// The socket file is owner-only; behind it the server checks who connects. Loosened here on
// purpose, another user's command is still refused.
constexpr const char* kOtherUserScript = R"PY(
import os, socket, sys
path = sys.argv[1]
os.setgid(65534)
os.setuid(65534)
s = socket.socket(socket.AF_UNIX)
s.settimeout(10)
s.connect(path)
s.sendall(b'1:-6:status')
s.shutdown(socket.SHUT_WR)
reply = b''
while True:
    chunk = s.recv(4096)
    if not chunk:
        break
    reply += chunk
print(reply.decode())
)PY";

TEST_F(Administration, AnotherUsersCommandIsRefusedByTheServer)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    const std::string socketPath = home + "/control.sock";
    for (std::filesystem::path folder = home; folder != folder.parent_path(); folder = folder.parent_path())
        if (folder.string().rfind(scratch.Path(), 0) == 0) ::chmod(folder.c_str(), 0755);
    ::chmod(socketPath.c_str(), 0666);
    std::string output;
    RunPython(kOtherUserScript, {socketPath}, output);
    EXPECT_NE(output.find("takes commands only from the server's own user"), std::string::npos) << output;
    EXPECT_EQ(output.substr(0, 3), "1:1") << output;
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

// Root edits a service's home while the service is stopped: the files stay the service's.
TEST_F(Administration, FilesRootRewritesInAnotherUsersHomeStayThatUsers)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root";
    for (const auto& entry : std::filesystem::directory_iterator(home)) ::chown(entry.path().c_str(), 65534, 65534);
    ::chown(home.c_str(), 65534, 65534);
    ASSERT_EQ(Run({"group", "add", "Friends"}).status, 0);
    for (const char* name : {"usersgroups.ini", "CorvaneServer.ini", "group - Friends.kcf"}) {
        struct stat file {};
        ASSERT_EQ(::stat((home + "/" + name).c_str(), &file), 0) << name;
        EXPECT_EQ(file.st_uid, 65534u) << name;
    }
}

// ftplib stays connected while the commands look at it and end it.
constexpr const char* kSessionScript = R"PY(
import ftplib, json, subprocess, sys
program, home, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
ftp = ftplib.FTP()
ftp.connect('127.0.0.1', port, timeout=10)
ftp.login('anonymous', 'guest@')
ftp.cwd('/C:/My Downloads/')
sessions = json.loads(subprocess.run([program, '--home', home, 'sessions', '--json'], capture_output=True, text=True, check=True).stdout)
print(len(sessions), sessions[0]['user'], sessions[0]['ip'], sessions[0]['currentPath'])
done = subprocess.run([program, '--home', home, 'disconnect', str(sessions[0]['number'])], capture_output=True, text=True)
print(done.returncode, done.stdout.strip().replace('session %d ' % sessions[0]['number'], 'session N '))
try:
    ftp.voidcmd('NOOP')
    print('still connected')
except (EOFError, OSError, ftplib.Error):
    print('disconnected')
status = json.loads(subprocess.run([program, '--home', home, 'status', '--json'], capture_output=True, text=True).stdout)
print(status['running'], status['ftp']['listening'], status['ftp']['port'] == port, status['sessions'])
)PY";

TEST_F(Administration, SessionsShowAConnectedClientAndDisconnectEndsIt)
{
    EXPECT_EQ(OutputWithServer(kSessionScript), "1 anonymous 127.0.0.1 C:\\My Downloads\\\n"
                                                "0 Disconnected session N (anonymous from 127.0.0.1).\n"
                                                "disconnected\n"
                                                "True True True 0\n");
}

// Two clients, and each session named twice by commands run at the same time: one command
// per session ends it, the other finds it gone, and both clients are cut.
constexpr const char* kTwoDisconnectsScript = R"PY(
import ftplib, json, subprocess, sys
program, home, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
clients = []
for _ in range(2):
    ftp = ftplib.FTP()
    ftp.connect('127.0.0.1', port, timeout=10)
    ftp.login('anonymous', 'guest@')
    clients.append(ftp)
sessions = json.loads(subprocess.run([program, '--home', home, 'sessions', '--json'], capture_output=True, text=True, check=True).stdout)
numbers = [s['number'] for s in sessions] * 2
commands = [subprocess.Popen([program, '--home', home, 'disconnect', str(n)], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True) for n in numbers]
results = {}
for number, command in zip(numbers, commands):
    out, err = command.communicate(timeout=20)
    results.setdefault(number, []).append((command.returncode, 'Disconnected session' in out, 'there is no session' in err))
print(len(sessions), [sorted(r) for r in results.values()])
for ftp in clients:
    try:
        ftp.voidcmd('NOOP')
        print('still connected')
    except (EOFError, OSError, ftplib.Error):
        print('disconnected')
print(json.loads(subprocess.run([program, '--home', home, 'status', '--json'], capture_output=True, text=True).stdout)['sessions'])
)PY";

TEST_F(Administration, TwoDisconnectsAtOnceEachReportWhatTheyDid)
{
    // Per session: one command ended it (0, its report), the other found it gone (1, refused).
    EXPECT_EQ(OutputWithServer(kTwoDisconnectsScript),
              "2 [[(0, True, False), (1, False, True)], [(0, True, False), (1, False, True)]]\n"
              "disconnected\n"
              "disconnected\n"
              "0\n");
}

TEST_F(Administration, ASecondServerOnTheHomeRefusesToStart)
{
    ServerProcess first(home, port);
    ASSERT_TRUE(first.WaitListening());
    ServerProcess second(home, FreeLoopbackPort());
    // Signal 0 sends nothing: this only waits for the second server to end by itself.
    EXPECT_EQ(second.StopWith(0, std::chrono::milliseconds(8000)), 1);
    EXPECT_NE(second.Errors().find("another server runs on " + home), std::string::npos) << second.Errors();
    EXPECT_TRUE(first.Alive());
    EXPECT_EQ(first.StopWith(SIGTERM), 0);
}

// A process that holds the home and its socket but never answers.
constexpr const char* kSilentHolderScript = R"PY(
import fcntl, os, socket, sys, time
home = sys.argv[1]
lock = open(os.path.join(home, 'corvane-server.lock'), 'w')
fcntl.flock(lock, fcntl.LOCK_EX)
lock.write(str(os.getpid())); lock.flush()
s = socket.socket(socket.AF_UNIX)
s.bind(os.path.join(home, 'control.sock')); s.listen(5)
print(os.getpid(), flush=True)
time.sleep(30)
)PY";

TEST_F(Administration, AServerThatDoesNotAnswerIsReportedInAFewSeconds)
{
    const std::string script = scratch.Join("holder.py");
    WriteFile(script, kSilentHolderScript);
    std::FILE* holder = ::popen(("exec python3 " + script + " " + home).c_str(), "r");
    ASSERT_NE(holder, nullptr);
    char line[32] = {};
    ASSERT_NE(std::fgets(line, sizeof line, holder), nullptr);
    const pid_t holderPid = static_cast<pid_t>(std::atoi(line));
    ASSERT_GT(holderPid, 0);
    const auto start = std::chrono::steady_clock::now();
    Outcome o = Run({"group", "add", "G"});
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("did not answer"), std::string::npos) << o.err;
    EXPECT_LT(waited, std::chrono::seconds(9));
    ::kill(holderPid, SIGTERM);
    ::pclose(holder);
}

// Whether a client is greeted on the port within a few seconds.
bool AcceptsSoon(int port)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!testing::LineClient(port).Connected()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

TEST_F(Administration, ConfigSetMovesTheFtpPortOfARunningServerAndRefusesBadInput)
{
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    const std::string settingsBefore = ReadFile(home + "/CorvaneServer.ini");
    for (const auto& [words, problem] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"config", "set", "Prot", "2121"}, "there is no setting \"Prot\""},
             {{"config", "set", "Port", "70000"}, "Port is a whole number from 1 to 32275"},
             {{"config", "set", "UserSetServerIP", "localhost"}, "UserSetServerIP is an IPv4 address"},
             {{"config", "get", "Prot"}, "there is no setting \"Prot\""}}) {
        const Outcome refused = Run(words);
        EXPECT_EQ(refused.status, 1) << words[2];
        EXPECT_NE(refused.err.find(problem), std::string::npos) << refused.err;
    }
    EXPECT_EQ(ReadFile(home + "/CorvaneServer.ini"), settingsBefore);
    EXPECT_EQ(Run({"config", "get", "Port"}).out, std::to_string(port) + "\n");

    const int moved = FreeLoopbackPort();
    const Outcome set = Run({"config", "set", "Port", std::to_string(moved)});
    EXPECT_EQ(set.status, 0) << set.err;
    EXPECT_NE(set.out.find("FTP restarted on port " + std::to_string(moved)), std::string::npos) << set.out;
    EXPECT_TRUE(AcceptsSoon(moved));
    EXPECT_FALSE(testing::LineClient(port).Connected());
    EXPECT_EQ(Run({"config", "get", "port"}).out, std::to_string(moved) + "\n");
    EXPECT_NE(ReadFile(home + "/CorvaneServer.ini").find("Port=" + std::to_string(moved)), std::string::npos);
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

TEST_F(Administration, ConfigSetWithoutAServerWritesTheFileTheNextStartUses)
{
    const std::string settingsBefore = ReadFile(home + "/CorvaneServer.ini");
    const Outcome refused = Run({"config", "set", "Port", "21x"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(ReadFile(home + "/CorvaneServer.ini"), settingsBefore);

    const int moved = FreeLoopbackPort();
    const Outcome set = Run({"config", "set", "Port", std::to_string(moved)});
    ASSERT_EQ(set.status, 0) << set.err;
    const Outcome listed = Run({"config", "list"});
    EXPECT_NE(listed.out.find("\nPort=" + std::to_string(moved) + "\n"), std::string::npos) << listed.out;
    // The other values stay as the file had them.
    EXPECT_NE(listed.out.find("UserSetServerIP=127.0.0.1\n"), std::string::npos) << listed.out;
    ServerProcess server(home, moved);
    EXPECT_TRUE(server.WaitListening());
    EXPECT_FALSE(testing::LineClient(port).Connected());
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

}  // namespace
}  // namespace corvane
