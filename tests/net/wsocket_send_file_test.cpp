// SendFile: a stretch of a file sent from the file itself, in order with what is sent before and
// after it, with the data-sent event of Send; a file that ends early; what is refused; and the
// send delay on accepted connections, and turned on later. SendLast: the last bytes, with the
// end of the sending direction behind them. SendHeld: bytes sent from the memory that holds them, kept
// alive by the socket until they have gone.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "net/custom_wsocket.h"
#include "platform/byte_pattern.h"
#include "platform/scratch_folder.h"

using namespace corvane;
using namespace std::chrono_literals;

namespace {

std::string Pattern(std::size_t size) { return corvane::testing::BytePattern(size); }

// A connected pair on loopback: `sender` connects, `receiver` is the accepted side, which keeps
// what it reads (once reading has been switched on) and notes its close.
class SendFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        listener.SetAddr("127.0.0.1");
        listener.SetPort("0");
        listener.OnSessionAvailable = [this](TCustomWSocket* s, std::uint16_t) {
            receiver = std::make_unique<TCustomWSocket>();
            receiver->SetComponentOptions(acceptOptions);
            receiver->Dup(s->Accept());
            receiver->OnDataAvailable = [this](TCustomWSocket* r, std::uint16_t) {
                if (!reading) return;
                char buffer[65536];
                const int count = r->Receive(buffer, sizeof buffer);
                if (count > 0) received.append(buffer, static_cast<std::size_t>(count));
            };
            receiver->OnSessionClosed = [this](TCustomWSocket*, std::uint16_t) { receiverClosed = true; };
        };
        listener.Listen();
        sender.OnSessionConnected = [this](TCustomWSocket*, std::uint16_t) { connected = true; };
        sender.OnDataSent = [this](TCustomWSocket*, std::uint16_t) { ++dataSent; };
        sender.SetLingerOnOff(wsLingerOff);
        sender.SetAddr("127.0.0.1");
        sender.SetPort(listener.GetXPort());
        sender.Connect();
        ASSERT_TRUE(loop.RunUntil([&] { return connected && receiver; }, 2000ms));
    }

    void TearDown() override
    {
        if (file >= 0) ::close(file);
    }

    int OpenFile(const std::string& name, const std::string& content)
    {
        scratch.Put(name, content);
        file = ::open(scratch.Join(name).c_str(), O_RDONLY | O_CLOEXEC);
        return file;
    }

    // A sparse file of `size` zero bytes (nothing on disk, every byte still read).
    int OpenSparseFile(const std::string& name, off_t size)
    {
        file = ::open(scratch.Join(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (file >= 0 && ::ftruncate(file, size) != 0) return -1;
        return file;
    }

    bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5000ms)
    {
        return loop.RunUntil(done, timeout);
    }

    EventLoop loop;
    corvane::testing::ScratchFolder scratch;
    TCustomWSocket listener, sender;
    std::unique_ptr<TCustomWSocket> receiver;
    TWSocketOptions acceptOptions = 0;
    std::string received;
    bool connected = false, reading = true, receiverClosed = false;
    int dataSent = 0;
    int file = -1;
};

}  // namespace

TEST_F(SendFileTest, AStretchOfTheFileArrivesBetweenWhatIsSentBeforeAndAfterIt)
{
    const std::string content = Pattern(100000);
    ASSERT_GE(OpenFile("f.bin", content), 0);
    reading = false;  // everything is queued before the peer takes a byte
    ASSERT_EQ(sender.SendStr("head:"), 5);
    ASSERT_EQ(sender.SendFile(file, 1000, 50000), 50000);
    ASSERT_EQ(sender.SendStr(":tail"), 5);
    EXPECT_EQ(dataSent, 0);                    // never inside the call
    EXPECT_EQ(::lseek(file, 0, SEEK_CUR), 0);  // the file's own position is not used
    reading = true;
    ASSERT_TRUE(WaitFor([&] { return received.size() >= 50010 && dataSent > 0; }));
    EXPECT_TRUE(received == "head:" + content.substr(1000, 50000) + ":tail");
    EXPECT_EQ(sender.FileBytesSent(), 50000);
    EXPECT_TRUE(sender.AllSent());
}

