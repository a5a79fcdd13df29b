// The SITE extensions seen by real clients of the real program: Python's ftplib searches the
// index that the server built at its start, reads each reply, lists the hits from the
// search-results folder, asks digests (checked against md5sum), changes a password and fetches
// a web link; lftp lists the hits and downloads one by the path its listing line names.
#include <gtest/gtest.h>

#include <filesystem>

#include "../platform/scratch_folder.h"
#include "server_process.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::RunPython;
using testing::ServerProcess;
using testing::WriteFile;

constexpr const char* kScript = R"PY(
import ftplib, subprocess, sys, time
port, share = sys.argv[1], sys.argv[2]
def reply(ftp, line):
    try:
        return ftp.sendcmd(line)
    except ftplib.Error as e:
        return str(e)
ftp = ftplib.FTP()
ftp.connect('127.0.0.1', int(port), timeout=10)
print(reply(ftp, 'SITE SRCH mp3'))
ftp.login('jo', 'abc')
# The first pass runs while the server starts: its digests and search lines are there once the
# screen log says it is complete.
deadline = time.monotonic() + 20
while 'FTP Local Indexing Complete.' not in open(sys.argv[4], errors='replace').read():
    if time.monotonic() > deadline:
        print('the first indexing pass did not complete in 20 s')
        sys.exit(1)
    time.sleep(0.02)
got = reply(ftp, 'SITE MD5 /C:/Pub/song.mp3')
md5sum = subprocess.run(['md5sum', share + '/song.mp3'], capture_output=True).stdout.decode().split()[0]
print('md5 matches md5sum', got == '256 ' + md5sum.upper())
print('relative md5 matches', reply(ftp, 'MD5 song.mp3') == got)
print(reply(ftp, 'SITE MD5 /C:/Pub/missing.mp3'))
print(reply(ftp, 'SITE MD5S'))
print(reply(ftp, 'MD5S'))
print(reply(ftp, 'SITE SRCHMODE 1'))
print(reply(ftp, 'SRCHMODE 2'))
print(reply(ftp, 'SITE SRCH zzz "deep/tune"'))
print(reply(ftp, 'SITE WEBL').replace(sys.argv[3], 'ADDRESS'))
ftp.cwd('/<DravikSearchResults>')
lines = []
ftp.retrlines('LIST', lines.append)
print('hits', sorted(l.split(None, 8)[-1] for l in lines if l))
print(reply(ftp, 'SITE CHPWD n3w'))
ftp.quit()
again = ftplib.FTP()
again.connect('127.0.0.1', int(port), timeout=10)
print('new password', again.login('jo', 'n3w')[:3])
again.quit()
anon = ftplib.FTP()
anon.connect('127.0.0.1', int(port), timeout=10)
anon.login()
print(reply(anon, 'SITE CHPWD mine'))
anon.quit()
got = share + '/../lftp.mp3'
r = subprocess.run(['lftp', '-p', port, '-u', 'jo,n3w', '-e',
                    # in the clear, as the peer client speaks (the server offers AUTH TLS)
                    'set ftp:ssl-allow no; set net:max-retries 1; set net:timeout 10; quote SITE SRCH mp3; '
                    'cd "/<DravikSearchResults>"; ls; get "/C:/Pub/song.mp3" -o "' + got + '"; bye', '127.0.0.1'],
                   capture_output=True, timeout=60)
print('lftp', r.returncode, sorted(l.split(None, 8)[-1] for l in r.stdout.decode().splitlines()[1:] if l.strip()))
print('lftp got the hit', open(got, 'rb').read() == open(share + '/song.mp3', 'rb').read())
)PY";

TEST(SiteExtensionsEndToEnd, PeerClientsSearchListDigestChangePasswordsAndFetchWebLinks)
{
    corvane::testing::ScratchFolder scratch;
    const std::string home = scratch.Join("home");
    const int port = FreeLoopbackPort();
    WriteFile(home + "/CorvaneServer.ini", "[ServerData]\r\nPort=" + std::to_string(port) +
                                               "\r\nUserSetServerIP=127.0.0.1\r\nServerFirstRun=0\r\n"
                                               "ServerDesiredButNoP2PSharingMode=0\r\nMD5IndexingEnabled=1\r\n"
                                               // the peer clients log in with passwords in the clear
                                               "TlsRequiredForPasswordLogins=0\r\n");
    WriteFile(home + "/usersgroups.ini",
              "[Usernames]\r\nUserCount=2\r\nUser0=Anonymous\r\nUser1=jo\r\n[Anonymous]\r\nHome Directory=C:\\Pub\\\r\n"
              "[jo]\r\nPassword=\x9E\x9D\x9C\r\nHome Directory=C:\\Pub\\\r\n");
    WriteFile(home + "/user - Anonymous.kcf", "g-lc---iC:\\Pub\\*\r\n");
    WriteFile(home + "/user - jo.kcf", "g-lc---iC:\\Pub\\*http://0.0.0.0:8080/web/\r\n");
    const std::string share = home + "/drive_c/Pub";
    std::string song;
    for (int i = 0; i < 300000; ++i) song += static_cast<char>(i * 13 + i / 7);
    WriteFile(share + "/song.mp3", song);
    WriteFile(share + "/Deep/Tune/b.mp3", "bee");
    WriteFile(share + "/notes.txt", "notes");
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    // The web link's 0.0.0.0 becomes the machine's first local address, whatever it is here.
    std::string address;
    ASSERT_EQ(RunPython(R"PY(
import fcntl, socket, struct, array
names = socket.if_nameindex()
for index, name in names:
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        addr = socket.inet_ntoa(fcntl.ioctl(s.fileno(), 0x8915, struct.pack('256s', name.encode()[:15]))[20:24])
        if not addr.startswith('127.'):
            print(addr)
            break
    except OSError:
        pass
else:
    print('127.0.0.1')
)PY",
                        {}, address),
              0);
    address.erase(address.find_last_not_of("\n") + 1);
    std::string output;
    ASSERT_EQ(RunPython(kScript, {std::to_string(port), share, address, server.OutputPath()}, output), 0) << output;
    EXPECT_EQ(output, "530 Please login with USER and PASS.\n"
                      "md5 matches md5sum True\n"
                      "relative md5 matches True\n"
                      "456 File has not been indexed yet, please try again later.\n"
                      "260 MD5 hashing supported\n"
                      "260 MD5 hashing supported\n"
                      "255 Search mode set.\n"
                      "555 Invalid search mode.\n"
                      "252 Query has been processed.\n"
                      "256 http://ADDRESS:8080/web/\n"
                      "hits ['/C:/Pub/Deep/Tune', '/C:/Pub/Deep/Tune/b.mp3']\n"
                      "258 Password has been changed.\n"
                      "new password 230\n"
                      "558 Password cannot be changed.\n"
                      "lftp 0 ['/C:/Pub/Deep/Tune/b.mp3', '/C:/Pub/song.mp3']\n"
                      "lftp got the hit True\n");
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
    // The changed password went into the account file with the rest of the store.
    EXPECT_NE(testing::ReadFile(home + "/usersgroups.ini").find("Password=\x91\xCC\x88\r\n"), std::string::npos);
}

}  // namespace
}  // namespace corvane
