#include "net/line_wsocket.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace corvane;
using namespace std::chrono_literals;

namespace {

// A connected pair on loopback: `writer` sends, `reader` is the accepted side under test.
class LinePair : public ::testing::Test {
protected:
    void SetUp() override
    {
        listener_.SetAddr("127.0.0.1");
        listener_.SetPort("0");
        listener_.OnSessionAvailable = [this](TCustomWSocket* sender, std::uint16_t) {
            reader = std::make_unique<TWSocket>();
            reader->SetLingerOnOff(wsLingerOff);
            reader->Dup(sender->Accept());
        };
        listener_.Listen();
        writer.SetLingerOnOff(wsLingerOff);
        writer.SetAddr("127.0.0.1");
        writer.SetPort(listener_.GetXPort());
        bool connected = false;
        writer.OnSessionConnected = [&](TCustomWSocket*, std::uint16_t) { connected = true; };
        writer.Connect();
        ASSERT_TRUE(loop_.RunUntil([&] { return connected && reader; }, 2000ms));
    }

    // Sends the bytes and waits until the reader's stack holds them, so that each call is
    // received in a read of its own.
    void SendAndSettle(const std::string& bytes)
    {
        const long long before = reader->ReadCount();
        writer.SendStr(bytes);
        loop_.RunUntil([&] { return reader->ReadCount() >= before + static_cast<long long>(bytes.size()); }, 2000ms);
    }

    void CollectLines()
    {
        reader->OnDataAvailable = [this](TCustomWSocket* sender, std::uint16_t) {
            lines.push_back(sender->ReceiveStr());
        };
    }

    EventLoop loop_;
    TWSocket listener_;
    TWSocket writer;
    std::unique_ptr<TWSocket> reader;
    std::vector<std::string> lines;
};

}  // namespace

TEST_F(LinePair, LineEndSplitAcrossReadsIsFound)
{
    reader->SetLineMode(true);
    CollectLines();
    SendAndSettle("AB\r");
    EXPECT_TRUE(lines.empty());
    SendAndSettle("\nCD\r\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "AB\r\n");
    EXPECT_EQ(lines[1], "CD\r\n");
}

TEST_F(LinePair, OverlongLineFiresTheLimitEventAndIsCleared)
{
    reader->SetLineMode(true);
    reader->SetLineLimit(10);
    CollectLines();
    int reported = 0;
    reader->OnLineLimitExceeded = [&](TCustomWSocket*, int length, bool& clear) {
        reported = length;
        EXPECT_TRUE(clear);
    };
    SendAndSettle("0123456789A");
    EXPECT_EQ(reported, 11);
    EXPECT_EQ(reader->RcvdCnt(), 0);
    SendAndSettle("ok\r\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "ok\r\n");  // nothing of the cleared bytes comes back
}

TEST_F(LinePair, KeepingOverlongDataLetsTheLineFinish)
{
    reader->SetLineMode(true);
    reader->SetLineLimit(4);
    CollectLines();
    int events = 0;
    reader->OnLineLimitExceeded = [&](TCustomWSocket*, int, bool& clear) {
        ++events;
        clear = false;
    };
    SendAndSettle("abcdef");
    SendAndSettle("gh\r\n");
    EXPECT_EQ(events, 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "abcdefgh\r\n");
}

TEST_F(LinePair, SwitchingLineModeOnDeliversHeldLinesAfterTheHandler)
{
    // Put the bytes in the line buffer by reading them in line mode with no line end present.
    reader->SetLineMode(true);
    reader->SetLineEnd("\r\n");
    reader->OnDataAvailable = nullptr;
    SendAndSettle("one\r");  // held: no complete line yet
    reader->SetLineMode(false);
    reader->OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t) {
        auto* line = static_cast<TWSocket*>(sender);
        line->SetLineMode(true);
        line->OnDataAvailable = [this](TCustomWSocket* s, std::uint16_t) { lines.push_back(s->ReceiveStr()); };
    };
    SendAndSettle("\ntwo");
    loop_.ProcessMessages();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "one\r\n");
    SendAndSettle("\r\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "two\r\n");
}

TEST_F(LinePair, UnfinishedLastLineArrivesBeforeSessionClosed)
{
    reader->SetLineMode(true);
    std::vector<std::string> trace;
    reader->OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t) {
        trace.push_back("data:" + sender->ReceiveStr());
    };
    reader->OnSessionClosed = [&](TCustomWSocket*, std::uint16_t) { trace.push_back("closed"); };
    writer.SendStr("full\r\npartial");
    writer.Flush();
    writer.Close();
    ASSERT_TRUE(loop_.RunUntil([&] { return !trace.empty() && trace.back() == "closed"; }, 2000ms));
    ASSERT_EQ(trace.size(), 3u);
    EXPECT_EQ(trace[0], "data:full\r\n");
    EXPECT_EQ(trace[1], "data:partial");
    EXPECT_EQ(trace[2], "closed");
}

TEST_F(LinePair, LeavingLineModeMidLineLosesAndRepeatsNothing)
{
    reader->SetLineMode(true);
    std::string got;
    reader->OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t) {
        auto* line = static_cast<TWSocket*>(sender);
        if (line->LineMode()) {
            char part[3];
            const int n = line->Receive(part, 3);  // only the start of the line
            got.append(part, static_cast<std::size_t>(n));
            line->SetLineMode(false);
        } else {
            got += line->ReceiveStr();
        }
    };
    SendAndSettle("abcdef\r\nnext\r\n");
    loop_.RunUntil([&] { return got.size() >= 14; }, 1000ms);
    EXPECT_EQ(got, "abcdef\r\nnext\r\n");
}

TEST_F(LinePair, CompleteLinesWithoutAHandlerAreDropped)
{
    reader->SetLineMode(true);
    SendAndSettle("lost\r\nkept");
    EXPECT_EQ(reader->RcvdCnt(), 4);
    CollectLines();
    SendAndSettle("\r\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "kept\r\n");
}
