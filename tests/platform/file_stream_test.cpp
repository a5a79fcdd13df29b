#include "platform/file_stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "platform/drive_map.h"
#include "platform/fs.h"
#include "platform/scratch_folder.h"

namespace corvane {
namespace {

using fs::FsError;
using Mode = FileStream::Mode;

class FileStreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directory(scratch.Join("c"));
        DriveMap::Configure({{'C', scratch.Join("c")}}, scratch.Path());
    }
    void TearDown() override { DriveMap::Configure({}, scratch.Path()); }
    testing::ScratchFolder scratch;
};

TEST_F(FileStreamTest, WritesReadsSeeksAndReportsSizeWith64BitOffsets)
{
    FileStream file;
    ASSERT_TRUE(file.OpenReal("C:\\data.bin", Mode::Create));
    ASSERT_TRUE(file.Write("hello world"));
    EXPECT_EQ(file.Size(), 11);
    EXPECT_EQ(file.Seek(6), 6);
    char buffer[16] = {};
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 5);
    EXPECT_EQ(std::string(buffer, 5), "world");
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0);

    const std::int64_t far = 6'000'000'000LL;
    EXPECT_EQ(file.Seek(far), far);
    ASSERT_TRUE(file.Write("!"));
    EXPECT_EQ(file.Size(), far + 1);
    EXPECT_EQ(file.Seek(-1, FileStream::Origin::End), far);
    EXPECT_EQ(file.Seek(-10, FileStream::Origin::Begin), -1);
    EXPECT_EQ(file.Position(), far);

    // Reading at an offset leaves the position alone; size and time come in one look.
    EXPECT_EQ(file.ReadAt(buffer, 5, 0), 5);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    EXPECT_EQ(file.ReadAt(buffer, sizeof buffer, far), 1);
    EXPECT_EQ(file.Position(), far);
    // Size and time are the ones the open found (Create found the file empty).
    std::int64_t size = -1;
    std::time_t modified = 0;
    ASSERT_TRUE(file.SizeAndTimeAtOpen(size, modified));
    EXPECT_EQ(size, 0);
    FileStream moved = std::move(file);
    ASSERT_TRUE(moved.OpenReal("C:\\data.bin", Mode::Read));
    ASSERT_TRUE(moved.SizeAndTimeAtOpen(size, modified));
    EXPECT_EQ(size, far + 1);
    EXPECT_LE(std::abs(modified - std::time(nullptr)), 5);
    moved.Close();
    EXPECT_FALSE(moved.SizeAndTimeAtOpen(size, modified));
}

TEST_F(FileStreamTest, OpenModesKeepOrEmptyTheContent)
{
    scratch.Put("c/f", "abc");
    FileStream file;
    ASSERT_TRUE(file.OpenReal("C:\\f", Mode::Append));
    ASSERT_TRUE(file.Write("def"));
    file.Close();
    EXPECT_EQ(scratch.Get("c/f"), "abcdef");
    ASSERT_TRUE(file.OpenReal("C:\\f", Mode::ReadWrite));
    ASSERT_TRUE(file.Write("X"));
    file.Close();
    EXPECT_EQ(scratch.Get("c/f"), "Xbcdef");
    EXPECT_FALSE(file.OpenReal("C:\\f", Mode::CreateNew));
    EXPECT_EQ(fs::LastFsError(), FsError::AlreadyExists);
    ASSERT_TRUE(file.OpenReal("C:\\f", Mode::Create));
    file.Close();
    EXPECT_EQ(scratch.Get("c/f"), "");
    EXPECT_FALSE(file.OpenReal("C:\\missing", Mode::Read));
    EXPECT_EQ(fs::LastFsError(), FsError::NotFound);
    EXPECT_FALSE(file.OpenReal("C:\\missing", Mode::ReadWrite));
}

TEST_F(FileStreamTest, AReaderCannotWrite)
{
    scratch.Put("c/f", "abc");
    FileStream reader;
    ASSERT_TRUE(reader.OpenReal("C:\\f", Mode::Read));
    EXPECT_FALSE(reader.Write("x"));
    EXPECT_FALSE(reader.Truncate(0));
    EXPECT_EQ(scratch.Get("c/f"), "abc");
}

TEST_F(FileStreamTest, FoldersAndUnmappedPathsNeverOpen)
{
    std::filesystem::create_directory(scratch.Join("c/dir"));
    FileStream file;
    EXPECT_FALSE(file.OpenReal("C:\\dir", Mode::Read));
    EXPECT_EQ(fs::LastFsError(), FsError::IsAFolder);
    EXPECT_FALSE(file.OpenReal("Z:\\x", Mode::Create));
    EXPECT_FALSE(file.OpenReal("\\\\host\\share\\x", Mode::Create));
    EXPECT_FALSE(file.IsOpen());
}

TEST_F(FileStreamTest, ASecondWriterIsRefusedWithoutHarmingTheFile)
{
    FileStream first;
    ASSERT_TRUE(first.OpenReal("C:\\upload.bin", Mode::Create));
    ASSERT_TRUE(first.Write("first upload"));

    FileStream second;
    EXPECT_FALSE(second.OpenReal("C:\\upload.bin", Mode::Create));
    EXPECT_EQ(fs::LastFsError(), FsError::AccessDenied);
    // Another spelling of the same file, and a hard link to it, are the same file.
    EXPECT_FALSE(second.OpenReal("c:\\.\\upload.bin", Mode::Append));
    std::filesystem::create_hard_link(scratch.Join("c/upload.bin"), scratch.Join("c/link.bin"));
    EXPECT_FALSE(second.OpenReal("C:\\link.bin", Mode::ReadWrite));
    EXPECT_EQ(scratch.Get("c/upload.bin"), "first upload");

    // Readers are never blocked, and never block a writer.
    FileStream reader;
    ASSERT_TRUE(reader.OpenReal("C:\\upload.bin", Mode::Read));
    char buffer[5] = {};
    EXPECT_EQ(reader.Read(buffer, 5), 5);

    first.Close();
    EXPECT_TRUE(second.OpenReal("C:\\upload.bin", Mode::Append));
}

TEST_F(FileStreamTest, MovingAStreamCarriesItsWriterRegistration)
{
    const std::size_t before = FileStream::OpenWriterCount();
    {
        FileStream original;
        ASSERT_TRUE(original.OpenReal("C:\\f", Mode::Create));
        FileStream moved(std::move(original));
        EXPECT_FALSE(original.IsOpen());
        EXPECT_TRUE(moved.IsWriter());
        FileStream assigned;
        assigned = std::move(moved);
        EXPECT_EQ(FileStream::OpenWriterCount(), before + 1);
        FileStream other;
        EXPECT_FALSE(other.OpenReal("C:\\f", Mode::ReadWrite));
    }
    EXPECT_EQ(FileStream::OpenWriterCount(), before);
}

TEST_F(FileStreamTest, ConcurrentWritersOfOneFileGetExactlyOneWinnerAtATime)
{
    constexpr int kThreads = 8;
    std::vector<std::thread> threads;
    std::vector<int> wins(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                FileStream file;
                if (file.OpenReal("C:\\shared.bin", Mode::OpenOrCreate)) {
                    ++wins[t];
                    EXPECT_EQ(FileStream::OpenWriterCount() >= 1, true);
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    int total = 0;
    for (int w : wins) total += w;
    EXPECT_GT(total, 0);
    EXPECT_EQ(FileStream::OpenWriterCount(), 0u);
}

}  // namespace
}  // namespace corvane
