// The engine from a browser's side: answers in order on one connection, the 404 page, the
// kept and closed connections, ranges and conditions, and what hostile or slow clients get.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <fstream>
#include <memory>

#include "http/http_texts.h"
#include "http_engine_fixture.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using testing::HttpAnswer;
using testing::RawHttpClient;
using testing::SplitAnswers;

class HttpConnectionTest : public testing::HttpEngineTest {};

TEST_F(HttpConnectionTest, PipelinedRequestsAreAnsweredInOrderEachInFull)
{
    const std::string big(1536 * 1024 + 7, 'b');  // several file blocks
    PutFile("big.bin", big);
    PutFile("small.txt", "small");
    StartEngine();
    bool closed = false;
    std::string bytes = Exchange("GET /big.bin HTTP/1.1\r\nHost: x\r\n\r\n"
                                 "HEAD /small.txt HTTP/1.1\r\n\r\n"
                                 "GET /small.txt?x=1 HTTP/1.1\r\nConnection: close\r\n\r\n",
                                 closed);
    const std::vector<HttpAnswer> answers = SplitAnswers(bytes, {1});
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_EQ(answers[0].statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(answers[0].body, big);
    EXPECT_EQ(answers[0].Field("Connection"), "keep-alive");
    EXPECT_EQ(answers[1].Field("Content-Length"), "5");
    EXPECT_EQ(answers[2].body, "small");
    EXPECT_EQ(answers[2].Field("Connection"), "close");
    EXPECT_TRUE(bytes.empty());
    EXPECT_TRUE(closed);
}

TEST_F(HttpConnectionTest, MissingDocumentsAndUnknownMethodsGetThe404PageAndAClose)
{
    StartEngine();
    const std::string body404 = "<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD><BODY><H1>404 Not Found</H1>The "
                                "requested URL /nothing was not found on this server.<P></BODY></HTML>\r\n";
    struct Case {
        const char* request;
        std::string expected;
    } cases[] = {
        {"GET /nothing HTTP/1.1\r\n\r\n",
         "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body404.size()) +
             "\r\nConnection: close\r\n\r\n" + body404},
        {"PUT /nothing HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found"},
        {"GET /nothing\r\n\r\n", "HTTP/1.0 404 Not Found"},
        {"GET /a%00b.txt HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found"},
        {"GET /<script> HTTP/1.0\r\n\r\n", "HTTP/1.0 404"},
    };
    PutFile("a", "must not be served for a%00b.txt");
    for (const Case& c : cases) {
        bool closed = false;
        const std::string answer = Exchange(c.request, closed);
        EXPECT_EQ(answer.substr(0, c.expected.size()), c.expected) << c.request;
        EXPECT_TRUE(closed) << c.request;
    }
    bool closed = false;
    EXPECT_NE(Exchange("GET /<script> HTTP/1.0\r\n\r\n", closed).find("URL /&lt;script&gt; was"), std::string::npos);
}

TEST_F(HttpConnectionTest, ConnectionsStayOnlyWhenTheClientAsks)
{
    PutFile("f.txt", "0123456789");
    StartEngine();
    struct Case {
        const char* request;
        bool staysOpen;
    } cases[] = {
        {"GET /f.txt HTTP/1.1\r\n\r\n", true},
        {"GET /f.txt HTTP/1.1\r\nConnection: close\r\n\r\n", false},
        {"GET /f.txt HTTP/1.0\r\n\r\n", false},
        {"GET /f.txt HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", true},
    };
    for (const Case& c : cases) {
        bool closed = false;
        std::string bytes = Exchange(c.request, closed, 700ms);
        const auto answers = SplitAnswers(bytes);
        ASSERT_EQ(answers.size(), 1u) << c.request;
        EXPECT_EQ(answers[0].body, "0123456789");
        EXPECT_EQ(closed, !c.staysOpen) << c.request;
        EXPECT_EQ(answers[0].Field("Connection"), c.staysOpen ? "keep-alive" : "close");
    }
}

// A closing answer ends in a FIN, never a reset: at once when the client asked for the close and
// sent nothing more; after reading what it sends when it pipelined more or expected to stay.
TEST_F(HttpConnectionTest, ClosingAnswersEndInAFinWhateverTheClientSendsAfter)
{
    PutFile("f.txt", "0123456789");
    StartEngine();
    struct Case {
        const char* request;
        const char* later;  // sent once the answer has come
        const char* status;
    } cases[] = {
        {"GET /f.txt HTTP/1.1\r\nConnection: close\r\n\r\n", "", "HTTP/1.1 200 OK"},
        {"GET /f.txt HTTP/1.0\r\n\r\n", "", "HTTP/1.0 200 OK"},
        {"GET /f.txt HTTP/1.1\r\nConnection: close\r\n\r\nGET /f.txt HTTP/1.1\r\n\r\n", "", "HTTP/1.1 200 OK"},
        {"GET /nothing HTTP/1.1\r\n\r\n", "GET /f.txt HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found"},
        {"GET /f.txt HTTP/1.1\r\nContent-Length: x\r\n\r\n", "more", "HTTP/1.1 400 Bad Request"},
    };
    for (const Case& c : cases) {
        RawHttpClient client(port_);
        ASSERT_TRUE(client.Connected());
        client.Send(c.request);
        if (*c.later != '\0') {
            // A client that did not ask for the close may still be talking: it is read, not
            // answered with a reset (which would also make this second send fail; the pause is
            // the time such a reset takes to come back, not a wait for the server).
            ASSERT_TRUE(client.WaitReadable(3000ms)) << c.request;
            client.Send(c.later);
            std::this_thread::sleep_for(100ms);
            EXPECT_TRUE(client.Send(c.later)) << c.request;
        }
        bool closed = false;
        std::string bytes = client.ReadAll(3000ms, closed);
        const auto answers = SplitAnswers(bytes);
        ASSERT_EQ(answers.size(), 1u) << c.request;
        EXPECT_EQ(answers[0].statusLine, c.status) << c.request;
        EXPECT_TRUE(closed) << c.request;
        EXPECT_FALSE(client.Reset()) << c.request;
    }
}

TEST_F(HttpConnectionTest, RangesAndConditionsAnswerPartsOrNothing)
{
    PutFile("r.txt", "0123456789");
    StartEngine();
    const std::time_t time = FileDate("C:\\www\\r.txt");
    struct Case {
        std::string header;
        std::string status, body, contentRange;
    } cases[] = {
        {"Range: bytes=2-4", "206 Partial Content", "234", "bytes 2-4/10"},
        {"Range: bytes=7-", "206 Partial Content", "789", "bytes 7-9/10"},
        {"Range: bytes=-3", "206 Partial Content", "789", "bytes 7-9/10"},
        {"Range: bytes=5-100", "206 Partial Content", "56789", "bytes 5-9/10"},
        {"Range: bytes=10-", "416 Range Not Satisfiable", "", "bytes */10"},
        {"Range: bytes=1-2,4-5", "200 OK", "0123456789", "<none>"},
        {"If-Modified-Since: " + RFC1123_Date(time) + " GMT", "304 Not Modified", "", "<none>"},
        {"If-Modified-Since: " + RFC1123_Date(time - 60) + " GMT", "200 OK", "0123456789", "<none>"},
    };
    for (const Case& c : cases) {
        bool closed = false;
        std::string bytes = Exchange("GET /r.txt HTTP/1.1\r\n" + c.header + "\r\nConnection: close\r\n\r\n", closed);
        const auto answers = SplitAnswers(bytes);
        ASSERT_EQ(answers.size(), 1u) << c.header;
        EXPECT_EQ(answers[0].statusLine, "HTTP/1.1 " + c.status) << c.header;
        EXPECT_EQ(answers[0].body, c.body) << c.header;
        EXPECT_EQ(answers[0].Field("Content-Range"), c.contentRange) << c.header;
    }
}

TEST_F(HttpConnectionTest, FileAnswerHeadersAreWholeAndInTheirOrder)
{
    PutFile("h.txt", "0123456789");
    PutFile("g.gif", "GIF89a");
    StartEngine();
    const std::string since = RFC1123_Date(FileDate("C:\\www\\h.txt")) + " GMT";
    const std::string date = "Last-Modified: " + since + "\r\n";
    const std::string gifDate = "Last-Modified: " + RFC1123_Date(FileDate("C:\\www\\g.gif")) + " GMT\r\n";
    struct Case {
        std::string request, header, body;
    } cases[] = {
        {"GET /h.txt HTTP/1.1\r\n\r\n",
         "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 10\r\nAccept-Ranges: bytes\r\n" + date +
             "Connection: keep-alive\r\n\r\n",
         "0123456789"},
        {"GET /h.txt HTTP/1.1\r\nRange: bytes=2-4\r\n\r\n",
         "HTTP/1.1 206 Partial Content\r\nContent-Type: text/plain\r\nContent-Length: 3\r\nAccept-Ranges: bytes\r\n" +
             date + "Content-Range: bytes 2-4/10\r\nConnection: keep-alive\r\n\r\n",
         "234"},
        {"GET /h.txt HTTP/1.1\r\nIf-Modified-Since: " + since + "\r\n\r\n",
         "HTTP/1.1 304 Not Modified\r\nAccept-Ranges: bytes\r\n" + date + "Connection: keep-alive\r\n\r\n", ""},
        {"HEAD /g.gif HTTP/1.0\r\n\r\n",
         "HTTP/1.0 200 OK\r\nContent-Type: image/gif\r\nContent-Length: 6\r\nAccept-Ranges: bytes\r\n" + gifDate +
             "Connection: close\r\n\r\n",
         ""},
    };
    // One connection for all of them (the last closes it): each header is made afresh.
    std::string requests;
    for (const Case& c : cases) requests += c.request;
    bool closed = false;
    const std::string bytes = Exchange(requests, closed);
    std::string expected;
    for (const Case& c : cases) expected += c.header + c.body;
    EXPECT_EQ(bytes, expected);
    EXPECT_TRUE(closed);
}

TEST_F(HttpConnectionTest, RequestsThatCannotBeReadSafelyAreRefusedAndClosed)
{
    StartEngine();
    std::string manyHeaders = "GET / HTTP/1.1\r\n";
    for (int i = 0; i < 101; ++i) manyHeaders += "X-" + std::to_string(i) + ": y\r\n";
    struct Case {
        std::string request, status;
    } cases[] = {
        {"GET /" + std::string(100 * 1024, 'a') + " HTTP/1.1\r\n\r\n", "HTTP/1.0 414 URI Too Long"},
        {"GET / HTTP/1.1\r\nX: " + std::string(100 * 1024, 'a') + "\r\n\r\n", "HTTP/1.1 431"},
        {manyHeaders + "\r\n", "HTTP/1.1 431"},
        {"GET / HTTP/1.1\rHost: x\r\n\r\n", "HTTP/1.0 400 Bad Request"},
        {"POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", "HTTP/1.1 400"},
        {"POST / HTTP/1.1\r\nContent-Length: 9223372036854775808\r\n\r\n", "HTTP/1.1 400"},
        {"POST / HTTP/1.1\r\nContent-Length: ten\r\n\r\n", "HTTP/1.1 400"},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", "HTTP/1.1 501"},
    };
    for (const Case& c : cases) {
        bool closed = false;
        const std::string answer = Exchange(c.request, closed);
        EXPECT_EQ(answer.substr(0, c.status.size()), c.status) << c.request.substr(0, 60);
        EXPECT_TRUE(closed) << c.request.substr(0, 60);
    }
}

// A body nobody takes is read and dropped up to its announced length; what follows it is the
// next request.
TEST_F(HttpConnectionTest, AnUnacceptedBodyIsSkippedAndTheNextRequestAnswered)
{
    PutFile("next.txt", "next");
    StartEngine([](THttpServer& server) {
        server.OnPostDocument = [](THttpServer*, THttpConnection* client, THttpGetFlag& flags) {
            flags = hgWillSendMySelf;
            client->DocumentStream = std::make_shared<std::stringstream>("posted");
            client->AnswerStream("200 OK", "text/plain");
        };
    });
    const std::string body(3 * 1024 * 1024, '\n');  // lines that must not be read as requests
    bool closed = false;
    std::string bytes = Exchange("POST /form HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
                                     body + "GET /next.txt HTTP/1.1\r\nConnection: close\r\n\r\n",
                                 closed, 3000ms);
    const auto answers = SplitAnswers(bytes);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].body, "posted");
    EXPECT_EQ(answers[1].body, "next");
    EXPECT_TRUE(bytes.empty());
}

