#include "net/tbuffer.h"

#include <gtest/gtest.h>

#include <string>

using namespace corvane;

TEST(TBuffer, WriteStopsWhenFullAndReadResetsWhenDrained)
{
    TBuffer block(4);
    EXPECT_EQ(block.Write("abcdef", 6), 4);
    EXPECT_EQ(block.Write("g", 1), 0);
    char out[8] = {};
    EXPECT_EQ(block.Read(out, 3), 3);
    EXPECT_EQ(std::string(out, 3), "abc");
    EXPECT_EQ(block.Write("z", 1), 0);  // still full until every written byte is read
    EXPECT_EQ(block.Read(out, 8), 1);
    EXPECT_EQ(block.WrCount(), 0);
    EXPECT_EQ(block.RdCount(), 0);
    EXPECT_EQ(block.Write("xyz", 3), 3);
}

TEST(TBuffer, PeekAndRemoveWorkOnTheUnreadPart)
{
    TBuffer block(0);
    EXPECT_EQ(block.BufSize(), 1514);
    int len = -1;
    EXPECT_EQ(block.Peek(len), nullptr);
    EXPECT_EQ(len, 0);
    block.Write("hello", 5);
    block.Remove(2);
    const char* p = block.Peek(len);
    ASSERT_EQ(len, 3);
    EXPECT_EQ(std::string(p, 3), "llo");
    block.Remove(100);
    EXPECT_EQ(block.Unread(), 0);
    EXPECT_EQ(block.WrCount(), 0);
}

TEST(TBuffer, ResizeKeepsUnreadBytes)
{
    TBuffer block(8);
    block.Write("12345678", 8);
    block.Remove(3);
    block.SetBufSize(16);
    int len = 0;
    const char* p = block.Peek(len);
    ASSERT_EQ(len, 5);
    EXPECT_EQ(std::string(p, 5), "45678");
    EXPECT_EQ(block.Write("9", 1), 1);
    block.SetBufSize(-3);
    EXPECT_EQ(block.BufSize(), 1514);
    EXPECT_EQ(block.Unread(), 6);
}
