// Every command that names a path, sent by Python's ftplib with every way of climbing out of the
// share: each one is refused (or, for a listing, shows nothing from outside), while the same
// command on a name inside the share works. The share is C:\Share\ (every right);
// C:\Drop\ takes uploads only; C:\Private\ holds a file and a folder the account may not touch.
#include <gtest/gtest.h>

#include <filesystem>

#include "../platform/scratch_folder.h"
#include "server_process.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::ReadFile;
using testing::RunCommand;
using testing::RunPython;
using testing::ServerProcess;
using testing::WriteAnonymousAccount;
using testing::WriteFile;

// A home past its first run whose only account, Anonymous, has `homeFolder` and the folder file
// `folderFile`; its FTP service on the loopback port.
std::string AnonymousHome(const corvane::testing::ScratchFolder& scratch, int port, const std::string& homeFolder,
                          const std::string& folderFile)
{
    const std::string home = scratch.Join("home");
    WriteFile(home + "/CorvaneServer.ini",
              "[ServerData]\r\nPort=" + std::to_string(port) + "\r\nUserSetServerIP=127.0.0.1\r\nServerFirstRun=0\r\n");
    WriteAnonymousAccount(home, homeFolder, folderFile);
    return home;
}

constexpr const char* kEscapeScript = R"PY(
import ftplib, io, sys
ftp = ftplib.FTP()
ftp.connect('127.0.0.1', int(sys.argv[1]), timeout=10)
ftp.login()

def code(call):
    try:
        reply = call()
        return str(reply)[:3] if isinstance(reply, str) else '2ok'
    except ftplib.all_errors as e:
        return str(e)[:3]

def lines_of(command):
    lines = []
    final = code(lambda: ftp.retrlines(command, lines.append))
    return final, ' '.join(lines)

def fetch(name):
    data = io.BytesIO()
    return code(lambda: ftp.retrbinary('RETR ' + name, data.write)), data.getvalue()

def store(command, name):
    return code(lambda: ftp.storbinary(command + ' ' + name, io.BytesIO(b'escaped')))

def rename(source, target):
    first = code(lambda: ftp.sendcmd('RNFR ' + source))
    return first if first != '350' else code(lambda: ftp.sendcmd('RNTO ' + target))

# Each command on folder P (on P/secret.txt, P/dir, ...): its reply code, and whether a listing
# or a download showed anything of P. What a command inside the share changes is put back.
def attempts(p):
    yield 'CWD', code(lambda: ftp.cwd(p))
    ftp.cwd('/')
    for listing in ('LIST', 'NLST', 'MLSD'):
        final, text = lines_of(listing + ' ' + p)
        yield listing, final if 'secret' in text else 'hidden'
    got, data = fetch(p + '/secret.txt')
    yield 'RETR', got + repr(data)
    yield 'SIZE', code(lambda: ftp.sendcmd('SIZE ' + p + '/secret.txt'))
    yield 'MDTM', code(lambda: ftp.sendcmd('MDTM ' + p + '/secret.txt'))
    yield 'MLST', code(lambda: ftp.sendcmd('MLST ' + p + '/secret.txt'))
    yield 'MFMT', code(lambda: ftp.sendcmd('MFMT 20000101000000 ' + p + '/secret.txt'))
    yield 'STOR', store('STOR', p + '/new.txt')
    yield 'APPE', store('APPE', p + '/secret.txt')
    yield 'MKD', code(lambda: ftp.sendcmd('MKD ' + p + '/made'))
    yield 'XMKD', code(lambda: ftp.sendcmd('XMKD ' + p + '/made2'))
    yield 'RMD', code(lambda: ftp.sendcmd('RMD ' + p + '/dir'))
    yield 'XRMD', code(lambda: ftp.sendcmd('XRMD ' + p + '/dir2'))
    moved = rename('h.txt', p + '/h.txt')
    if moved == '250':
        ftp.rename(p + '/h.txt', 'h.txt')
    yield 'RNTO', moved
    taken = rename(p + '/secret.txt', 'taken.txt')
    if taken == '250':
        ftp.rename('taken.txt', p + '/secret.txt')
    yield 'RNFR', taken
    yield 'DELE', code(lambda: ftp.sendcmd('DELE ' + p + '/secret.txt'))

