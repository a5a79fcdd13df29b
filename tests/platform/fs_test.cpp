#include "platform/fs.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/drive_map.h"
#include "platform/file_stream.h"
#include "platform/fs_batch.h"
#include "platform/scratch_folder.h"

namespace corvane {
namespace {

namespace stdfs = std::filesystem;
using fs::FsError;

class RealPathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        stdfs::create_directory(scratch.Join("c"));
        DriveMap::Configure({{'C', scratch.Join("c")}, {'D', scratch.Join("missing")}}, scratch.Path());
    }
    void TearDown() override { DriveMap::Configure({}, scratch.Path()); }
    std::string OnC(const std::string& name) const { return scratch.Join("c/" + name); }

    testing::ScratchFolder scratch;
};

TEST_F(RealPathTest, ExistenceTestsTellFilesFromFolders)
{
    scratch.Put("c/a.txt", "abc");
    stdfs::create_directory(OnC("Pub"));
    EXPECT_TRUE(fs::RealFileExists("C:\\a.txt"));
    EXPECT_TRUE(fs::RealFileExists("c:\\a.txt"));
    EXPECT_FALSE(fs::RealFileExists("C:\\A.TXT"));  // names compare as the host compares them
    EXPECT_FALSE(fs::RealFolderExists("C:\\a.txt"));
    EXPECT_TRUE(fs::RealFolderExists("C:\\Pub"));
    EXPECT_TRUE(fs::RealFolderExists("C:\\Pub\\"));
    EXPECT_FALSE(fs::RealFileExists("C:\\Pub"));
    EXPECT_TRUE(fs::RealFolderExists("C:\\"));
    EXPECT_FALSE(fs::RealFolderExists("D:\\"));  // mapped to a folder that is not there
    EXPECT_FALSE(fs::RealFolderExists("E:\\"));
    EXPECT_EQ(fs::LastFsError(), FsError::NotFound);
    EXPECT_FALSE(fs::RealFileExists("\\\\server\\share\\a.txt"));
}

TEST_F(RealPathTest, StatReportsSizeTimeAndAttributes)
{
    scratch.Put("c/.hidden", "12345");
    scratch.Put("c/locked", "x");
    ::chmod(OnC("locked").c_str(), 0444);
    ::mkfifo(OnC("pipe").c_str(), 0600);
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 500000000}};
    ::utimensat(AT_FDCWD, OnC(".hidden").c_str(), times, 0);

    auto hidden = fs::StatReal("C:\\.hidden");
    ASSERT_TRUE(hidden);
    EXPECT_EQ(hidden->name, ".hidden");
    EXPECT_EQ(hidden->size, 5);
    EXPECT_EQ(hidden->mtime, 1000000000);  // whole seconds
    EXPECT_TRUE(hidden->isHidden);
    EXPECT_FALSE(hidden->isReadOnly);
    EXPECT_FALSE(hidden->isSystem);
    EXPECT_FALSE(hidden->isDirectory);

    EXPECT_TRUE(fs::StatReal("C:\\locked")->isReadOnly);
    auto pipe = fs::StatReal("C:\\pipe");
    ASSERT_TRUE(pipe);
    EXPECT_TRUE(pipe->isSystem);
    EXPECT_EQ(pipe->size, 0);

    auto root = fs::StatReal("C:\\");
    ASSERT_TRUE(root);
    EXPECT_TRUE(root->isDirectory);
    EXPECT_EQ(root->name, "");
}

