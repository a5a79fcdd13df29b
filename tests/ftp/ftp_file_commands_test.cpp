// SIZE, MDTM and the file-management commands against a real server and a scratch folder
// mapped as drive C:.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "ftp_server_fixture.h"
#include "platform/drive_map.h"
#include "platform/file_stream.h"
#include "platform/scratch_folder.h"

using namespace corvane;
using namespace corvane::testing;

namespace {

bool HostExists(const std::string& hostPath)
{
    struct stat st {};
    return ::lstat(hostPath.c_str(), &st) == 0;
}

class FileCommandTest : public FtpServerTest {
protected:
    void SetUp() override
    {
        DriveMap::Configure({{'C', scratch.Path()}}, scratch.Path());
        server->OnClientConnect = [this](TFtpServer*, TFtpCtrlSocket* c, std::uint16_t) { client = c; };
        StartServer();
        probe = Connect();
        ASSERT_NE(client, nullptr);
    }
    void TearDown() override { DriveMap::Configure({{'C', ""}}, scratch.Path()); }

    // The client as logged in, its current folder the drive's root.
    void LogIn(const std::string& directory = "C:\\")
    {
        client->SetFtpState(ftpcReady);
        client->SetDirectory(directory);
    }
    std::string Send(const std::string& line) { return Ask(*probe, line); }

    ScratchFolder scratch;
    TFtpCtrlSocket* client = nullptr;
    std::unique_ptr<FtpProbe> probe;
};

}  // namespace

TEST_F(FileCommandTest, EachCommandAsksTheOwnerBeforeItLooksAtItsParameter)
{
    LogIn();
    auto refuse = [](TFtpServer*, TFtpCtrlSocket*, std::string&, bool& allowed) { allowed = false; };
    server->OnValidateDele = refuse;
    server->OnValidateRmd = refuse;
    int renameChecks = 0;
    server->OnValidateRnFr = [&](TFtpServer*, TFtpCtrlSocket*, std::string&, bool& allowed) {
        ++renameChecks;
        allowed = false;
    };
    server->OnValidateRnTo = refuse;
    server->OnValidateSize = refuse;
    server->OnMakeDirectory = [](TFtpServer*, TFtpCtrlSocket*, const std::string&, bool& allowed) { allowed = false; };
    scratch.Put("a.txt", "a");
    EXPECT_EQ(Send("DELE"), "550 Cannot delete.");
    EXPECT_EQ(Send("DELE a.txt"), "550 Cannot delete.");
    EXPECT_EQ(Send("RMD"), "500 Cannot remove directory.");
    // Except RNFR: a rename source that is missing is a syntax error before any right.
    EXPECT_EQ(Send("RNFR"), "501 Syntax error is parameter.");
    EXPECT_EQ(renameChecks, 0);
    EXPECT_EQ(Send("RNFR a.txt"), "500 Cannot RNFR.");
    EXPECT_EQ(Send("RNTO"), "500 Cannot RNTO.");
    EXPECT_EQ(Send("SIZE"), "501 Permission Denied");
    EXPECT_EQ(Send("MKD"), "550 'C:\\': can't create directory.");
    EXPECT_EQ(Send("XMKD new"), "550 'C:\\new': can't create directory.");
    EXPECT_TRUE(HostExists(scratch.Join("a.txt")));
    EXPECT_FALSE(HostExists(scratch.Join("new")));

    server->OnValidateDele = server->OnValidateRmd = server->OnValidateRnFr = server->OnValidateRnTo =
        server->OnValidateSize = nullptr;
    server->OnMakeDirectory = nullptr;
    EXPECT_EQ(Send("DELE"), "501 Syntax error in parameter.");
    EXPECT_EQ(Send("RMD"), "501 Syntax error in parameter.");
    EXPECT_EQ(Send("XRMD"), "501 Syntax error in parameter.");
    EXPECT_EQ(Send("RNFR"), "501 Syntax error is parameter.");
    EXPECT_EQ(Send("RNTO"), "501 Syntax error in parameter.");
    EXPECT_EQ(Send("SIZE"), "501 Syntax error in parameter.");
    EXPECT_EQ(Send("MKD"), "501 Syntax error in parameter.");
    EXPECT_EQ(Send("MDTM"), "501 Syntax error in MDTM parameter.");
}