TEST_F(HttpConnectionTest, SilentSlowAndIdleClientsAreClosedWhileOthersAreServed)
{
    PutFile("f.txt", "data");
    StartEngine([](THttpServer& server) {
        server.Limits.headerTimeout = 1500ms;
        server.Limits.keepAliveTimeout = 1000ms;
    });
    RawHttpClient silent(port_), partial(port_), kept(port_);
    partial.Send("GET /f.txt HTTP/1.1\r\nHost:");
    kept.Send("GET /f.txt HTTP/1.1\r\n\r\n");
    bool closed = false;
    // Meanwhile a normal client is served at once.
    std::string bytes = Exchange("GET /f.txt HTTP/1.1\r\nConnection: close\r\n\r\n", closed, 500ms);
    ASSERT_EQ(SplitAnswers(bytes).size(), 1u);
    EXPECT_TRUE(closed);
    const auto start = std::chrono::steady_clock::now();
    std::string keptBytes = kept.ReadAll(4000ms, closed);
    EXPECT_TRUE(closed);
    EXPECT_EQ(SplitAnswers(keptBytes).size(), 1u);
    silent.ReadAll(4000ms, closed);
    EXPECT_TRUE(closed);
    partial.ReadAll(4000ms, closed);
    EXPECT_TRUE(closed);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4000ms);
}

