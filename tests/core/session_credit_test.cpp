// The download credit of an account with an upload/download ratio: every uploaded byte earns
// one byte of credit, every downloaded byte costs the ratio, a connection starts with none, and
// a refusal is the raw 599 text on the same line as the engine's own refusal.
#include <functional>
#include <vector>

#include "common/byte_size_text.h"
#include "core/ftp_session_policy.h"
#include "session_fixture.h"

namespace corvane {
namespace {

using testing::FtpTestClient;

std::string CreditRefusal(const std::string& creditText)
{
    return "599 You do not have enough credit (" + creditText +
           ") to download this file. Try uploading some useful files first. 500 Cannot RETR.";
}

TEST(CreditRuleTest, CostIsTheSizeTimesTheRatioAndCountsPast32Bits)
{
    EXPECT_TRUE(FtpSessionPolicy::CreditAllows(0, 0.0f, 1'000'000));  // no ratio, no rule
    EXPECT_TRUE(FtpSessionPolicy::CreditAllows(0, 1.0f, 0));          // an empty file costs nothing
    EXPECT_FALSE(FtpSessionPolicy::CreditAllows(0, 1.0f, 1));
    EXPECT_FALSE(FtpSessionPolicy::CreditAllows(1000, 2.0f, 600));  // costs 1200
    EXPECT_TRUE(FtpSessionPolicy::CreditAllows(1000, 2.0f, 500));   // costs exactly 1000
    EXPECT_TRUE(FtpSessionPolicy::CreditAllows(1000, 0.5f, 2001));  // 1000.5 truncates to 1000
    // Credits and sizes beyond 2 and 4 GiB neither wrap nor saturate.
    constexpr std::int64_t kFiveGiB = 5LL << 30;
    EXPECT_TRUE(FtpSessionPolicy::CreditAllows(kFiveGiB, 1.0f, kFiveGiB));
    EXPECT_FALSE(FtpSessionPolicy::CreditAllows(kFiveGiB - 1, 1.0f, kFiveGiB));
    EXPECT_FALSE(FtpSessionPolicy::CreditAllows(0, 1.0f, 1LL << 32));
    EXPECT_FALSE(FtpSessionPolicy::CreditAllows(3LL << 30, 2.0f, 2LL << 30));
}

class SessionCreditTest : public testing::SessionServerTest {
protected:
    void StartWithRatio(float ratio)
    {
        StartUp();
        AddUser("dave", "pw", MakeFolder("Home"), "gplcmdri");
        accounts().SetUdRatio("dave", ratio);
        PutFile("Home\\ten.bin", "0123456789");
        PutFile("Home\\six.bin", std::string(600, 's'));
        PutFile("Home\\five.bin", std::string(500, 'f'));
        PutFile("Home\\empty.bin", "");
        Listen();
    }
    std::string Download(FtpTestClient& client, const std::string& name, std::string* data = nullptr)
    {
        std::string received;
        const std::string reply = client.Retrieve("RETR " + name, received);
        if (data) *data = received;
        return reply;
    }
};

TEST_F(SessionCreditTest, RatioOneDownloadsWhatWasUploadedAndNoMore)
{
    StartWithRatio(1.0f);
    RunClient([&] {
        FtpTestClient client(port);
        ASSERT_EQ(client.Login("dave", "pw"), "230 User dave logged in.");
        EXPECT_EQ(Download(client, "ten.bin"), CreditRefusal("0 Bytes"));
        EXPECT_EQ(Download(client, "empty.bin"), "226 File sent ok");
        EXPECT_EQ(client.Store("STOR up.bin", "abcdefghij"), "226 File received ok");
        std::string data;
        EXPECT_EQ(Download(client, "ten.bin", &data), "226 File sent ok");
        EXPECT_EQ(data, "0123456789");
        // The download spent the credit.
        EXPECT_EQ(Download(client, "ten.bin"), CreditRefusal("0 Bytes"));
        // The connection goes on after a refusal.
        EXPECT_EQ(client.Command("NOOP").substr(0, 3), "200");
        client.Command("QUIT");
        // A new connection starts without credit.
        FtpTestClient next(port);
        next.Login("dave", "pw");
        EXPECT_EQ(Download(next, "ten.bin"), CreditRefusal("0 Bytes"));
        next.Command("QUIT");
    });
}

TEST_F(SessionCreditTest, RatioTwoRefusesAFileTheCreditDoesNotCoverAndShowsTheCreditTimesTheRatio)
{
    StartWithRatio(2.0f);
    RunClient([&] {
        FtpTestClient client(port);
        client.Login("dave", "pw");
        EXPECT_EQ(client.Store("STOR up.bin", std::string(1000, 'u')), "226 File received ok");
        EXPECT_EQ(Download(client, "six.bin"), CreditRefusal(FormatByteSize(2000, true)));
        std::string data;
        EXPECT_EQ(Download(client, "five.bin", &data), "226 File sent ok");
        EXPECT_EQ(data.size(), 500u);
        EXPECT_EQ(Download(client, "ten.bin"), CreditRefusal("0 Bytes"));
        client.Command("QUIT");
    });
}

TEST_F(SessionCreditTest, ResumedDownloadCostsOnlyTheBytesSent)
{
    StartWithRatio(1.0f);
    RunClient([&] {
        FtpTestClient client(port);
        client.Login("dave", "pw");
        EXPECT_EQ(client.Store("STOR up.bin", std::string(15, 'u')), "226 File received ok");
        // The check asks for the whole file; the charge is what was sent: 6 of the 10 bytes.
        EXPECT_EQ(client.Command("REST 4").substr(0, 3), "350");
        std::string data;
        EXPECT_EQ(Download(client, "ten.bin", &data), "226 File sent ok");
        EXPECT_EQ(data, "456789");
        // 9 bytes of credit left: not enough for ten.bin.
        EXPECT_EQ(Download(client, "ten.bin"), CreditRefusal("9 Bytes"));
        client.Command("QUIT");
    });
}

// A listing that never reaches its end of transfer (refused, or called off before its data
// connection) is no listing for the download after it: that one is charged.
TEST_F(SessionCreditTest, AListingThatNeverRunsLeavesTheNextDownloadCharged)
{
    StartWithRatio(1.0f);
    RunClient([&] {
        FtpTestClient client(port);
        client.Login("dave", "pw");
        const std::vector<std::function<void()>> listings = {
            [&] {
                for (const char* refused : {"MLSD nothere", "MLSD ten.bin"})
                    EXPECT_EQ(client.Command(refused).substr(0, 4), "550 ");
            },
            [&] {
                EXPECT_EQ(client.Command("PASV").substr(0, 4), "227 ");  // the client never connects
                EXPECT_EQ(client.Command("LIST").substr(0, 4), "150 ");
                EXPECT_EQ(client.Command("ABOR"), "501 Cannot RETR. ABORT requested by client");
                EXPECT_EQ(client.Reply(), "225 ABOR command successful.");
            },
        };
        for (const auto& listing : listings) {
            EXPECT_EQ(client.Store("STOR up.bin", "abcdefghij"), "226 File received ok");
            listing();
            EXPECT_EQ(Download(client, "ten.bin"), "226 File sent ok");
            EXPECT_EQ(Download(client, "ten.bin"), CreditRefusal("0 Bytes"));
        }
        client.Command("QUIT");
    });
}

}  // namespace
}  // namespace corvane
