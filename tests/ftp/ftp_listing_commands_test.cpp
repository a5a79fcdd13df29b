// LIST and NLST over real data connections: the engine's listing, the owner's own or altered
// listing, the owner's cached copy, and the failures that answer "451".
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "ftp/ftp_stream_capability.h"
#include "ftp_transfer_fixture.h"

using namespace corvane;
using namespace corvane::testing;

namespace {

struct Listing {
    std::vector<std::string> replies;
    std::string bytes;
};

std::size_t CountLines(const std::string& text)
{
    std::size_t count = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++count;
    return count;
}

}  // namespace

class FtpListingCommandTest : public FtpTransferTest {
protected:
    // LIST or NLST over a fresh passive data connection; waits for both replies and the close.
    Listing List(FtpProbe& probe, const std::string& line)
    {
        DataPeer peer;
        const int port = Pasv(probe);
        EXPECT_GT(port, 0);
        peer.ConnectTo(port);
        const int mark = probe.LineCount();
        probe.Send(line + "\r\n");
        Listing result;
        result.replies = RepliesAfter(probe, mark, 2);
        EXPECT_TRUE(WaitFor([&] { return peer.closed; }));
        result.bytes = peer.received;
        return result;
    }
};

TEST_F(FtpListingCommandTest, ListAndNlstSendTheFolderAndEndLikeADownload)
{
    scratch.Put("a.txt", "12345");
    scratch.Put(".hidden", "h");
    auto probe = LoggedIn();
    Listing got = List(*probe, "LIST");
    ASSERT_EQ(got.replies.size(), 2u);
    EXPECT_EQ(got.replies[0], "150 Opening data connection for directory list.");
    EXPECT_EQ(got.replies[1], "226 File sent ok");
    ASSERT_EQ(CountLines(got.bytes), 1u) << got.bytes;
    EXPECT_EQ(got.bytes.substr(0, 41), "-rw-rw-rw-   1 ftp      ftp            5 ");
    EXPECT_EQ(got.bytes.substr(got.bytes.size() - 7), "a.txt\r\n");
    EXPECT_EQ(clients[0]->Transfer().ListedDirectory, "C:\\");
    EXPECT_EQ(clients[0]->CurrentCommand(), ftpcLIST);

    got = List(*probe, "NLST");
    EXPECT_EQ(got.replies.back(), "226 File sent ok");
    EXPECT_EQ(got.bytes, ".hidden\r\na.txt\r\n");
    EXPECT_EQ(clients[0]->CurrentCommand(), ftpcNLST);
}

TEST_F(FtpListingCommandTest, OptionsAndMissingFoldersGiveTheNotFoundLine)
{
    auto probe = LoggedIn();
    Listing got = List(*probe, "LIST -la");
    EXPECT_EQ(got.replies.back(), "226 File sent ok");
    EXPECT_EQ(got.bytes, "C:\\-la not found\r\n");
    got = List(*probe, "NLST gone/");
    EXPECT_EQ(got.bytes, "C:\\gone\\*.* not found\r\n");
}