TEST_F(HttpConnectionTest, AClientThatLeavesMidAnswerDoesNotStopTheServer)
{
    PutFile("large.bin", std::string(16 * 1024 * 1024, 'L'));
    PutFile("f.txt", "still here");
    StartEngine();
    for (int i = 0; i < 5; ++i) {
        RawHttpClient leaver(port_);
        leaver.Send("GET /large.bin HTTP/1.1\r\n\r\n");
        bool closed = false;
        leaver.ReadAll(20ms, closed);
        leaver.Close();
    }
    bool closed = false;
    std::string bytes = Exchange("GET /f.txt HTTP/1.1\r\nConnection: close\r\n\r\n", closed);
    const auto answers = SplitAnswers(bytes);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].body, "still here");
}

}  // namespace
}  // namespace corvane

namespace corvane {
namespace {

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// A browser that reads nothing of a large answer costs no memory beyond the stack's buffers
// (the file goes from the file, block by block, as the socket takes it), and is dropped once
// the answer has made no progress for the stall limit; 1,000 silent connections beside it
// change nothing for a client that asks.
TEST_F(HttpConnectionTest, StalledReadersAndSilentCrowdsDoNotHoldUpOthers)
{
    {
        std::ofstream big(scratch_.Join("www/huge.bin"), std::ios::binary);
        big.seekp(1024LL * 1024 * 1024 - 1);
        big.put('\0');  // 1 GiB, sparse
    }
    PutFile("f.txt", "served");
    // Both ends of the 1,000 connections live in this process.
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = std::max<rlim_t>(files.rlim_cur, std::min<rlim_t>(files.rlim_max, 4096));
    ::setrlimit(RLIMIT_NOFILE, &files);
    const int crowdSize = files.rlim_cur >= 2100 ? 1000 : static_cast<int>(files.rlim_cur / 2) - 50;
    // Shared with the engine, whose clients may still go after this test's body has ended.
    auto stalledDropped = std::make_shared<std::atomic<bool>>(false);
    StartEngine([stalledDropped](THttpServer& server) {
        server.Limits.sendStallTimeout = std::chrono::milliseconds(1500);
        server.OnClientDisconnect = [stalledDropped](THttpServer*, THttpConnection* client, std::uint16_t) {
            if (client->Path == "/huge.bin") *stalledDropped = true;
        };
    });
    const long before = ResidentKiB();
    RawHttpClient stalled(port_);
    stalled.Send("GET /huge.bin HTTP/1.1\r\n\r\n");
    std::vector<std::unique_ptr<RawHttpClient>> crowd;
    for (int i = 0; i < crowdSize; ++i) crowd.push_back(std::make_unique<RawHttpClient>(port_));
    bool closed = false;
    std::string bytes = Exchange("GET /f.txt HTTP/1.1\r\nConnection: close\r\n\r\n", closed);
    const auto answers = SplitAnswers(bytes);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].body, "served");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!*stalledDropped && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(stalledDropped->load());
    EXPECT_LT(ResidentKiB() - before, 64 * 1024) << "KiB grown";
    // The stalled reader has been dropped: what it finally reads ends well short of 1 GiB.
    std::size_t got = 0;
    for (;;) {
        const std::string chunk = stalled.ReadAll(std::chrono::milliseconds(2000), closed);
        got += chunk.size();
        if (closed || chunk.empty()) break;
    }
    EXPECT_TRUE(closed);
    EXPECT_LT(got, 256u * 1024 * 1024);
}

