// An indexing pass over a real scratch drive: the folder order, the walk, what the Anonymous
// account may see, the comparison with "p2pIndex.ksl" and its rewrite.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "common/md5.h"
#include "p2p/index_file.h"
#include "p2p/index_lines.h"
#include "p2p/index_thread.h"
#include "../platform/local_moment.h"
#include "p2p_fixture.h"

namespace corvane {
namespace {

using testing::ListIndex;
using testing::RecordingController;

class IndexPassTest : public testing::SharedDriveTest {
protected:
    IndexPassTest() { controller.settings.md5 = false; }

    // One whole run; the thread is kept for its lists.
    IndexThread& Run(std::vector<std::string> shared)
    {
        thread = std::make_unique<IndexThread>(&index, controller, accounts, std::move(shared), IndexFile());
        thread->Start();
        thread->Join();
        return *thread;
    }
    std::vector<std::string> Paths() const
    {
        std::vector<std::string> paths;
        for (const std::string& line : index.Lines()) paths.emplace_back(ParseSearchLine(line)->virtualPath);
        return paths;
    }
    static std::vector<std::string> PathsOf(const std::vector<std::string>& indexLines)
    {
        std::vector<std::string> paths;
        for (const std::string& line : indexLines) paths.emplace_back(ParseIndexLine(line)->virtualPath);
        return paths;
    }
    void ShareWithAnonymous(const std::string& folder)
    {
        Grant("Anonymous", folder, {FolderFlag::list, FolderFlag::CWD, FolderFlag::inherit});
    }

    ListIndex index;
    RecordingController controller;
    std::unique_ptr<IndexThread> thread;
};

TEST_F(IndexPassTest, WalksBreadthFirstAndLogsItsStartAndEnd)
{
    Put("Share/b.txt");
    Put("Share/Sub/deep/c.txt");
    Put("Share/.hidden");
    ShareWithAnonymous("C:\\Share\\");
    controller.settings.md5 = true;
    Run({"iC:\\Share"});
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/C:/Share/.hidden", "/C:/Share/Sub", "/C:/Share/b.txt",
                                                 "/C:/Share/Sub/deep", "/C:/Share/Sub/deep/c.txt"}));
    EXPECT_EQ(controller.log,
              (std::vector<std::string>{"FTP Local Indexing Started.. (w MD5)", "FTP Local Indexing Complete."}));
    EXPECT_EQ(index.clears, 1);
}

TEST_F(IndexPassTest, AFolderListedWithAndWithoutSubfoldersIsWalkedOnceWithThem)
{
    Put("Share/a.txt");
    Put("Share/Sub/b.txt");
    Put("Other/c.txt");
    Run({"-C:\\Share\\Sub", "-C:\\Share", "iC:\\Share", "-C:\\Other"});
    std::vector<std::string> paths = Paths();
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths,
              (std::vector<std::string>{"/C:/Other/c.txt", "/C:/Share/Sub", "/C:/Share/Sub/b.txt", "/C:/Share/a.txt"}));
    EXPECT_EQ(controller.log.front(), "FTP Local Indexing Started.. (w/o MD5)");
}

TEST_F(IndexPassTest, AFolderWithoutTheSubfolderMarkListsOnlyItsOwnEntries)
{
    Put("Share/a.txt");
    Put("Share/Sub/b.txt");
    Run({"-C:\\Share\\"});
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/C:/Share/Sub", "/C:/Share/a.txt"}));
}

TEST_F(IndexPassTest, MissingUnmappedAndLoopingFoldersAreWalkedCleanly)
{
    Put("Share/a.txt");
    std::filesystem::create_directory_symlink(scratch.Join("c/Share"), scratch.Join("c/Share/loop"));
    Run({"iC:\\Gone", "iD:\\Music", "i\\\\server\\share", "iC:\\Share"});
    // The link's own entry is listed; the folder behind it is not walked a second time.
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/C:/Share/a.txt", "/C:/Share/loop"}));
}

TEST_F(IndexPassTest, OnlyWhatAnonymousMayListAndEnterReachesTheUploadLists)
{
    Put("Pub/a.txt");
    Put("Pub/Closed/b.txt");
    Put("ListOnly/c.txt");
    ShareWithAnonymous("C:\\Pub\\");
    Grant("Anonymous", "C:\\Pub\\Closed\\", {FolderFlag::get, FolderFlag::CWD});
    Grant("Anonymous", "C:\\ListOnly\\", {FolderFlag::list});
    const IndexThread& run = Run({"iC:\\Pub", "iC:\\ListOnly"});
    EXPECT_EQ(Paths().size(), 4u);  // the search list has everything walked
    EXPECT_EQ(PathsOf(run.newLines()), (std::vector<std::string>{"/C:/Pub/a.txt"}));
}

