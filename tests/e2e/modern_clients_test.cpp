// What today's clients use, seen by those clients: Python's ftplib lists with MLSD over EPSV
// and sets times with MFMT, lftp mirrors a tree up with its times (and its chmod step), rclone
// copies a tree up and checks it with the times kept to the second. The perm facts follow the
// account's rights, and MLST and MLSD keep to LIST's confinement.
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
using testing::WriteFile;

// ftplib sends EPSV in place of PASV for a connection it takes for IPv6. Each entry shows
// whether its modify fact is the file's own time in UTC to the second.
constexpr const char* kFtplibScript = R"PY(
import ftplib, os, socket, sys, time
port, share = sys.argv[1], sys.argv[2]
ftp = ftplib.FTP()
ftp.connect('127.0.0.1', int(port), timeout=10)
ftp.login()
ftp.af = socket.AF_INET6
def utc(path):
    return time.strftime('%Y%m%d%H%M%S', time.gmtime(os.stat(path).st_mtime))
def entries(path, folder):
    return sorted((name, facts.get('type'), facts.get('size'), facts.get('perm'),
                   facts.get('modify') == utc(os.path.join(folder, name))) for name, facts in ftp.mlsd(path))
def code(command):
    try:
        return ftp.sendcmd(command)[:3]
    except ftplib.error_perm as e:
        return str(e)[:3]
print(ftp.sendcmd('OPTS UTF8 ON'))
print('home', entries('', share))
print('above the home', entries('../..', os.path.dirname(share)))
ftp.cwd('sub')
print('sub', entries('', share + '/sub'))
try:
    list(ftp.mlsd('nothere'))
except ftplib.error_perm as e:
    print('missing', str(e)[:3])
for command in ('MLST file.txt', 'MLST /C:/root.txt', 'MLST ../../root.txt', 'MLST /', 'MFMT 20200101000000 file.txt'):
    print(command, code(command))
ftp.quit()
)PY";

std::string Share(const std::string& home) { return home + "/drive_c/My Downloads"; }

void PutTree(const std::string& share)
{
    WriteFile(share + "/top.txt", "top");
    WriteFile(share + "/.hidden", "h");
    WriteFile(share + "/broken\nname.txt", "b");
    WriteFile(share + "/sub/file.txt", "in sub");
}

TEST(ModernClients, FtplibSeesTheAccountsRightsInMachineListingsOverEpsv)
{
    corvane::testing::ScratchFolder scratch;
    const int port = FreeLoopbackPort();
    // The first run's anonymous share: download, list and change folder, nothing else.
    const std::string home = testing::HomeWithSettings(scratch, port);
    PutTree(Share(home));
    WriteFile(home + "/drive_c/root.txt", "root");
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    std::string output;
    ASSERT_EQ(RunPython(kFtplibScript, {std::to_string(port), Share(home)}, output), 0) << output;
    // The hidden file and the name with a line break are left out, as LIST leaves them out; a
    // listing above the home shows only the way down to it; the rights are those of the
    // read-only share.
    EXPECT_EQ(output, "200 UTF8 set to on.\n"
                      "home [('sub', 'dir', None, 'el', True), ('top.txt', 'file', '3', 'r', True)]\n"
                      "above the home [('My Downloads', 'dir', None, 'el', True)]\n"
                      "sub [('file.txt', 'file', '6', 'r', True)]\n"
                      "missing 550\n"
                      "MLST file.txt 250\n"
                      "MLST /C:/root.txt 550\n"
                      "MLST ../../root.txt 550\n"
                      "MLST / 250\n"
                      "MFMT 20200101000000 file.txt 550\n");
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

// A local tree with files of known, older times, to be copied up.
std::string LocalTree(const corvane::testing::ScratchFolder& scratch)
{
    const std::string tree = scratch.Join("tree");
    WriteFile(tree + "/one.txt", "one");
    WriteFile(tree + "/d1/two.txt", "two two");
    WriteFile(tree + "/d1/d2/three.txt", std::string(300000, 'x'));
    std::string output;
    RunCommand("touch -d '2021-05-06 07:08:09' '" + tree + "/one.txt' && touch -d '2019-01-02 03:04:05' '" + tree +
                   "/d1/d2/three.txt'",
               output);
    return tree;
}

// Every file of a tree with its size and its modification time to the second.
std::string FilesWithTimes(const std::string& tree)
{
    std::string output;
    RunCommand("cd '" + tree + "' && find . -type f -printf '%P %s %TY-%Tm-%Td %TH:%TM:%.2TS\\n' | sort", output);
    return output;
}

TEST(ModernClients, LftpMirrorsATreeUpOverEpsvWithItsTimes)
{
    corvane::testing::ScratchFolder scratch;
    const int port = FreeLoopbackPort();
    const std::string home = testing::HomeWithFullShare(scratch, port);
    const std::string tree = LocalTree(scratch);
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    std::string output;
    const int status = RunCommand("timeout 120 lftp -p " + std::to_string(port) +
                                      " -e 'set net:max-retries 1; set net:timeout 10; set ftp:prefer-epsv yes; "
                                      "mirror -R --verbose " +
                                      tree + " up; bye' 127.0.0.1 2>&1",
                                  output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(FilesWithTimes(Share(home) + "/up"), FilesWithTimes(tree));
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
    const std::string log = ReadFile(home + ".out");
    for (const char* command : {"< EPSV", "< MLSD", "< MFMT", "< SITE CHMOD"})
        EXPECT_NE(log.find(command), std::string::npos) << command;
}

TEST(ModernClients, RcloneCopiesATreeUpAndChecksItWithTheTimesKept)
{
    corvane::testing::ScratchFolder scratch;
    const int port = FreeLoopbackPort();
    const std::string home = testing::HomeWithFullShare(scratch, port);
    const std::string tree = LocalTree(scratch);
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    const std::string remote = testing::RcloneFtpRemote("127.0.0.1", port, "up");
    ASSERT_FALSE(remote.empty());
    const std::string rclone = "timeout 120 rclone --config /dev/null --low-level-retries 1 --retries 1 ";
    std::string output;
    EXPECT_EQ(RunCommand(rclone + "copy '" + tree + "' " + remote + " 2>&1", output), 0) << output;
    EXPECT_EQ(RunCommand(rclone + "check '" + tree + "' " + remote + " 2>&1", output), 0) << output;
    EXPECT_EQ(FilesWithTimes(Share(home) + "/up"), FilesWithTimes(tree));
    // rclone reads the times back through its machine listing.
    std::string local, uploaded;
    RunCommand(rclone + "lsf -R --files-only --format pst '" + tree + "'", local);
    RunCommand(rclone + "lsf -R --files-only --format pst " + remote, uploaded);
    EXPECT_EQ(uploaded, local);
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
    const std::string log = ReadFile(home + ".out");
    for (const char* command : {"< EPSV", "< MLSD", "< MFMT"})
        EXPECT_NE(log.find(command), std::string::npos) << command;
}

}  // namespace
}  // namespace corvane