TEST_F(FtpListingCommandTest, AListingOfManyBlocksArrivesWhole)
{
    std::filesystem::create_directory(scratch.Join("many"));
    for (int i = 0; i < 3000; ++i) {
        const int fd = ::open(scratch.Join("many/entry " + std::to_string(i)).c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    auto probe = LoggedIn();
    const Listing got = List(*probe, "LIST many/");
    EXPECT_EQ(got.replies.back(), "226 File sent ok");
    EXPECT_GT(got.bytes.size(), 65536u * 2);
    EXPECT_EQ(CountLines(got.bytes), 3002u);
    EXPECT_EQ(clients[0]->Transfer().TransferredBytes, static_cast<long long>(got.bytes.size()));
}

TEST_F(FtpListingCommandTest, AnOwnerThatSuppliesTheListingHasItSentUnchanged)
{
    auto supplied = std::make_shared<std::stringstream>("owner's own line\r\n");
    std::string seenDirectory;
    bool altered = false;
    server->OnBuildDirectory = [&](TFtpServer*, TFtpCtrlSocket* client, std::string& directory, bool detailed) {
        seenDirectory = directory;
        EXPECT_TRUE(detailed);
        client->Transfer().Stream = supplied;
    };
    server->OnAlterDirectory = [&](TFtpServer*, TFtpCtrlSocket*, std::string&, bool) { altered = true; };
    auto probe = LoggedIn();
    clients[0]->Transfer().ListedDirectory = "before";
    const Listing got = List(*probe, "LIST /pub/x");
    EXPECT_EQ(got.replies.back(), "226 File sent ok");
    EXPECT_EQ(got.bytes, "owner's own line\r\n");
    EXPECT_EQ(seenDirectory, "\\pub\\x");
    EXPECT_FALSE(altered);
    EXPECT_EQ(clients[0]->Transfer().ListedDirectory, "before");
    // Not the engine's to free: the owner does that.
    EXPECT_EQ(clients[0]->Transfer().Stream, supplied);
}

TEST_F(FtpListingCommandTest, AnOwnerMayRewriteTheEngineListing)
{
    scratch.Put("real.txt", "");
    server->OnAlterDirectory = [&](TFtpServer*, TFtpCtrlSocket* client, std::string& directory, bool detailed) {
        EXPECT_FALSE(detailed);
        EXPECT_EQ(directory, "");
        std::string text((std::istreambuf_iterator<char>(*client->Transfer().Stream)),
                         std::istreambuf_iterator<char>());
        client->Transfer().Stream->clear();
        client->Transfer().Stream->seekp(0, std::ios::end);
        *client->Transfer().Stream << "virtual\r\n";
        EXPECT_EQ(text, "real.txt\r\n");
    };
    auto probe = LoggedIn();
    const Listing got = List(*probe, "NLST");
    EXPECT_EQ(got.bytes, "real.txt\r\nvirtual\r\n");
}

TEST_F(FtpListingCommandTest, TheOwnersCachedCopyIsServedOrFilled)
{
    scratch.Put("file.txt", "");
    auto probe = LoggedIn();
    TFtpCtrlSocket* client = clients[0];
    // Served from the cache: the folder itself is not read.
    client->Transfer().CachedCopy =
        CacheTransfer(CacheUse::Serve, std::make_shared<std::stringstream>("cached.txt\r\n"));
    Listing got = List(*probe, "NLST");
    EXPECT_EQ(got.replies.back(), "226 File sent ok");
    EXPECT_EQ(got.bytes, "cached.txt\r\n");
    // Copied into the cache as it goes out; a longer earlier copy that can be resized leaves
    // nothing behind.
    auto cache = std::make_shared<TFtpMemoryStream>(std::string(500, '#'));
    client->Transfer().CachedCopy = CacheTransfer(CacheUse::Fill, cache);
    got = List(*probe, "NLST");
    EXPECT_EQ(got.bytes, "file.txt\r\n");
    EXPECT_EQ(cache->str(), "file.txt\r\n");
    EXPECT_EQ(client->Transfer().CachedCopy.Position(), 10);
}

TEST_F(FtpListingCommandTest, AFailureBeforeTheTransferIsAnswered451AndEndsIt)
{
    // The owner hears of the failure before the reply, and only of a failure.
    std::vector<std::string> events;
    server->OnTransferFailedBeforeSending = [&](TFtpServer*, TFtpCtrlSocket* client) {
        events.push_back("failed");
        EXPECT_FALSE(client->DataChannel().TransferRunning());
    };
    server->OnAnswerToClient = [&](TFtpServer*, TFtpCtrlSocket*, std::string& answer) {
        events.push_back(answer.substr(0, 3));
    };
    auto probe = LoggedIn();
    events.clear();
    EXPECT_EQ(Ask(*probe, "LIST D:x"), "451 Failed: No current dir for 'D:'.");
    // A stream the owner handed over to the engine goes with the failed listing.
    auto handed = std::make_shared<TFtpMemoryStream>("owner's line\r\n");
    server->OnBuildDirectory = [&](TFtpServer*, TFtpCtrlSocket* client, std::string&, bool) {
        client->SetEngineStream(handed);
        throw std::runtime_error("Listing refused");
    };
    EXPECT_EQ(Ask(*probe, "NLST"), "451 Failed: Listing refused.");
    EXPECT_EQ(handed.use_count(), 1);
    server->OnBuildDirectory = nullptr;
    // No transfer was left running.
    scratch.Put("after.txt", "");
    const Listing got = List(*probe, "NLST");
    EXPECT_EQ(got.bytes, "after.txt\r\n");
    EXPECT_EQ(events, (std::vector<std::string>{"failed", "451", "failed", "451", "227", "150", "226"}));
}

TEST_F(FtpListingCommandTest, ListNeedsALogin)
{
    StartServer();
    auto probe = Connect();
    EXPECT_EQ(Ask(*probe, "LIST"), "530 Please login with USER and PASS.");
    EXPECT_EQ(Ask(*probe, "NLST"), "530 Please login with USER and PASS.");
}