TEST_F(SendFileTest, BytesSentWhileTheFileWaitsGoAfterItAndTheEventWaitsForAll)
{
    // Far more than the stack holds while the peer does not read, so the file part waits.
    constexpr off_t kSize = 16 << 20;
    ASSERT_GE(OpenSparseFile("big.bin", kSize), 0);
    reading = false;
    ASSERT_EQ(sender.SendFile(file, 0, kSize), kSize);
    ASSERT_EQ(sender.SendStr("after"), 5);
    loop.RunUntil([] { return false; }, 100ms);
    ASSERT_FALSE(sender.AllSent());
    EXPECT_EQ(dataSent, 0);
    EXPECT_LT(sender.FileBytesSent(), kSize);
    // One file at a time.
    sender.OnError = [](TCustomWSocket*) {};
    EXPECT_EQ(sender.SendFile(file, 0, 10), -1);
    EXPECT_EQ(sender.LastError(), 10037);
    reading = true;
    ASSERT_TRUE(
        WaitFor([&] { return received.size() >= static_cast<std::size_t>(kSize) + 5 && dataSent > 0; }, 20000ms));
    EXPECT_EQ(received.size(), static_cast<std::size_t>(kSize) + 5);
    EXPECT_EQ(received.substr(received.size() - 5), "after");
    EXPECT_EQ(received.find_first_not_of('\0'), static_cast<std::size_t>(kSize));
    EXPECT_EQ(sender.FileBytesSent(), kSize);
    EXPECT_EQ(dataSent, 1);
}

// The peer gets every byte and then the end of the stream: at once when the stack takes them
// whole, and after the caller's own shutdown when most of them had to wait in the queue.
TEST_F(SendFileTest, LastBytesArriveWholeAndTheStreamEndsBehindThem)
{
    const std::string content = Pattern(300);
    ASSERT_EQ(sender.SendLastStr(content), 300);
    EXPECT_TRUE(sender.AllSent());
    ASSERT_TRUE(WaitFor([&] { return receiverClosed && dataSent > 0; }));
    EXPECT_TRUE(received == content);
}

TEST_F(SendFileTest, LastBytesThatMustWaitArriveWholeBeforeTheCallersShutdown)
{
    const std::string content = Pattern(16 << 20);  // far more than the stack holds
    reading = false;
    ASSERT_EQ(sender.SendLastStr(content), static_cast<int>(content.size()));
    EXPECT_FALSE(sender.AllSent());
    reading = true;
    ASSERT_TRUE(WaitFor([&] { return received.size() >= content.size() && dataSent > 0; }, 20000ms));
    EXPECT_FALSE(receiverClosed);  // the stream goes on until the caller ends it
    sender.Shutdown(1);
    ASSERT_TRUE(WaitFor([&] { return receiverClosed; }));
    EXPECT_TRUE(received == content);
}

TEST_F(SendFileTest, HeldBytesArriveInOrderAndAreLetGoOnceSentOrDropped)
{
    const std::size_t kSize = 16 << 20;  // far more than the stack holds while the peer waits
    auto bytes = std::make_shared<std::string>(Pattern(kSize));
    const std::string expected = "head:" + *bytes + ":tail";
    std::weak_ptr<std::string> held = bytes;
    reading = false;
    ASSERT_EQ(sender.SendStr("head:"), 5);
    ASSERT_EQ(sender.SendHeld(bytes, bytes->data(), static_cast<long long>(kSize)), static_cast<long long>(kSize));
    ASSERT_EQ(sender.SendStr(":tail"), 5);
    bytes.reset();
    loop.RunUntil([] { return false; }, 100ms);
    EXPECT_FALSE(held.expired());  // the socket still sends from them
    EXPECT_EQ(dataSent, 0);
    reading = true;
    ASSERT_TRUE(WaitFor([&] { return received.size() >= expected.size() && dataSent > 0; }, 20000ms));
    EXPECT_TRUE(received == expected);
    EXPECT_EQ(sender.FileBytesSent(), static_cast<long long>(kSize));
    EXPECT_TRUE(held.expired());
    // A socket closed while held bytes wait lets them go.
    bytes = std::make_shared<std::string>(Pattern(kSize));
    held = bytes;
    reading = false;
    ASSERT_EQ(sender.SendHeld(bytes, bytes->data(), static_cast<long long>(kSize)), static_cast<long long>(kSize));
    bytes.reset();
    sender.Abort();
    EXPECT_TRUE(held.expired());
}