TEST_F(RealPathTest, SizesPastFourGigabytesAreKept)
{
    {
        FileStream sparse;
        ASSERT_TRUE(sparse.OpenReal("C:\\big.bin", FileStream::Mode::Create));
        ASSERT_TRUE(sparse.Truncate(5'000'000'000LL));
    }
    EXPECT_EQ(fs::StatReal("C:\\big.bin")->size, 5'000'000'000LL);
}

TEST_F(RealPathTest, ListingIsSortedWithAttributesAndOptionalDotEntries)
{
    stdfs::create_directories(OnC("Pub/sub"));
    scratch.Put("c/Pub/b.txt", "bb");
    scratch.Put("c/Pub/a.txt", "a");
    scratch.Put("c/Pub/.cfg", "");
    stdfs::create_symlink(OnC("Pub/nowhere"), OnC("Pub/dangling"));

    auto entries = fs::ListRealFolder("C:\\Pub\\");
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{".cfg", "a.txt", "b.txt", "dangling", "sub"}));
    EXPECT_TRUE(entries[0].isHidden);
    EXPECT_EQ(entries[2].size, 2);
    EXPECT_TRUE(entries[3].isSystem);  // a link to nothing is neither file nor folder
    EXPECT_TRUE(entries[4].isDirectory);

    auto withDots = fs::ListRealFolder("C:\\Pub", true);
    ASSERT_EQ(withDots.size(), 7u);
    EXPECT_EQ(withDots[0].name, ".");
    EXPECT_EQ(withDots[1].name, "..");
    EXPECT_TRUE(withDots[1].isDirectory);
    EXPECT_FALSE(withDots[0].isHidden);

    // The root of a drive has no "." and "..".
    auto root = fs::ListRealFolder("C:\\", true);
    ASSERT_EQ(root.size(), 1u);
    EXPECT_EQ(root[0].name, "Pub");
}

TEST_F(RealPathTest, ListingWhatIsNotAFolderFailsWithAReason)
{
    scratch.Put("c/a.txt", "x");
    EXPECT_TRUE(fs::ListRealFolder("C:\\nothing").empty());
    EXPECT_EQ(fs::LastFsError(), FsError::NotFound);
    EXPECT_TRUE(fs::ListRealFolder("C:\\a.txt").empty());
    EXPECT_NE(fs::LastFsError(), FsError::None);
    EXPECT_TRUE(fs::ListRealFolder("\\\\srv\\share").empty());
    EXPECT_EQ(fs::LastFsError(), FsError::NotFound);
}

TEST_F(RealPathTest, FoldersAreMadeAndRemovedButNeverTheDriveRoot)
{
    EXPECT_TRUE(fs::MakeRealFolder("C:\\New"));
    EXPECT_FALSE(fs::MakeRealFolder("C:\\New"));
    EXPECT_EQ(fs::LastFsError(), FsError::AlreadyExists);
    EXPECT_FALSE(fs::MakeRealFolder("C:\\x\\y"));  // no parent
    EXPECT_TRUE(fs::ForceRealFolders("C:\\x\\y\\z\\"));
    EXPECT_TRUE(stdfs::is_directory(OnC("x/y/z")));
    EXPECT_TRUE(fs::ForceRealFolders("C:\\x\\y"));  // already there
    EXPECT_FALSE(fs::ForceRealFolders("D:\\a"));    // the drive's folder itself is missing
    EXPECT_FALSE(stdfs::exists(scratch.Join("missing")));

    EXPECT_FALSE(fs::RemoveRealFolder("C:\\x"));
    EXPECT_EQ(fs::LastFsError(), FsError::NotEmpty);
    EXPECT_TRUE(fs::RemoveRealFolder("C:\\x\\y\\z"));
    EXPECT_FALSE(fs::RemoveRealFolder("C:\\"));
    EXPECT_FALSE(fs::RemoveRealFolder("C:\\New\\.."));
    EXPECT_TRUE(stdfs::is_directory(OnC("")));
}

TEST_F(RealPathTest, DeleteRemovesFilesOnly)
{
    scratch.Put("c/a.txt", "x");
    stdfs::create_directory(OnC("dir"));
    EXPECT_FALSE(fs::DeleteRealFile("C:\\dir"));
    EXPECT_EQ(fs::LastFsError(), FsError::IsAFolder);
    EXPECT_TRUE(fs::DeleteRealFile("C:\\a.txt"));
    EXPECT_FALSE(fs::DeleteRealFile("C:\\a.txt"));
    EXPECT_EQ(fs::LastFsError(), FsError::NotFound);
}

TEST_F(RealPathTest, RenameNeverReplacesAnExistingTarget)
{
    scratch.Put("c/a.txt", "first");
    scratch.Put("c/b.txt", "second");
    EXPECT_FALSE(fs::RenameReal("C:\\a.txt", "C:\\b.txt"));
    EXPECT_EQ(fs::LastFsError(), FsError::AlreadyExists);
    EXPECT_EQ(scratch.Get("c/b.txt"), "second");
    EXPECT_TRUE(fs::RenameReal("C:\\a.txt", "C:\\c.txt"));
    EXPECT_EQ(scratch.Get("c/c.txt"), "first");
    EXPECT_FALSE(fs::RenameReal("C:\\", "C:\\root"));
    EXPECT_FALSE(fs::RenameReal("C:\\c.txt", "E:\\c.txt"));
    EXPECT_TRUE(fs::RealFileExists("C:\\c.txt"));
}

TEST_F(RealPathTest, CopyOverwritesOnlyWhenAskedAndNeverOntoItself)
{
    scratch.Put("c/a.txt", "payload");
    ::chmod(OnC("a.txt").c_str(), 0640);
    scratch.Put("c/b.txt", "old");
    EXPECT_FALSE(fs::CopyRealFile("C:\\a.txt", "C:\\b.txt", false));
    EXPECT_EQ(fs::LastFsError(), FsError::AlreadyExists);
    EXPECT_EQ(scratch.Get("c/b.txt"), "old");
    EXPECT_TRUE(fs::CopyRealFile("C:\\a.txt", "C:\\b.txt", true));
    EXPECT_EQ(scratch.Get("c/b.txt"), "payload");
    EXPECT_TRUE(fs::CopyRealFile("C:\\a.txt", "C:\\new.txt", false));
    EXPECT_EQ(stdfs::status(OnC("new.txt")).permissions() & stdfs::perms::all,
              stdfs::perms::owner_read | stdfs::perms::owner_write | stdfs::perms::group_read);

    EXPECT_FALSE(fs::CopyRealFile("C:\\a.txt", "C:\\.\\a.txt", true));
    EXPECT_EQ(scratch.Get("c/a.txt"), "payload");
    EXPECT_FALSE(fs::CopyRealFile("C:\\missing", "C:\\x", true));
    EXPECT_FALSE(fs::RealFileExists("C:\\x"));
}

TEST_F(RealPathTest, CopyRefusesATargetThatIsBeingWritten)
{
    scratch.Put("c/a.txt", "new");
    FileStream upload;
    ASSERT_TRUE(upload.OpenReal("C:\\b.txt", FileStream::Mode::Create));
    ASSERT_TRUE(upload.Write("partial"));
    EXPECT_FALSE(fs::CopyRealFile("C:\\a.txt", "C:\\b.txt", true));
    EXPECT_EQ(fs::LastFsError(), FsError::AccessDenied);
    EXPECT_EQ(scratch.Get("c/b.txt"), "partial");
}

TEST_F(RealPathTest, UniqueTemporaryFilesAreNewEachTime)
{
    auto first = fs::CreateUniqueRealTempFile("C:\\", "up");
    auto second = fs::CreateUniqueRealTempFile("C:\\", "up");
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    EXPECT_EQ(first->substr(0, 5), "C:\\up");
    EXPECT_EQ(first->substr(first->size() - 4), ".tmp");
    EXPECT_TRUE(fs::RealFileExists(*first));
    EXPECT_FALSE(fs::CreateUniqueRealTempFile("C:\\", "../up"));
    EXPECT_FALSE(fs::CreateUniqueRealTempFile("E:\\", "up"));
}

TEST_F(RealPathTest, HostileNamesFailCleanly)
{
    std::string longName = "C:\\" + std::string(4000, 'n');
    EXPECT_FALSE(fs::RealFileExists(longName));
    EXPECT_EQ(fs::LastFsError(), FsError::NameTooLong);
    EXPECT_FALSE(fs::MakeRealFolder(longName));
    EXPECT_FALSE(fs::ForceRealFolders(longName + "\\x"));
    FileStream stream;
    EXPECT_FALSE(stream.OpenReal(longName, FileStream::Mode::Create));

    EXPECT_TRUE(fs::MakeRealFolder("C:\\caf\xe9"));  // not UTF-8: the host takes the bytes
    EXPECT_TRUE(stdfs::is_directory(OnC("caf\xe9")));
    EXPECT_EQ(fs::ListRealFolder("C:\\")[0].name, "caf\xe9");
}

TEST_F(RealPathTest, DotDotInRealPathsStaysInsideTheDrive)
{
    scratch.Put("outside.txt", "secret");
    EXPECT_FALSE(fs::RealFileExists("C:\\..\\outside.txt"));
    scratch.Put("c/inside.txt", "public");
    auto climbed = fs::ListRealFolder("C:\\..\\..\\..");
    ASSERT_EQ(climbed.size(), 1u);
    EXPECT_EQ(climbed[0].name, "inside.txt");
    FileStream stream;
    EXPECT_FALSE(stream.OpenReal("C:\\..\\outside.txt", FileStream::Mode::Read));
}

TEST(WildcardTest, StarsAndQuestionMarksMatchAsFileSearchesDo)
{
    EXPECT_TRUE(fs::NameMatchesWildcards("a.txt", "*"));
    EXPECT_TRUE(fs::NameMatchesWildcards("a.txt", "*.txt"));
    EXPECT_TRUE(fs::NameMatchesWildcards("a.txt", "?.t?t"));
    EXPECT_FALSE(fs::NameMatchesWildcards("ab.txt", "?.txt"));
    EXPECT_FALSE(fs::NameMatchesWildcards(".txt", "?.txt"));
    EXPECT_TRUE(fs::NameMatchesWildcards("aXbXc", "a*b*c"));
    EXPECT_TRUE(fs::NameMatchesWildcards("abcbc", "a*bc"));  // the star backs off
    EXPECT_FALSE(fs::NameMatchesWildcards("abcb", "a*bc"));
    EXPECT_TRUE(fs::NameMatchesWildcards("", "*"));
    EXPECT_FALSE(fs::NameMatchesWildcards("", "?"));
    EXPECT_FALSE(fs::NameMatchesWildcards("A.TXT", "*.txt"));
    EXPECT_TRUE(fs::NameMatchesWildcards("readme", "*.*"));  // every name, with or without "."
    EXPECT_TRUE(fs::NameMatchesWildcards("readme", "read*.*"));
    EXPECT_FALSE(fs::NameMatchesWildcards("readme", "*.?"));
}

class HostPathTest : public ::testing::Test {
protected:
    testing::ScratchFolder scratch;
};

TEST_F(HostPathTest, ReadAndAtomicWriteRoundTripBytes)
{
    std::string content("line\r\n\0\xff binary", 16);
    ASSERT_TRUE(fs::WriteFileAtomically(scratch.Join("f.ini"), content));
    std::string back;
    ASSERT_TRUE(fs::ReadFileText(scratch.Join("f.ini"), back));
    EXPECT_EQ(back, content);
    ASSERT_TRUE(fs::WriteFileAtomically(scratch.Join("f.ini"), ""));
    ASSERT_TRUE(fs::ReadFileText(scratch.Join("f.ini"), back));
    EXPECT_EQ(back, "");
    EXPECT_FALSE(fs::ReadFileText(scratch.Join("none"), back));
    EXPECT_EQ(fs::LastFsError(), FsError::NotFound);
}

TEST_F(HostPathTest, AtomicWriteLeavesNoTemporaryFilesAndKeepsPermissions)
{
    scratch.Put("f.ini", "old");
    ::chmod(scratch.Join("f.ini").c_str(), 0640);
    ASSERT_TRUE(fs::WriteFileAtomically(scratch.Join("f.ini"), "new"));
    EXPECT_EQ(fs::ListHostFolder(scratch.Path()), std::vector<std::string>{"f.ini"});
    EXPECT_EQ(stdfs::status(scratch.Join("f.ini")).permissions() & stdfs::perms::all,
              stdfs::perms::owner_read | stdfs::perms::owner_write | stdfs::perms::group_read);
}

TEST_F(HostPathTest, AtomicWriteThroughALinkRewritesTheLinkedFile)
{
    scratch.Put("real.ini", "old");
    stdfs::create_symlink(scratch.Join("real.ini"), scratch.Join("link.ini"));
    ASSERT_TRUE(fs::WriteFileAtomically(scratch.Join("link.ini"), "new"));
    EXPECT_TRUE(stdfs::is_symlink(scratch.Join("link.ini")));
    EXPECT_EQ(scratch.Get("real.ini"), "new");
}

TEST_F(HostPathTest, AFailedAtomicWriteLeavesTheOldFileAlone)
{
    scratch.Put("f.ini", "old");
    stdfs::create_directory(scratch.Join("dir.ini"));
    EXPECT_FALSE(fs::WriteFileAtomically(scratch.Join("dir.ini"), "x"));
    EXPECT_EQ(fs::LastFsError(), FsError::IsAFolder);
    EXPECT_FALSE(fs::WriteFileAtomically(scratch.Join("no/such/f.ini"), "x"));
    if (::geteuid() != 0) {  // root writes into read-only folders regardless
        ::chmod(scratch.Path().c_str(), 0555);
        EXPECT_FALSE(fs::WriteFileAtomically(scratch.Join("f.ini"), "new"));
        ::chmod(scratch.Path().c_str(), 0755);
    }
    EXPECT_EQ(scratch.Get("f.ini"), "old");
}

// A process killed while it rewrites the file over and over leaves one whole version.
TEST_F(HostPathTest, AKillDuringRepeatedSavesLeavesAWholeVersion)
{
    const std::string path = scratch.Join("settings.ini");
    const std::string versionA(300'000, 'a');
    const std::string versionB(500'000, 'b');
    ASSERT_TRUE(fs::WriteFileAtomically(path, versionA));
    for (int round = 0; round < 5; ++round) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i) fs::WriteFileAtomically(path, i % 2 ? versionA : versionB);
        }
        ::usleep(20'000 + round * 7'000);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        std::string content;
        ASSERT_TRUE(fs::ReadFileText(path, content));
        EXPECT_TRUE(content == versionA || content == versionB) << "size " << content.size();
    }
}

