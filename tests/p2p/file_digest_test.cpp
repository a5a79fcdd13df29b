// The digest of a shared file: its MD5, the placeholder where none can be made, and a stop
// that takes effect within one block.
#include "p2p/file_digest.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/md5.h"
#include "p2p/index_lines.h"
#include "p2p_fixture.h"

namespace corvane {
namespace {

class FileDigestTest : public testing::SharedDriveTest {
protected:
    std::vector<char> buffer = std::vector<char>(4096);
};

TEST_F(FileDigestTest, DigestsTheWholeFileAcrossBlocks)
{
    std::string content;
    for (int i = 0; i < 10000; ++i) content += static_cast<char>(i * 31);
    Put("a.bin", content);
    EXPECT_EQ(DigestOfRealFile("C:\\a.bin", buffer, {}), Md5HexUpperOf(content));
    Put("empty.bin", "");
    EXPECT_EQ(DigestOfRealFile("C:\\empty.bin", buffer, {}), "D41D8CD98F00B204E9800998ECF8427E");
}

TEST_F(FileDigestTest, WhatCannotBeReadKeepsThePlaceholder)
{
    MakeFolder("folder");
    for (const char* path : {"C:\\missing.bin", "C:\\folder", "D:\\unmapped.bin", "\\\\host\\share\\x"})
        EXPECT_EQ(DigestOfRealFile(path, buffer, {}), kNoDigest) << path;
}

TEST_F(FileDigestTest, AStopEndsTheDigestAfterTheBlockInHand)
{
    // Ten gigabytes that take no disk: only one block may be read once the stop is asked.
    {
        std::filesystem::path host = scratch.Join("c/huge.bin");
        FILE* f = std::fopen(host.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
        std::filesystem::resize_file(host, 10ULL * 1024 * 1024 * 1024);
    }
    int tests = 0;
    EXPECT_EQ(DigestOfRealFile("C:\\huge.bin", buffer, [&tests] { return ++tests >= 1; }), "");
    EXPECT_EQ(tests, 1);
}

TEST_F(FileDigestTest, AFileThatChangesWhileReadKeepsThePlaceholder)
{
    Put("grow.bin", std::string(3 * 4096, 'a'));
    bool appended = false;
    const std::string digest = DigestOfRealFile("C:\\grow.bin", buffer, [&] {
        if (!appended) scratch.Put("c/grow.bin", std::string(5 * 4096, 'b'));
        appended = true;
        return false;
    });
    EXPECT_EQ(digest, kNoDigest);
}

}  // namespace
}  // namespace corvane