TEST_F(SendFileTest, AFileShorterThanAnnouncedEndsTheSendWithIt)
{
    const std::string content = Pattern(3000);
    ASSERT_GE(OpenFile("short.bin", content), 0);
    ASSERT_EQ(sender.SendFile(file, 1000, 10000), 10000);
    ASSERT_EQ(sender.SendStr("!"), 1);
    ASSERT_TRUE(WaitFor([&] { return dataSent > 0 && received.size() >= 2001; }));
    EXPECT_TRUE(received == content.substr(1000) + "!");
    EXPECT_EQ(sender.FileBytesSent(), 2000);
    // The next file starts a fresh count.
    ASSERT_EQ(sender.SendFile(file, 0, 10), 10);
    ASSERT_TRUE(WaitFor([&] { return dataSent > 1; }));
    EXPECT_EQ(sender.FileBytesSent(), 10);
}

TEST_F(SendFileTest, AClosedSocketForgetsTheFileAndRefusesAnother)
{
    constexpr off_t kSize = 16 << 20;
    ASSERT_GE(OpenSparseFile("big.bin", kSize), 0);
    reading = false;
    ASSERT_EQ(sender.SendFile(file, 0, kSize), kSize);
    loop.RunUntil([] { return false; }, 50ms);
    ASSERT_FALSE(sender.AllSent());
    sender.Abort();
    // Its owner may close the file at once: nothing of it is read any more.
    ::close(file);
    file = -1;
    reading = true;
    ASSERT_TRUE(WaitFor([&] { return receiverClosed; }));
    EXPECT_LT(received.size(), static_cast<std::size_t>(kSize));
    EXPECT_EQ(dataSent, 0);
    sender.OnError = [](TCustomWSocket*) {};
    EXPECT_EQ(sender.SendFile(0, 0, 10), -1);
    EXPECT_EQ(sender.LastError(), 10057);
}

TEST_F(SendFileTest, OnlyNormalDataOfAStreamGoesFromAFile)
{
    ASSERT_GE(OpenFile("f.bin", "abc"), 0);
    sender.OnError = [](TCustomWSocket*) {};
    sender.SetSendFlags(wsSendUrgent);
    EXPECT_EQ(sender.SendFile(file, 0, 3), -1);
    EXPECT_EQ(sender.LastError(), 10045);
    sender.SetSendFlags(wsSendNormal);
    EXPECT_EQ(sender.SendFile(-1, 0, 3), -1);
    EXPECT_EQ(sender.SendFile(file, -1, 3), -1);
    EXPECT_EQ(sender.LastError(), 10022);
    EXPECT_EQ(sender.SendFile(file, 0, 3), 3);
    ASSERT_TRUE(WaitFor([&] { return received.size() >= 3; }));
    EXPECT_EQ(received, "abc");
}

namespace {

int NoDelayOf(int fd)
{
    int value = -1;
    socklen_t length = sizeof value;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &value, &length) != 0) return -1;
    return value;
}

}  // namespace

TEST(TCustomWSocketDup, AnAcceptedConnectionTakesTheSendDelayOptionOnlyWhenAsked)
{
    for (const bool noDelay : {false, true}) {
        EventLoop loop;
        TCustomWSocket listener, client;
        std::unique_ptr<TCustomWSocket> accepted;
        listener.SetAddr("127.0.0.1");
        listener.SetPort("0");
        listener.OnSessionAvailable = [&](TCustomWSocket* s, std::uint16_t) {
            accepted = std::make_unique<TCustomWSocket>();
            if (noDelay) accepted->SetComponentOptions(wsoTcpNoDelay);
            accepted->Dup(s->Accept());
        };
        listener.Listen();
        client.SetAddr("127.0.0.1");
        client.SetPort(listener.GetXPort());
        client.Connect();
        ASSERT_TRUE(loop.RunUntil([&] { return accepted != nullptr; }, 2000ms));
        EXPECT_EQ(NoDelayOf(accepted->HSocket()), noDelay ? 1 : 0) << noDelay;
        // Turned on later, on the connected socket, it takes effect at once.
        accepted->SetComponentOptions(wsoTcpNoDelay);
        EXPECT_EQ(NoDelayOf(accepted->HSocket()), 1) << noDelay;
    }
}