def success(result):
    return result[0] in '123'

print('inside', ' '.join(name + '=' + result[:3] for name, result in attempts('Sub')))
escapes = ['../Private', '/../Private', './../Private', '..\\Private', '/C:/Private', '/c:/Private',
           'C:/Private', 'C:\\Private', '\\Private', '/C:/Share/../Private', 'Sub/../../Private',
           '/Sub/../../Private', 'Sub/../../../../Private', '//Private', '/C:/Share/Sub/../../Private']
tried = 0
for p in escapes:
    for name, result in attempts(p):
        tried += 1
        if success(result):
            print('leak', name, p, result)
# Above the share the client may pass through (CDUP, CWD /C:), but it sees only the way to the
# share there and touches nothing.
for way in ('CDUP', 'CWD /C:', 'CWD /..'):
    ftp.sendcmd(way)
    final, text = lines_of('LIST')
    if 'secret' in text or 'Private' in text:
        print('leak LIST after', way)
    for name, result in (('RETR', fetch('Private/secret.txt')[0]),
                         ('STOU', code(lambda: ftp.sendcmd('STOU'))),
                         ('STOR', store('STOR', 'Private/new.txt')),
                         ('MKD', code(lambda: ftp.sendcmd('MKD Private/made')))):
        tried += 1
        if success(result):
            print('leak', name, 'after', way, result)
    ftp.cwd('/')
# The share's own folder stays where it is: renaming it takes it out of a folder where the
# account has no right, even where the target folder takes uploads.
for source in ('.', '/', '/C:/Share', '../Share', 'Sub/..'):
    print('rename share', source, rename(source, '/C:/Drop/taken'))
print('tried', tried)
ftp.quit()
)PY";

TEST(PathConfinement, EveryPathCommandStaysInsideTheShare)
{
    corvane::testing::ScratchFolder scratch;
    const int port = FreeLoopbackPort();
    const std::string home =
        AnonymousHome(scratch, port, "C:\\Share\\", "gplcmdriC:\\Share\\*\r\n-p-----iC:\\Drop\\*\r\n");
    const std::string drive = home + "/drive_c";
    WriteFile(drive + "/Share/h.txt", "share file");
    WriteFile(drive + "/Share/Sub/secret.txt", "inside");
    for (const char* folder : {"/Share/Sub/dir", "/Share/Sub/dir2", "/Private/dir", "/Private/dir2", "/Drop"})
        std::filesystem::create_directories(drive + folder);
    WriteFile(drive + "/Private/secret.txt", "secret");
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    std::string output;
    ASSERT_EQ(RunPython(kEscapeScript, {std::to_string(port)}, output), 0) << output;
    EXPECT_EQ(output, "inside CWD=250 LIST=226 NLST=226 MLSD=226 RETR=226 SIZE=213 MDTM=213 MLST=250 MFMT=213 STOR=226 "
                      "APPE=226 MKD=257 XMKD=257 RMD=250 XRMD=250 RNTO=250 RNFR=250 DELE=250\n"
                      "rename share . 500\n"
                      "rename share / 500\n"
                      "rename share /C:/Share 500\n"
                      "rename share ../Share 500\n"
                      "rename share Sub/.. 500\n"
                      "tried 282\n");
    EXPECT_EQ(ReadFile(drive + "/Private/secret.txt"), "secret");
    EXPECT_TRUE(std::filesystem::is_directory(drive + "/Private/dir"));
    EXPECT_TRUE(std::filesystem::is_directory(drive + "/Private/dir2"));
    EXPECT_EQ(ReadFile(drive + "/Share/h.txt"), "share file");
    for (const char* name : {"new.txt", "made", "made2", "h.txt", "taken.txt"})
        EXPECT_FALSE(std::filesystem::exists(drive + "/Private/" + name)) << name;
    EXPECT_FALSE(std::filesystem::exists(drive + "/Drop/taken"));
    EXPECT_FALSE(std::filesystem::exists(drive + "/new.txt"));
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

// Above the home a client sees only the way down to it: every entry that a listing there
// shows can be followed, a folder entered and a file fetched, down to the home.
constexpr const char* kWalkScript = R"PY(
import ftplib, sys
ftp = ftplib.FTP()
ftp.connect('127.0.0.1', int(sys.argv[1]), timeout=10)
ftp.login()
ftp.sendcmd('CDUP')
ftp.sendcmd('CDUP')
while True:
    lines = []
    ftp.retrlines('LIST', lines.append)
    shown = sorted((line.split(None, 8)[8], line[0] == 'd') for line in lines)
    shown = [(name, folder) for name, folder in shown if name not in ('.', '..')]
    machine = sorted((name, facts['type'], facts.get('perm')) for name, facts in ftp.mlsd())
    print(ftp.pwd(), shown, sorted(ftp.nlst()), machine)
    for name, folder in shown:
        if folder:
            ftp.cwd(name)
            ftp.cwd('..')
        else:
            ftp.retrbinary('RETR ' + name, lambda block: None)
    folders = [name for name, folder in shown if folder]
    if len(shown) != 1 or not folders:
        break
    ftp.cwd(folders[0])
ftp.quit()
)PY";