TEST_F(HostPathTest, FoldersFilesAndRenames)
{
    EXPECT_TRUE(fs::MakeHostFolders(scratch.Join("a/b/c")));
    EXPECT_TRUE(fs::HostFolderExists(scratch.Join("a/b/c")));
    EXPECT_FALSE(fs::HostFileExists(scratch.Join("a/b/c")));
    scratch.Put("a/f", "1");
    EXPECT_FALSE(fs::MakeHostFolders(scratch.Join("a/f/g")));
    EXPECT_TRUE(fs::HostFileExists(scratch.Join("a/f")));
    EXPECT_TRUE(fs::RenameHostFile(scratch.Join("a/f"), scratch.Join("a/g")));
    EXPECT_FALSE(fs::RenameHostFile(scratch.Join("a/g"), scratch.Join("a/b")));
    EXPECT_TRUE(fs::CopyHostFile(scratch.Join("a/g"), scratch.Join("a/h"), false));
    EXPECT_EQ(scratch.Get("a/h"), "1");
    EXPECT_FALSE(fs::RemoveHostFile(scratch.Join("a/b")));
    EXPECT_TRUE(fs::RemoveHostFile(scratch.Join("a/g")));
    EXPECT_EQ(fs::ListHostFolder(scratch.Join("a")), (std::vector<std::string>{"b", "h"}));
    EXPECT_TRUE(fs::ListHostFolder(scratch.Join("none")).empty());
    auto temp = fs::CreateUniqueHostTempFile(scratch.Path(), "x");
    ASSERT_TRUE(temp);
    EXPECT_TRUE(fs::HostFileExists(*temp));
}

