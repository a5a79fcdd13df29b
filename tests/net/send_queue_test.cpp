#include "net/send_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace corvane;

namespace {

std::string Text(const sockapi::Slice& slice, int len)
{
    return std::string(static_cast<const char*>(slice.data), static_cast<std::size_t>(len));
}

// Plays the stack: takes at most `perCall` bytes of what each Gather offers, and returns every
// byte taken, in the order taken.
std::string DrainBlocks(TSendQueue& queue, int maxSlices, int perCall)
{
    std::string taken;
    for (;;) {
        std::vector<sockapi::Slice> slices(static_cast<std::size_t>(maxSlices));
        int offered = 0;
        const int count = queue.Gather(slices.data(), maxSlices, offered);
        if (count == 0) return taken;
        int budget = std::min(perCall, offered);
        const int sent = budget;
        for (int i = 0; i < count && budget > 0; ++i) {
            const int part = std::min(budget, slices[static_cast<std::size_t>(i)].len);
            taken += Text(slices[static_cast<std::size_t>(i)], part);
            budget -= part;
        }
        queue.MarkSent(sent);
    }
}

void Add(TSendQueue& queue, const std::string& text) { queue.Append(text.data(), static_cast<int>(text.size())); }

}  // namespace

TEST(TSendQueue, BytesLeaveInTheOrderAddedWhateverTheStackTakes)
{
    struct Case {
        int blockSize, maxSlices, perCall;
        std::vector<std::string> appends;
    };
    const Case cases[] = {
        {4, 64, 1000, {"abc", "defgh", "", "ijklmnopq"}},   // all in one call
        {4, 64, 1, {"abc", "defgh", "ijklmnopq"}},          // one byte per call
        {4, 2, 3, {"abcdefghij", "k", "lmnopqrstuvwxyz"}},  // fewer slices than blocks
        {4, 1, 5, {"abcdefghijklmnop"}},                    // one block per call, partial takes
        {1460, 64, 1459, {std::string(5000, 'x') + "end"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("block " + std::to_string(c.blockSize) + ", slices " + std::to_string(c.maxSlices) +
                     ", per call " + std::to_string(c.perCall));
        TSendQueue queue(c.blockSize);
        std::string expected;
        for (const std::string& text : c.appends) {
            Add(queue, text);
            expected += text;
        }
        EXPECT_EQ(queue.QueuedBytes(), static_cast<long long>(expected.size()));
        EXPECT_EQ(queue.Empty(), expected.empty());
        EXPECT_EQ(DrainBlocks(queue, c.maxSlices, c.perCall), expected);
        EXPECT_EQ(queue.QueuedBytes(), 0);
        EXPECT_TRUE(queue.Empty());
    }
}

TEST(TSendQueue, GatherOffersWholeBlocksUpToTheSliceLimitAndKeepsTheLastBlock)
{
    TSendQueue queue(4);
    Add(queue, "abcdefghij");  // blocks of 4, 4 and 2
    sockapi::Slice slices[8];
    int offered = 0;
    ASSERT_EQ(queue.Gather(slices, 2, offered), 2);
    EXPECT_EQ(offered, 8);
    ASSERT_EQ(queue.Gather(slices, 8, offered), 3);
    EXPECT_EQ(offered, 10);
    queue.MarkSent(5);  // the first block and one byte of the second
    ASSERT_EQ(queue.Gather(slices, 8, offered), 2);
    EXPECT_EQ(Text(slices[0], slices[0].len), "fgh");
    EXPECT_EQ(offered, 5);
    queue.MarkSent(5);
    EXPECT_EQ(queue.Gather(slices, 8, offered), 0);
    EXPECT_EQ(offered, 0);
    // A drained queue keeps one block for the next bytes; only Clear gives it up.
    EXPECT_TRUE(queue.HasBlocks());
    Add(queue, "xy");
    ASSERT_EQ(queue.Gather(slices, 8, offered), 1);
    EXPECT_EQ(Text(slices[0], 2), "xy");
    queue.Clear();
    EXPECT_FALSE(queue.HasBlocks());
    EXPECT_TRUE(queue.Empty());
}

TEST(TSendQueue, BytesAddedWhileAFileWaitsGoAfterIt)
{
    TSendQueue queue(4);
    EXPECT_FALSE(queue.HasBlocks());
    Add(queue, "before");
    queue.StartFile(7, 100, 50);
    Add(queue, "after");
    EXPECT_FALSE(queue.Empty());
    EXPECT_EQ(queue.QueuedBytes(), 11);  // the file is not counted
    EXPECT_EQ(DrainBlocks(queue, 64, 1000), "before");
    EXPECT_TRUE(queue.FilePending());
    queue.FileSent(20);
    EXPECT_EQ(queue.File().handle, 7);
    EXPECT_EQ(queue.File().offset, 120);
    EXPECT_EQ(queue.File().remaining, 30);
    EXPECT_EQ(DrainBlocks(queue, 64, 1000), "");  // still behind the file
    queue.FileSent(10);
    queue.FinishFile();  // the file ended short of what was announced
    EXPECT_FALSE(queue.FilePending());
    EXPECT_EQ(queue.FileBytesSent(), 30);
    EXPECT_EQ(DrainBlocks(queue, 64, 1000), "after");
    EXPECT_TRUE(queue.Empty());
    queue.ResetFileBytesSent();
    EXPECT_EQ(queue.FileBytesSent(), 0);
}

TEST(TSendQueue, DroppingTheFileForgetsWhatWaitsBehindItButNotWhatIsInFront)
{
    TSendQueue queue(4);
    Add(queue, "front");
    queue.StartFile(5, 0, 1000);
    Add(queue, "behind the file");
    queue.DropFile();
    EXPECT_FALSE(queue.FilePending());
    EXPECT_EQ(queue.QueuedBytes(), 5);
    EXPECT_EQ(DrainBlocks(queue, 64, 1000), "front");
    EXPECT_EQ(queue.QueuedBytes(), 0);
    // Clear forgets the blocks as well; the count of a file sent before stays for its caller.
    Add(queue, "more");
    queue.StartFile(5, 0, 10);
    queue.FileSent(6);
    queue.Clear();
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.QueuedBytes(), 0);
    EXPECT_EQ(queue.FileBytesSent(), 6);
    queue.StartFile(5, 0, 10);
    EXPECT_FALSE(queue.Empty());  // a file waits, though no block exists
}