TEST(PathConfinement, WhatAListingAboveTheHomeShowsCanBeFollowed)
{
    corvane::testing::ScratchFolder scratch;
    const int port = FreeLoopbackPort();
    const std::string home = AnonymousHome(scratch, port, "C:\\Shares\\Pub\\", "g-lc---iC:\\Shares\\Pub\\*\r\n");
    const std::string drive = home + "/drive_c";
    WriteFile(drive + "/Shares/Pub/top.txt", "top");
    WriteFile(drive + "/Shares/Pub/sub/in.txt", "in sub");
    WriteFile(drive + "/Shares/beside.txt", "not shared");
    WriteFile(drive + "/Private/secret.txt", "secret");
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    std::string output;
    ASSERT_EQ(RunPython(kWalkScript, {std::to_string(port)}, output), 0) << output;
    EXPECT_EQ(output, "/C:/ [('Shares', True)] ['.', '..', 'Shares'] [('Shares', 'dir', 'e')]\n"
                      "/C:/Shares/ [('Pub', True)] ['.', '..', 'Pub'] [('Pub', 'dir', 'el')]\n"
                      "/C:/Shares/Pub/ [('sub', True), ('top.txt', False)] ['.', '..', 'sub', 'top.txt'] "
                      "[('sub', 'dir', 'el'), ('top.txt', 'file', 'r')]\n");
    // lftp mirrors the drive's root: the way down and the home, and nothing beside it.
    output.clear();
    const std::string copy = scratch.Join("copy");
    EXPECT_EQ(RunCommand("timeout 60 lftp -p " + std::to_string(port) +
                             " -e 'set net:max-retries 1; set net:timeout 10; mirror /C: " + copy + "; bye' 127.0.0.1 2>&1",
                         output),
              0)
        << output;
    EXPECT_EQ(ReadFile(copy + "/Shares/Pub/top.txt"), "top");
    EXPECT_EQ(ReadFile(copy + "/Shares/Pub/sub/in.txt"), "in sub");
    EXPECT_FALSE(std::filesystem::exists(copy + "/Shares/beside.txt"));
    EXPECT_FALSE(std::filesystem::exists(copy + "/Private"));
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

}  // namespace
}  // namespace corvane