TEST_F(HostPathTest, ReadingAFifoDoesNotHang)
{
    ::mkfifo(scratch.Join("pipe").c_str(), 0600);
    std::string content;
    EXPECT_FALSE(fs::ReadFileText(scratch.Join("pipe"), content));
    EXPECT_EQ(fs::LastFsError(), FsError::AccessDenied);
}

// ---- Batched atomic rewrite ----

class AtomicFileBatchTest : public HostPathTest {
protected:
    static std::string OldOf(int i) { return "old " + std::to_string(i) + "\r\n"; }
    static std::string NewOf(int i) { return std::string(100 + i, static_cast<char>('a' + i % 26)); }
    std::string FileName(int i) const { return scratch.Join("user - u" + std::to_string(i) + ".kcf"); }
    void PutOldFiles(int count) const
    {
        for (int i = 0; i < count; ++i) scratch.Put("user - u" + std::to_string(i) + ".kcf", OldOf(i));
    }
    std::string Content(int i) const
    {
        std::string content;
        fs::ReadFileText(FileName(i), content);
        return content;
    }
};

TEST_F(AtomicFileBatchTest, ReplacesEveryFileAsASingleRewriteWould)
{
    PutOldFiles(3);
    ::chmod(FileName(0).c_str(), 0640);
    stdfs::create_directory(scratch.Join("other"));
    scratch.Put("other/real.ini", "old");
    stdfs::create_symlink(scratch.Join("other/real.ini"), scratch.Join("link.ini"));

    fs::AtomicFileBatch batch;
    for (int i = 0; i < 3; ++i) batch.Add(FileName(i), NewOf(i));
    batch.Add(scratch.Join("fresh.ini"), "first");
    batch.Add(scratch.Join("link.ini"), "through the link");
    batch.Add(scratch.Join("fresh.ini"), "second");  // the later content of one file wins
    ASSERT_TRUE(batch.Commit());

    for (int i = 0; i < 3; ++i) EXPECT_EQ(Content(i), NewOf(i));
    for (std::size_t i = 0; i < batch.Size(); ++i) EXPECT_TRUE(batch.Replaced(i)) << i;
    EXPECT_EQ(scratch.Get("fresh.ini"), "second");
    EXPECT_TRUE(stdfs::is_symlink(scratch.Join("link.ini")));
    EXPECT_EQ(scratch.Get("other/real.ini"), "through the link");
    // The batch holds account files: an earlier group-readable one ends up its owner's alone.
    EXPECT_EQ(stdfs::status(FileName(0)).permissions() & stdfs::perms::all,
              stdfs::perms::owner_read | stdfs::perms::owner_write);
    EXPECT_EQ(stdfs::status(scratch.Join("fresh.ini")).permissions() & stdfs::perms::all,
              stdfs::perms::owner_read | stdfs::perms::owner_write);
    // Neither the temporaries nor the displaced old contents stay behind.
    EXPECT_EQ(fs::ListHostFolder(scratch.Path()),
              (std::vector<std::string>{"fresh.ini", "link.ini", "other", "user - u0.kcf", "user - u1.kcf",
                                        "user - u2.kcf"}));
    EXPECT_EQ(fs::ListHostFolder(scratch.Join("other")), std::vector<std::string>{"real.ini"});
}