TEST_F(FileCommandTest, AValidationEventThatChangesThePathActsOnTheNewOne)
{
    LogIn();
    scratch.Put("asked.txt", "a");
    scratch.Put("other.txt", "o");
    server->OnValidateDele = [](TFtpServer*, TFtpCtrlSocket*, std::string& path, bool&) { path = "C:\\other.txt"; };
    EXPECT_EQ(Send("DELE asked.txt"), "250 File 'C:\\other.txt' deleted.");
    EXPECT_TRUE(HostExists(scratch.Join("asked.txt")));
    EXPECT_FALSE(HostExists(scratch.Join("other.txt")));
    EXPECT_EQ(client->CurrentCommand(), ftpcDELE);
}

TEST_F(FileCommandTest, DeleRemovesFilesOnly)
{
    LogIn();
    scratch.Put("a.txt", "a");
    std::filesystem::create_directory(scratch.Join("sub"));
    EXPECT_EQ(Send("DELE a.txt"), "250 File 'C:\\a.txt' deleted.");
    EXPECT_FALSE(HostExists(scratch.Join("a.txt")));
    EXPECT_EQ(Send("DELE a.txt"), "550 'C:\\a.txt': no such file or directory.");
    EXPECT_EQ(Send("DELE sub"), "550 'C:\\sub': no such file or directory.");
    EXPECT_TRUE(HostExists(scratch.Join("sub")));
    // A relative name on another drive fails the file-path rule.
    EXPECT_EQ(Send("DELE D:a.txt"), "501 No current dir for 'D:'");
}

TEST_F(FileCommandTest, DeleOfAFileBeingDownloadedLeavesTheDownloadItsBytes)
{
    LogIn();
    scratch.Put("movie.avi", "all the bytes");
    FileStream reader;
    ASSERT_TRUE(reader.OpenReal("C:\\movie.avi", FileStream::Mode::Read));
    EXPECT_EQ(Send("DELE movie.avi"), "250 File 'C:\\movie.avi' deleted.");
    EXPECT_FALSE(HostExists(scratch.Join("movie.avi")));
    char buffer[64] = {};
    EXPECT_EQ(reader.Read(buffer, sizeof buffer), 13);
    EXPECT_EQ(std::string(buffer), "all the bytes");
}

TEST_F(FileCommandTest, DeleOfAFileBeingUploadedIsRefusedAndTheUploadKeepsItsFile)
{
    LogIn();
    FileStream writer;
    ASSERT_TRUE(writer.OpenReal("C:\\upload.bin", FileStream::Mode::Create));
    ASSERT_TRUE(writer.Write("first half"));
    EXPECT_EQ(Send("DELE upload.bin"), "450 File 'C:\\upload.bin' can't be deleted.");
    ASSERT_TRUE(writer.Write(", second half"));
    writer.Close();
    EXPECT_EQ(scratch.Get("upload.bin"), "first half, second half");
    // Once the upload has ended the file goes as any other.
    EXPECT_EQ(Send("DELE upload.bin"), "250 File 'C:\\upload.bin' deleted.");
}

TEST_F(FileCommandTest, MkdCreatesOneFolderWhoseParentExists)
{
    LogIn();
    scratch.Put("file", "");
    EXPECT_EQ(Send("MKD new"), "257 'C:\\new': directory created.");
    EXPECT_TRUE(std::filesystem::is_directory(scratch.Join("new")));
    EXPECT_EQ(client->CurrentCommand(), ftpcMKD);
    EXPECT_EQ(Send("MKD new"), "550 'C:\\new': can't create directory.");
    EXPECT_EQ(Send("MKD file"), "550 'C:\\file': file or directory already exists.");
    EXPECT_EQ(Send("MKD a/b"), "550 'C:\\a\\b': can't create directory.");
    EXPECT_FALSE(HostExists(scratch.Join("a")));
    EXPECT_EQ(Send("XMKD /new/inner"), "257 'C:\\new\\inner': directory created.");
    EXPECT_EQ(client->CurrentCommand(), ftpcXMKD);
    EXPECT_EQ(Send("MKD with blanks "), "257 'C:\\with blanks ': directory created.");
    EXPECT_TRUE(std::filesystem::is_directory(scratch.Join("with blanks ")));
    // The file-path rule's failure is answered in MKD's own terms.
    EXPECT_EQ(Send("MKD D:x"), "550 'No current dir for 'D:'': can't create directory.");
}