// A large body that nobody accepted is read and dropped: the sender gets the 404 page and can
// send it all, and the server's memory stays where it was.
TEST_F(HttpConnectionTest, AnUnacceptedLargeBodyIsReadAndDropped)
{
    StartEngine();
    const long before = ResidentKiB();
    constexpr std::size_t kBody = 256u * 1024 * 1024;
    RawHttpClient sender(port_);
    ASSERT_TRUE(sender.Send("POST /upload HTTP/1.1\r\nContent-Length: " + std::to_string(kBody) + "\r\n\r\n"));
    const std::string block(1024 * 1024, 'p');
    bool sentAll = true;
    for (std::size_t sent = 0; sent < kBody && sentAll; sent += block.size()) sentAll = sender.Send(block);
    EXPECT_TRUE(sentAll);
    bool closed = false;
    const std::string answer = sender.ReadAll(std::chrono::milliseconds(3000), closed);
    EXPECT_EQ(answer.substr(0, 22), "HTTP/1.1 404 Not Found");
    EXPECT_LT(ResidentKiB() - before, 32 * 1024) << "KiB grown";
}

TEST_F(HttpConnectionTest, APortChangeWhileListeningMovesTheListener)
{
    PutFile("f.txt", "moved");
    int started = 0, stopped = 0;
    StartEngine([&started, &stopped](THttpServer& server) {
        server.OnServerStarted = [&started](THttpServer*) { ++started; };
        server.OnServerStopped = [&stopped](THttpServer*) { ++stopped; };
    });
    const int newPort = testing::FreeLoopbackPort();
    std::promise<void> moved;
    loop_->Post([this, newPort, &moved] {
        server_->SetPort(std::to_string(newPort));
        moved.set_value();
    });
    moved.get_future().wait();
    port_ = newPort;
    bool closed = false;
    std::string bytes = Exchange("GET /f.txt HTTP/1.0\r\n\r\n", closed);
    const auto answers = SplitAnswers(bytes);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].body, "moved");
    EXPECT_EQ(started, 2);
    EXPECT_EQ(stopped, 1);
}