TEST_F(AtomicFileBatchTest, AFileThatCannotBeWrittenKeepsItsContentAndTheRestAreReplaced)
{
    PutOldFiles(2);
    stdfs::create_directory(scratch.Join("dir.kcf"));
    fs::AtomicFileBatch batch;
    const std::size_t first = batch.Add(FileName(0), NewOf(0));
    const std::size_t folder = batch.Add(scratch.Join("dir.kcf"), "x");
    const std::size_t missing = batch.Add(scratch.Join("no/such/f.kcf"), "x");
    const std::size_t last = batch.Add(FileName(1), NewOf(1));
    EXPECT_FALSE(batch.Commit());
    EXPECT_TRUE(batch.Replaced(first));
    EXPECT_TRUE(batch.Replaced(last));
    EXPECT_FALSE(batch.Replaced(folder));
    EXPECT_EQ(batch.ErrorOf(folder), FsError::IsAFolder);
    EXPECT_FALSE(batch.Replaced(missing));
    EXPECT_EQ(batch.ErrorOf(missing), FsError::NotFound);
    EXPECT_EQ(Content(0), NewOf(0));
    EXPECT_EQ(Content(1), NewOf(1));
    EXPECT_TRUE(stdfs::is_directory(scratch.Join("dir.kcf")));
    EXPECT_FALSE(batch.Commit());  // a batch is committed once
}