TEST_F(FileCommandTest, RmdRemovesEmptyFoldersOnly)
{
    LogIn();
    std::filesystem::create_directories(scratch.Join("full"));
    scratch.Put("full/keep.txt", "k");
    scratch.Put("file.txt", "f");
    std::filesystem::create_directory(scratch.Join("empty"));
    EXPECT_EQ(Send("RMD full"), "550 'C:\\full': can't remove directory.");
    EXPECT_EQ(scratch.Get("full/keep.txt"), "k");
    EXPECT_EQ(Send("RMD file.txt"), "550 'C:\\file.txt': can't remove directory.");
    EXPECT_TRUE(HostExists(scratch.Join("file.txt")));
    EXPECT_EQ(Send("RMD missing"), "550 'C:\\missing': no such directory.");
    EXPECT_EQ(Send("XRMD empty"), "250 'C:\\empty': directory removed.");
    EXPECT_EQ(client->CurrentCommand(), ftpcXRMD);
    EXPECT_FALSE(HostExists(scratch.Join("empty")));
    // The drive's root is never removed.
    std::filesystem::remove_all(scratch.Join("full"));
    std::filesystem::remove(scratch.Join("file.txt"));
    EXPECT_EQ(Send("RMD /"), "550 'C:\\': can't remove directory.");
    EXPECT_TRUE(HostExists(scratch.Path()));
}

TEST_F(FileCommandTest, RmdOfTheCurrentFolderRemovesItAndTheSessionGoesOn)
{
    std::filesystem::create_directory(scratch.Join("here"));
    LogIn("C:\\here\\");
    EXPECT_EQ(Send("RMD ."), "250 'C:\\here\\.': directory removed.");
    EXPECT_FALSE(HostExists(scratch.Join("here")));
    EXPECT_EQ(client->Directory(), "C:\\here\\");
    EXPECT_EQ(Send("MKD x"), "550 'C:\\here\\x': can't create directory.");
    EXPECT_EQ(Send("NOOP"), "200 Ok. Parameter was ''.");
}

TEST_F(FileCommandTest, RenameFromAndToAndTheSourceThatStays)
{
    LogIn();
    scratch.Put("old.txt", "content");
    EXPECT_EQ(Send("RNFR old.txt"), "350 File exists, ready for destination name.");
    EXPECT_EQ(Send("RNTO new.txt"), "250 File 'C:\\old.txt' renamed to 'C:\\new.txt'.");
    EXPECT_EQ(scratch.Get("new.txt"), "content");
    EXPECT_EQ(client->RenameToPath, "C:\\new.txt");
    // The source is kept, and is now gone.
    EXPECT_EQ(Send("RNTO other.txt"), "550 'C:\\old.txt': no such file or directory.");
    EXPECT_EQ(client->RenameFromPath, "C:\\old.txt");
    // A failed RNFR keeps the earlier source.
    EXPECT_EQ(Send("RNFR nothing"), "550 'C:\\nothing': no such file or directory.");
    EXPECT_EQ(client->RenameFromPath, "C:\\old.txt");
    EXPECT_EQ(client->CurrentCommand(), ftpcRNFR);
}

TEST_F(FileCommandTest, RntoWithoutAnEarlierRnfrNamesTheEmptySource)
{
    LogIn();
    EXPECT_EQ(Send("RNTO new.txt"), "550 '': no such file or directory.");
}

TEST_F(FileCommandTest, RntoNeverReplacesAnExistingEntry)
{
    LogIn();
    scratch.Put("a.txt", "a");
    scratch.Put("b.txt", "b");
    std::filesystem::create_directory(scratch.Join("dir"));
    EXPECT_EQ(Send("RNFR a.txt"), "350 File exists, ready for destination name.");
    EXPECT_EQ(Send("RNTO b.txt"), "553 'C:\\b.txt': file already exists.");
    EXPECT_EQ(Send("RNTO dir"), "553 'C:\\dir': file already exists.");
    EXPECT_EQ(scratch.Get("a.txt"), "a");
    EXPECT_EQ(scratch.Get("b.txt"), "b");
}