TEST_F(IndexPassTest, ComparesWithTheStoredIndexAndKeepsTheUnchangedLinesWhenSaved)
{
    Put("Pub/same.txt", "same");
    Put("Pub/changed.txt", "new content");
    Put("Pub/new.txt", "new");
    ShareWithAnonymous("C:\\Pub\\");
    controller.settings.md5 = true;
    const auto stat = [](const std::string& real) { return *fs::StatReal(real); };
    IndexedEntry same{"/C:/Pub/same.txt", 4, stat("C:\\Pub\\same.txt").mtime, false};
    IndexedEntry changed{"/C:/Pub/changed.txt", 11, stat("C:\\Pub\\changed.txt").mtime - 3600, false};
    const std::string sameLine = IndexLineHead(same) + "*" + Md5HexUpperOf("same");
    const std::string changedLine = IndexLineHead(changed) + "*" + std::string(kNoDigest);
    const std::string goneLine = "/C:/Pub/gone.txt*1*0101010101*-*" + std::string(kNoDigest);
    ASSERT_TRUE(WriteIndexFile(IndexFile(), {"garbage", sameLine, changedLine, goneLine}));

    IndexThread& run = Run({"iC:\\Pub"});
    EXPECT_EQ(PathsOf(run.newLines()), std::vector<std::string>{"/C:/Pub/new.txt"});
    EXPECT_EQ(run.newLines().front().substr(run.newLines().front().size() - 32), Md5HexUpperOf("new"));
    EXPECT_EQ(PathsOf(run.changedLines()), std::vector<std::string>{"/C:/Pub/changed.txt"});
    EXPECT_EQ(run.changedLines().front().substr(run.changedLines().front().size() - 32), Md5HexUpperOf("new content"));
    // The changed entry's old line is withdrawn along with the vanished one.
    EXPECT_EQ(run.staleLines(), (std::vector<std::string>{changedLine, goneLine}));
    EXPECT_EQ(run.unchangedLines(), std::vector<std::string>{sameLine});
    // An unchanged file's search line carries its stored digest (SITE MD5 answers for it), a
    // new one the digest just computed.
    for (const std::string& line : index.Lines()) {
        const auto fields = ParseSearchLine(line);
        if (fields->virtualPath == "/C:/Pub/same.txt") {
            EXPECT_EQ(fields->digest, Md5HexUpperOf("same"));
        } else if (fields->virtualPath == "/C:/Pub/new.txt") {
            EXPECT_EQ(fields->digest, Md5HexUpperOf("new"));
        }
    }

    ASSERT_TRUE(run.SaveIndexAfterUpload());
    // Each digest is saved with the size and time it was made for.
    const auto stampLine = [](const std::string& real) {
        const fs::FileInfo info = *fs::StatReal(real);
        return DigestStampLine({static_cast<std::uint64_t>(info.size), info.mtime, info.mtimeNanoseconds}) + "\r\n";
    };
    EXPECT_EQ(scratch.Get("p2pIndex.ksl"), sameLine + "\r\n" + stampLine("C:\\Pub\\same.txt") +
                                               run.newLines().front() + "\r\n" + stampLine("C:\\Pub\\new.txt") +
                                               run.changedLines().front() + "\r\n" +
                                               stampLine("C:\\Pub\\changed.txt"));
    // The next run finds nothing new.
    IndexThread& again = Run({"iC:\\Pub"});
    EXPECT_TRUE(again.newLines().empty());
    EXPECT_TRUE(again.changedLines().empty());
    EXPECT_EQ(again.unchangedLines().size(), 3u);
}