// A late answer (a reverse lookup) finds its connection by number: only while it is connected,
// never after it has gone or the service has stopped.
TEST_F(HttpConnectionTest, ConnectionsAreFoundByNumberOnlyWhileConnected)
{
    long long made = 0;
    StartEngine([&made](THttpServer& server) {
        server.ClientClass = [&made] {
            auto connection = std::make_unique<THttpConnection>();
            connection->SetNumber(++made);
            return connection;
        };
    });
    const auto found = [this](long long number) {
        std::promise<bool> answer;
        loop_->Post([&] {
            const THttpConnection* client = server_->ClientByNumber(number);
            answer.set_value(client != nullptr && client->Number() == number);
        });
        return answer.get_future().get();
    };
    const auto waitFor = [](const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(5ms);
        }
        return true;
    };
    RawHttpClient one(port_), two(port_);
    ASSERT_TRUE(waitFor([&] { return found(1) && found(2); }));
    one.Close();
    EXPECT_TRUE(waitFor([&] { return !found(1); }));
    EXPECT_TRUE(found(2));
    std::promise<void> stopped;
    loop_->Post([&] {
        server_->Stop();
        stopped.set_value();
    });
    stopped.get_future().wait();
    EXPECT_FALSE(found(2));
}

}  // namespace
}  // namespace corvane