TEST_F(FileCommandTest, RntoMovesFilesAndFoldersWithinTheDrive)
{
    LogIn();
    std::filesystem::create_directories(scratch.Join("from/deep"));
    scratch.Put("from/deep/x.txt", "x");
    std::filesystem::create_directory(scratch.Join("to"));
    EXPECT_EQ(Send("RNFR from"), "350 File exists, ready for destination name.");
    EXPECT_EQ(Send("RNTO to/moved"), "250 File 'C:\\from' renamed to 'C:\\to\\moved'.");
    EXPECT_EQ(scratch.Get("to/moved/deep/x.txt"), "x");
    EXPECT_FALSE(HostExists(scratch.Join("from")));
    // Into a folder that does not exist: nothing moves.
    EXPECT_EQ(Send("RNFR to/moved/deep/x.txt"), "350 File exists, ready for destination name.");
    EXPECT_EQ(Send("RNTO nowhere/x.txt"), "450 File 'C:\\to\\moved\\deep\\x.txt' can't be renamed.");
    EXPECT_EQ(scratch.Get("to/moved/deep/x.txt"), "x");
}

TEST_F(FileCommandTest, AFolderCannotBeMovedIntoItself)
{
    LogIn();
    std::filesystem::create_directories(scratch.Join("box/inner"));
    scratch.Put("box/inner/f", "f");
    EXPECT_EQ(Send("RNFR box"), "350 File exists, ready for destination name.");
    EXPECT_EQ(Send("RNTO box/inner/box"), "450 File 'C:\\box' can't be renamed.");
    EXPECT_EQ(Send("RNTO box/box"), "450 File 'C:\\box' can't be renamed.");
    EXPECT_EQ(scratch.Get("box/inner/f"), "f");
    // Nor can a drive's root be renamed.
    EXPECT_EQ(Send("RNFR /"), "350 File exists, ready for destination name.");
    EXPECT_EQ(Send("RNTO /elsewhere"), "450 File 'C:\\' can't be renamed.");
}

TEST_F(FileCommandTest, SizeAnswersFilesOfAnySizeAndNoFolders)
{
    LogIn();
    scratch.Put("five.txt", "12345");
    std::filesystem::create_directory(scratch.Join("dir"));
    const int fd = ::open(scratch.Join("huge.img").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 5LL * 1024 * 1024 * 1024), 0);  // sparse
    ::close(fd);
    EXPECT_EQ(Send("SIZE five.txt"), "213 5");
    EXPECT_EQ(Send("SIZE huge.img"), "213 5368709120");
    EXPECT_EQ(Send("SIZE dir"), "550 Command failed: File not found.");
    EXPECT_EQ(Send("SIZE missing"), "550 Command failed: File not found.");
    EXPECT_EQ(Send("SIZE D:x"), "501 No current dir for 'D:'");
    EXPECT_EQ(client->CurrentCommand(), ftpcSIZE);
}

// In a zone with daylight saving time, a file of either season has its true UTC time, as
// MLST tells it, whatever the season of today.
TEST_F(FileCommandTest, MdtmAnswersFilesInUtcAlsoBeforeLogin)
{
    const char* oldZone = std::getenv("TZ");
    const std::string savedZone = oldZone ? oldZone : "";
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
    const std::pair<const char*, std::time_t> files[] = {{"winter.txt", 1234567890},   // 2009-02-13 23:31:30 UTC
                                                         {"summer.txt", 1593606896}};  // 2020-07-01 12:34:56 UTC
    for (const auto& [name, when] : files) {
        scratch.Put(name, "d");
        const struct timespec times[2] = {{when, 0}, {when, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, scratch.Join(name).c_str(), times, 0), 0);
    }
    std::filesystem::create_directory(scratch.Join("dir"));
    client->SetDirectory("C:\\");  // not logged in
    EXPECT_EQ(Send("MDTM winter.txt"), "213 20090213233130.000");
    EXPECT_EQ(Send("MDTM summer.txt"), "213 20200701123456.000");
    EXPECT_EQ(Send("MDTM dir"), "550 'C:\\dir': no such file or directory.");
    EXPECT_EQ(Send("MDTM missing"), "550 'C:\\missing': no such file or directory.");
    EXPECT_EQ(client->CurrentCommand(), ftpcMDTM);
    if (oldZone) ::setenv("TZ", savedZone.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
}