TEST_F(IndexPassTest, AStoredDigestIsTakenAgainOnlyForTheSameSizeAndExactTime)
{
    ShareWithAnonymous("C:\\Pub\\");
    controller.settings.md5 = true;
    // 14:30:10 and 14:29:10 have the same stamp: the minutes are not part of it.
    const std::time_t now = testing::LocalMoment(2026, 3, 7, 14, 30, 10);
    const std::time_t minuteBefore = now - 60;
    const std::string fake = "0123456789ABCDEF0123456789ABCDEF";
    struct Case {
        const char* name;
        std::string content;      // on disk now, written at `now`
        std::uint64_t storedSize;  // what the stored line and its stamp say
        std::time_t storedTime;
        bool withStampLine;  // an earlier version wrote none
        std::string storedDigest;
        bool unchanged;
        std::string answered;  // the digest of the search line
    };
    const std::vector<Case> cases = {
        {"kept.txt", "same bytes", 10, now, true, fake, true, fake},
        {"edited.txt", "new bytes!", 10, minuteBefore, true, Md5HexUpperOf("old bytes!"), false,
         Md5HexUpperOf("new bytes!")},
        {"copied.txt", "a longer copy", 10, now, true, Md5HexUpperOf("short copy"), false,
         Md5HexUpperOf("a longer copy")},
        {"earlier.txt", "same bytes", 10, now, false, Md5HexUpperOf("same bytes"), true, Md5HexUpperOf("same bytes")},
        {"earlier-stale.txt", "new bytes!", 10, now, false, Md5HexUpperOf("old bytes!"), false,
         Md5HexUpperOf("new bytes!")},
    };
    std::vector<std::string> stored;
    for (const Case& c : cases) {
        Put(std::string("Pub/") + c.name, c.content);
        const struct timespec times[2] = {{now, 0}, {now, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, scratch.Join("c/Pub/" + std::string(c.name)).c_str(), times, 0), 0);
        const IndexedEntry entry{"/C:/Pub/" + std::string(c.name), c.storedSize, c.storedTime, false};
        stored.push_back(IndexLineHead(entry) + "*" + c.storedDigest);
        if (c.withStampLine) stored.push_back(DigestStampLine({c.storedSize, c.storedTime, 0}));
    }
    ASSERT_TRUE(WriteIndexFile(IndexFile(), stored));

    IndexThread& run = Run({"iC:\\Pub"});
    const std::vector<std::string> changed = PathsOf(run.changedLines());
    for (const Case& c : cases) {
        const std::string path = "/C:/Pub/" + std::string(c.name);
        EXPECT_EQ(std::count(changed.begin(), changed.end(), path), c.unchanged ? 0 : 1) << c.name;
        std::string answered;
        for (const std::string& line : index.Lines())
            if (ParseSearchLine(line)->virtualPath == path) answered = ParseSearchLine(line)->digest;
        EXPECT_EQ(answered, c.answered) << c.name;
    }
    // What is saved is taken again by the next run, and nothing is made twice.
    ASSERT_TRUE(run.SaveIndexAfterUpload());
    IndexThread& again = Run({"iC:\\Pub"});
    EXPECT_TRUE(again.changedLines().empty());
    EXPECT_EQ(again.unchangedLines().size(), cases.size());
    const auto& kept = again.unchangedLines();
    EXPECT_NE(std::find(kept.begin(), kept.end(), stored.front()), kept.end());
}

TEST_F(IndexPassTest, AnEmptyShareListWithdrawsEveryStoredLine)
{
    const std::string line = "/C:/a*1*0101010101*-*" + std::string(kNoDigest);
    ASSERT_TRUE(WriteIndexFile(IndexFile(), {line, line}));
    EXPECT_EQ(Run({}).staleLines(), (std::vector<std::string>{line, line}));
}

TEST_F(IndexPassTest, TheSkipFlagIndexesNothing)
{
    Put("Pub/a.txt");
    controller.settings.skip = true;
    Run({"iC:\\Pub"});
    EXPECT_TRUE(index.Lines().empty());
    EXPECT_TRUE(controller.log.empty());
}

TEST_F(IndexPassTest, ADetachedIndexerAddsNothing)
{
    Put("Pub/a.txt");
    ShareWithAnonymous("C:\\Pub\\");
    thread =
        std::make_unique<IndexThread>(&index, controller, accounts, std::vector<std::string>{"iC:\\Pub"}, IndexFile());
    thread->detachServer();
    thread->Start();
    thread->Join();
    EXPECT_TRUE(index.Lines().empty());
    EXPECT_TRUE(thread->newLines().empty());
}

TEST(IndexFile, DamagedFilesGiveTheirGoodLinesOnly)
{
    testing::ScratchFolder scratch;
    const std::string good = "/C:/a*1*0101010101*-*" + std::string(kNoDigest);
    const struct {
        std::string content;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {good + "\r\n" + good.substr(0, 20), {good, good.substr(0, 20)}},  // the caller drops the cut line
        {good + "\n\r\n" + good, {good, good}},
        {std::string(1 << 20, 'x') + "\r\n" + good + "\r\n", {good}},
    };
    for (const auto& c : cases) {
        scratch.Put("p2pIndex.ksl", c.content);
        EXPECT_EQ(ReadIndexFile(scratch.Join("p2pIndex.ksl")), c.lines);
    }
    EXPECT_TRUE(ReadIndexFile(scratch.Join("missing.ksl")).empty());
    std::filesystem::create_directory(scratch.Join("folder.ksl"));
    EXPECT_TRUE(ReadIndexFile(scratch.Join("folder.ksl")).empty());
}

}  // namespace
}  // namespace corvane