// The process is stopped dead (no clean-up runs) at each point between and inside the steps of
// a commit: every file then holds either its whole old content or its whole new one, and
// exactly the files published before the stop are new.
TEST_F(AtomicFileBatchTest, AStopAtAnyStepLeavesEachFileOldOrNew)
{
    using Step = fs::AtomicFileBatch::Step;
    constexpr int kFiles = 40;
    struct StopPoint {
        Step step;
        std::size_t index;
        int newFiles;  // files expected to hold the new content afterwards
    };
    const StopPoint points[] = {
        {Step::TemporaryWritten, 0, 0}, {Step::TemporaryWritten, 25, 0}, {Step::TemporariesSynced, 0, 0},
        {Step::Published, 0, 1},        {Step::Published, 17, 18},       {Step::Published, kFiles - 1, kFiles},
    };
    for (const StopPoint& point : points) {
        PutOldFiles(kFiles);
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            fs::AtomicFileBatch batch;
            for (int i = 0; i < kFiles; ++i) batch.Add(FileName(i), NewOf(i));
            batch.SetProgressHook([&](Step step, std::size_t index) {
                if (step == point.step && index == point.index) ::_exit(0);
            });
            batch.Commit();
            ::_exit(1);  // the stop point was never reached
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "step " << static_cast<int>(point.step);
        for (int i = 0; i < kFiles; ++i) {
            EXPECT_EQ(Content(i), i < point.newFiles ? NewOf(i) : OldOf(i))
                << "file " << i << ", stopped at step " << static_cast<int>(point.step) << " index " << point.index;
        }
        // What the stopped commit left behind is cleared away, and only that.
        const std::size_t targets = kFiles;
        fs::RemoveStaleRewriteTemporaries(scratch.Path(),
                                          [](std::string_view name) { return name.substr(name.size() - 4) == ".kcf"; });
        EXPECT_EQ(fs::ListHostFolder(scratch.Path()).size(), targets);
    }
}

TEST_F(AtomicFileBatchTest, OnlyTheOwnersStaleTemporariesAreRemoved)
{
    for (const char* name : {".a.kcf.Ab12Z9", ".b.kcf.000000", "a.kcf", ".a.kcf.Ab12Z", ".a.kcf.Ab1-Z9",
                             ".profile.Ab12Z9", "x.kcf.Ab12Z9", "..Ab12Z9"})
        scratch.Put(name, "x");
    stdfs::create_directory(scratch.Join(".c.kcf.Ab12Z9"));  // a folder is never removed
    const std::size_t removed = fs::RemoveStaleRewriteTemporaries(scratch.Path(), [](std::string_view name) {
        return name.size() > 4 && name.substr(name.size() - 4) == ".kcf";
    });
    EXPECT_EQ(removed, 2u);
    EXPECT_EQ(fs::ListHostFolder(scratch.Path()),
              (std::vector<std::string>{"..Ab12Z9", ".a.kcf.Ab1-Z9", ".a.kcf.Ab12Z", ".c.kcf.Ab12Z9", ".profile.Ab12Z9",
                                        "a.kcf", "x.kcf.Ab12Z9"}));
}

}  // namespace
}  // namespace corvane
