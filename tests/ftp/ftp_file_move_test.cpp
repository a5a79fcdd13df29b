// RNTO between two drives whose folders lie on different host file systems: the file is copied
// and removed, or nothing changes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "ftp_server_fixture.h"
#include "platform/drive_map.h"
#include "platform/file_stream.h"
#include "platform/scratch_folder.h"

using namespace corvane;
using namespace corvane::testing;

namespace {

// A scratch folder in /dev/shm, which is a file system of its own on most hosts.
class MemoryScratch {
public:
    MemoryScratch()
    {
        std::string pattern = "/dev/shm/corvane-test-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~MemoryScratch()
    {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }
    std::string Join(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

dev_t DeviceOf(const std::string& hostPath)
{
    struct stat st {};
    return ::stat(hostPath.c_str(), &st) == 0 ? st.st_dev : 0;
}

class CrossDriveMoveTest : public FtpServerTest {
protected:
    void SetUp() override
    {
        if (memory.Path().empty() || DeviceOf(memory.Path()) == DeviceOf(disk.Path()))
            GTEST_SKIP() << "no second host file system to move to";
        DriveMap::Configure({{'C', disk.Path()}, {'D', memory.Path()}}, disk.Path());
        server->OnClientConnect = [this](TFtpServer*, TFtpCtrlSocket* c, std::uint16_t) { client = c; };
        StartServer();
        probe = Connect();
        ASSERT_NE(client, nullptr);
        client->SetFtpState(ftpcReady);
        client->SetDirectory("C:\\");
    }
    void TearDown() override { DriveMap::Configure({{'C', ""}}, disk.Path()); }

    std::string Send(const std::string& line) { return Ask(*probe, line); }
    std::size_t EntriesIn(const std::string& hostFolder)
    {
        std::size_t count = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(hostFolder)) ++count;
        return count;
    }

    ScratchFolder disk;
    MemoryScratch memory;
    TFtpCtrlSocket* client = nullptr;
    std::unique_ptr<FtpProbe> probe;
};

}  // namespace

TEST_F(CrossDriveMoveTest, AFileIsCopiedWithItsTimeAndModeThenRemoved)
{
    disk.Put("report.txt", std::string(3 << 20, 'r'));  // more than one copy block
    ::chmod(disk.Join("report.txt").c_str(), 0640);
    const struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, disk.Join("report.txt").c_str(), times, 0), 0);
    std::filesystem::create_directory(memory.Join("in"));
    EXPECT_EQ(Send("RNFR report.txt"), "350 File exists, ready for destination name.");
    EXPECT_EQ(Send("RNTO D:\\in\\report.txt"), "250 File 'C:\\report.txt' renamed to 'D:\\in\\report.txt'.");
    EXPECT_FALSE(std::filesystem::exists(disk.Join("report.txt")));
    struct stat st {};
    ASSERT_EQ(::stat(memory.Join("in/report.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 3 << 20);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
    // No temporary is left beside it.
    EXPECT_EQ(EntriesIn(memory.Join("in")), 1u);
}

TEST_F(CrossDriveMoveTest, AFolderStaysWhereItIs)
{
    std::filesystem::create_directory(disk.Join("tree"));
    disk.Put("tree/leaf.txt", "leaf");
    EXPECT_EQ(Send("RNFR tree"), "350 File exists, ready for destination name.");
    EXPECT_EQ(Send("RNTO D:\\tree"), "450 File 'C:\\tree' can't be renamed.");
    EXPECT_EQ(disk.Get("tree/leaf.txt"), "leaf");
    EXPECT_EQ(EntriesIn(memory.Path()), 0u);
}

TEST_F(CrossDriveMoveTest, AFileBeingUploadedStaysWhereItIs)
{
    FileStream writer;
    ASSERT_TRUE(writer.OpenReal("C:\\partial.bin", FileStream::Mode::Create));
    ASSERT_TRUE(writer.Write("so far"));
    EXPECT_EQ(Send("RNFR partial.bin"), "350 File exists, ready for destination name.");
    EXPECT_EQ(Send("RNTO D:\\partial.bin"), "450 File 'C:\\partial.bin' can't be renamed.");
    ASSERT_TRUE(writer.Write(" and the rest"));
    writer.Close();
    EXPECT_EQ(disk.Get("partial.bin"), "so far and the rest");
    EXPECT_EQ(EntriesIn(memory.Path()), 0u);
}

TEST_F(CrossDriveMoveTest, ATargetFolderThatDoesNotExistLeavesTheFile)
{
    disk.Put("a.txt", "a");
    EXPECT_EQ(Send("RNFR a.txt"), "350 File exists, ready for destination name.");
    EXPECT_EQ(Send("RNTO D:\\missing\\a.txt"), "450 File 'C:\\a.txt' can't be renamed.");
    EXPECT_EQ(disk.Get("a.txt"), "a");
}
