// THttpCli against a real origin (Python's http.server, http_origin.py) on loopback.
#include "net/http_cli.h"

#include <gtest/gtest.h>

#include <future>
#include <sstream>
#include <thread>

#include "net/http_peers.h"

using namespace corvane;
using namespace corvane::testing;
using namespace std::chrono_literals;

namespace {

class HttpCliOrigin : public WithOrigin {
protected:
    static std::string Url(const std::string& path) { return origin_->Url(path); }

    // A synchronous GET: the status, and the message of the EHttpException if one came.
    struct Outcome {
        int status = 0;
        std::string reason, error;
        int errorCode = 0;
        std::string body;
    };
    Outcome Fetch(THttpCli& http, const std::string& path, THttpRequest kind = httpGET)
    {
        std::ostringstream body;
        http.URL = Url(path);
        http.ReplyStream = &body;
        Outcome outcome;
        try {
            if (kind == httpPOST) http.Post();
            else if (kind == httpHEAD) http.Head();
            else http.Get();
        } catch (const EHttpException& e) {
            outcome.error = e.what();
            outcome.errorCode = e.ErrorCode();
        }
        outcome.status = http.StatusCode();
        outcome.reason = http.ReasonPhrase();
        outcome.body = body.str();
        http.ReplyStream = nullptr;
        return outcome;
    }

    EventLoop loop_;
};

}  // namespace

TEST_F(HttpCliOrigin, GetPostAndHeadDirect)
{
    THttpCli http;
    std::vector<std::string> states;
    http.OnStateChange = [&](THttpCli* sender) { states.push_back(HttpStateName(sender->State())); };
    const Outcome got = Fetch(http, "/hello.txt");
    EXPECT_EQ(got.status, 200);
    EXPECT_EQ(got.body, "hello world");
    EXPECT_EQ(http.ContentLength(), 11);
    EXPECT_EQ(http.ContentType(), "text/plain");
    EXPECT_EQ(http.DocName(), "hello.txt");
    EXPECT_EQ(http.RcvdCount(), 11);
    EXPECT_EQ(states, (std::vector<std::string>{"httpNotConnected", "httpDnsLookup", "httpDnsLookupDone",
                                                "httpConnected", "httpWaitingHeader", "httpWaitingBody", "httpReady"}));

    std::istringstream post("name=value&x=1");
    http.PostStream = &post;
    const Outcome posted = Fetch(http, "/echo", httpPOST);
    EXPECT_EQ(posted.status, 200);
    EXPECT_EQ(posted.body.rfind("POST /echo HTTP/1.0\r\n", 0), 0u) << posted.body;
    EXPECT_NE(posted.body.find("Content-Type: application/x-www-form-urlencoded\r\n"), std::string::npos);
    EXPECT_NE(posted.body.find("Content-Length: 14\r\n"), std::string::npos);
    EXPECT_EQ(posted.body.substr(posted.body.size() - 14), "name=value&x=1");
    EXPECT_EQ(http.SentCount(), 14);

    const Outcome head = Fetch(http, "/hello.txt", httpHEAD);
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.body, "");
    EXPECT_EQ(http.ContentLength(), 11);
}

TEST_F(HttpCliOrigin, AnIpv6OriginIsReachedByItsBracketedAddress)
{
    OriginServer six("::1");
    ASSERT_NE(six.Port(), 0) << "no IPv6 origin";
    THttpCli http;
    std::ostringstream body;
    http.URL = six.Url("/echo");
    http.ReplyStream = &body;
    http.Get();
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_NE(body.str().find("Host: [::1]"), std::string::npos) << body.str();
    http.ReplyStream = nullptr;
}

TEST_F(HttpCliOrigin, EventsOfAPostInOrder)
{
    THttpCli http;
    std::vector<std::string> events;
    const auto note = [&](const char* name) { return [&events, name](THttpCli*) { events.push_back(name); }; };
    http.OnSessionConnected = note("SessionConnected");
    http.OnRequestHeaderBegin = note("RequestHeaderBegin");
    http.OnRequestHeaderEnd = note("RequestHeaderEnd");
    http.OnSendBegin = note("SendBegin");
    http.OnSendEnd = note("SendEnd");
    http.OnHeaderBegin = note("HeaderBegin");
    http.OnHeaderEnd = note("HeaderEnd");
    http.OnDocBegin = note("DocBegin");
    http.OnDocEnd = note("DocEnd");
    int headerLines = 0, sendPieces = 0;
    http.OnHeaderData = [&](THttpCli*) { ++headerLines; };
    http.OnSendData = [&](THttpCli*, const char*, int) { ++sendPieces; };
    http.OnDocData = [&](THttpCli*, const char*, int len) { EXPECT_GT(len, 0); };
    http.OnRequestDone = [&](THttpCli*, THttpRequest request, std::uint16_t error) {
        events.push_back(std::string("RequestDone ") + (request == httpPOST ? "POST " : "other ") +
                         std::to_string(error));
    };
    const std::string payload(20000, 'p');  // three pieces of at most 8193 bytes
    std::istringstream post(payload);
    http.PostStream = &post;
    const Outcome got = Fetch(http, "/echo", httpPOST);
    EXPECT_EQ(got.status, 200);
    ASSERT_TRUE(loop_.RunUntil([&] { return events.size() == 10; }, 1000ms));
    EXPECT_EQ(events, (std::vector<std::string>{"SessionConnected", "RequestHeaderBegin", "RequestHeaderEnd",
                                                "SendBegin", "SendEnd", "HeaderBegin", "HeaderEnd", "DocBegin",
                                                "DocEnd", "RequestDone POST 0"}));
    EXPECT_EQ(sendPieces, 3);
    EXPECT_EQ(http.SentCount(), 20000);
    EXPECT_GE(headerLines, 4);
    EXPECT_EQ(got.body.substr(got.body.size() - payload.size()), payload);
}

TEST_F(HttpCliOrigin, RequestHeaderLinesInOrder)
{
    THttpCli http;
    http.Sender = "me@example.org";
    http.Reference = "http://ref/";
    http.AcceptLanguage = "en";
    http.NoCache = true;
    http.ModifiedSince = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
    http.Cookie = "k=v";
    http.ContentRangeBegin = "5";
    std::string sentRange;
    http.OnCommand = [&](THttpCli*, std::string& line) {
        if (line.rfind("Range:", 0) == 0) sentRange = line;
    };
    const Outcome got = Fetch(http, "");
    (void)got;
    http.URL = "http://user:pa:ss@127.0.0.1:" + std::to_string(origin_->Port()) + "/echo";
    std::ostringstream body;
    http.ReplyStream = &body;
    http.Get();
    const std::string expected = "GET /echo HTTP/1.0\r\n"
                                 "From: me@example.org\r\n"
                                 "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
                                 "Referer: http://ref/\r\n"
                                 "Accept-Language: en\r\n"
                                 "User-Agent: Mozilla/3.0 (compatible)\r\n"
                                 "Host: 127.0.0.1\r\n"
                                 "Pragma: no-cache\r\n"
                                 "If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
                                 "Authorization: Basic dXNlcjpwYTpzcw==\r\n"
                                 "Cookie: k=v\r\n\r\n";
    EXPECT_EQ(body.str(), expected);
    // The range went with the first request only, and was cleared after it.
    EXPECT_EQ(sentRange, "Range: bytes=5-");
    EXPECT_EQ(http.Username, "user");
    EXPECT_EQ(http.Password, "pa:ss");
}

TEST_F(HttpCliOrigin, RedirectionsRelativeAbsoluteAndDotted)
{
    const std::string base = "http://127.0.0.1:" + std::to_string(origin_->Port());
    struct Case {
        std::string from, location, landsOn;
    } cases[] = {
        {"/a/b/go", "/echo/abs", "GET /echo/abs HTTP/1.0"},
        {"/a/b/go", base + "/echo/full", "GET /echo/full HTTP/1.0"},
        {"/a/b/go", "echo-rel", "GET /a/b/echo-rel HTTP/1.0"},
        {"/a/b/go", "./echo-dot", "GET /a/b/echo-dot HTTP/1.0"},
        {"/a/b/go", "../echo-up", "GET /a/echo-up HTTP/1.0"},
        {"/a/b/go", "../../echo-top", "GET /echo-top HTTP/1.0"},
    };
    for (const Case& c : cases) {
        THttpCli http;
        int changes = 0;
        http.OnLocationChange = [&](THttpCli*) { ++changes; };
        const Outcome got = Fetch(http, c.from + "?to=" + c.location);
        EXPECT_EQ(got.status, 200) << c.location << ": " << got.reason;
        EXPECT_EQ(got.body.substr(0, got.body.find("\r\n")), c.landsOn) << c.location;
        EXPECT_EQ(changes, 1);
    }
}

TEST_F(HttpCliOrigin, PostRedirectedBecomesGet)
{
    THttpCli http;
    std::istringstream post("payload");
    http.PostStream = &post;
    const Outcome got = Fetch(http, "/go?to=/echo/after", httpPOST);
    EXPECT_EQ(got.status, 200);
    EXPECT_EQ(got.body.rfind("GET /echo/after HTTP/1.0\r\n", 0), 0u) << got.body;
    EXPECT_EQ(got.body.find("payload"), std::string::npos);
}

TEST_F(HttpCliOrigin, TwentyRedirectionsAreFollowedTheTwentyFirstFails)
{
    THttpCli http;
    const Outcome twenty = Fetch(http, "/redirect?n=20");
    EXPECT_EQ(twenty.status, 200) << twenty.reason;
    EXPECT_EQ(twenty.body, "landed");

    const Outcome loop = Fetch(http, "/loop");
    EXPECT_EQ(loop.status, 404);
    EXPECT_EQ(loop.errorCode, 404);
    EXPECT_EQ(loop.error, "too many redirections (more than 20)");
}

TEST_F(HttpCliOrigin, LocationsThatCannotBeFollowedFail)
{
    THttpCli http;
    EXPECT_EQ(Fetch(http, "/raw/js").error, "can't follow a redirection to the scheme \"javascript\"");
    EXPECT_EQ(Fetch(http, "/raw/ftp").error, "can't follow a redirection to the scheme \"ftp\"");
    const Outcome longLocation = Fetch(http, "/raw/loc4k");
    EXPECT_EQ(longLocation.status, 200) << longLocation.reason;
    EXPECT_EQ(longLocation.body.rfind("GET /echo?" + std::string(4096, 'q') + " HTTP/1.0", 0), 0u);
}

TEST_F(HttpCliOrigin, FailingStatusRaisesWithTheBodyDelivered)
{
    THttpCli http;
    const Outcome got = Fetch(http, "/missing");
    EXPECT_EQ(got.status, 404);
    EXPECT_EQ(got.errorCode, 404);
    EXPECT_EQ(got.error, "Not Found");
    EXPECT_EQ(got.body, "not here");
}

TEST_F(HttpCliOrigin, OddRepliesEndAsTheyShould)
{
    struct Case {
        std::string raw;
        int status;
        std::string reason, body;
    } cases[] = {
        {"html", 0, "", "<HTML><BODY>no header</BODY></HTML>\r\nmore\r\n"},
        {"nostatus", 404, "the reply has no status line", ""},
        {"lenneg", 200, "OK", "abc"},
        {"lentext", 200, "OK", "abc"},
        {"longer", 200, "OK", "abc"},
        {"shorter", 404, "connection closed before the document ended", "abc"},
        {"midheader", 404, "connection closed before the reply header ended", ""},
        {"empty", 404, "connection closed before the reply header ended", ""},
        {"lfonly", 200, "OK", "hello"},
        {"zero", 200, "OK", ""},
        {"longheader", 404, "HTTP line too long", ""},
        {"line8192", 404, "HTTP line too long", ""},
        {"line8000", 200, "OK", "ok"},
    };
    THttpCli http;
    for (const Case& c : cases) {
        const auto started = std::chrono::steady_clock::now();
        const Outcome got = Fetch(http, "/raw/" + c.raw);
        EXPECT_EQ(got.status, c.status) << c.raw << ": " << got.reason;
        EXPECT_EQ(got.reason, c.reason) << c.raw;
        EXPECT_EQ(got.body, c.body) << c.raw;
        EXPECT_EQ(http.State(), httpReady);
        if (c.raw == "zero") {
            EXPECT_LT(std::chrono::steady_clock::now() - started, 2s) << "waited for the close";
        }
    }
    EXPECT_EQ(http.ContentType(), "");
    // After a line that was too long the component still works.
    EXPECT_EQ(Fetch(http, "/hello").status, 200);
}

TEST_F(HttpCliOrigin, ReplyFieldsAndTheDocumentName)
{
    THttpCli http;
    std::vector<std::string> cookies;
    http.OnCookie = [&](THttpCli*, const std::string& value, bool&) { cookies.push_back(value); };
    const Outcome got = Fetch(http, "/raw/fields");
    EXPECT_EQ(got.status, 206);
    EXPECT_EQ(http.ContentRangeBegin, "10");
    EXPECT_EQ(http.ContentRangeEnd, "19");
    EXPECT_EQ(http.AcceptRanges, "bytes");
    EXPECT_EQ(http.AuthChallenges(), std::vector<std::string>{"Basic realm=\"x\""});
    EXPECT_EQ(cookies, std::vector<std::string>{"a=1"});
    EXPECT_EQ(http.RcvdHeader().front(), "HTTP/1.1 206 Partial Content");

    Fetch(http, "/raw/html-exe");
    EXPECT_EQ(http.DocName(), "html-exe.htm");
    Fetch(http, "/dir/");
    EXPECT_EQ(http.DocName(), "document.htm");
}

TEST_F(HttpCliOrigin, FailuresBeforeTheReply)
{
    THttpCli http;
    http.URL = "http://no-such-host.invalid/x";
    try {
        http.Get();
        ADD_FAILURE() << "no exception";
    } catch (const EHttpException& e) {
        EXPECT_EQ(std::string(e.what()), "can't resolve hostname to IP address");
        EXPECT_EQ(e.ErrorCode(), 404);
    }
    EXPECT_NE(http.RequestDoneError(), 0);

    const int closedPort = FreeLoopbackPort();
    http.URL = "http://127.0.0.1:" + std::to_string(closedPort) + "/";
    EXPECT_THROW(http.Get(), EHttpException);
    EXPECT_EQ(http.ReasonPhrase(), "Connection refused (Error #10061)");
    EXPECT_EQ(http.RequestDoneError(), 10061);

    const std::pair<std::string, std::string> refusals[] = {
        {"ftp://127.0.0.1/x", "can't fetch a URL of the scheme \"ftp\""},
        {"HTTPS://127.0.0.1/x", "can't fetch a URL of the scheme \"HTTPS\""},
        {"http://127.0.0.1:no-such-service/",
         "can't connect: connect: WSocketResolvePort: Cannot convert port 'no-such-service', Error #11004"},
        {"http:///no-host", "DNS lookup: invalid host name."},
    };
    for (const auto& [url, reason] : refusals) {
        http.URL = url;
        EXPECT_THROW(http.Get(), EHttpException) << url;
        EXPECT_EQ(http.ReasonPhrase(), reason) << url;
    }

    http.URL = Url("/echo");
    try {
        http.Post();
        ADD_FAILURE() << "no exception";
    } catch (const EHttpException& e) {
        EXPECT_EQ(std::string(e.what()), "HTTP component has nothing to post");
        EXPECT_EQ(e.ErrorCode(), 2);
    }
    http.URL = Url("/stall");
    http.GetASync();
    try {
        http.GetASync();
        ADD_FAILURE() << "no exception";
    } catch (const EHttpException& e) {
        EXPECT_EQ(std::string(e.what()), "HTTP component is busy");
        EXPECT_EQ(e.ErrorCode(), 1);
    }
    http.Abort();
}

TEST_F(HttpCliOrigin, AbortInEveryStateEndsTheRequest)
{
    // Each state in which the request is aborted, from the component's own state changes.
    for (const THttpState when :
         {httpNotConnected, httpDnsLookup, httpDnsLookupDone, httpConnected, httpWaitingHeader, httpWaitingBody}) {
        THttpCli http;
        std::vector<THttpRequest> done;
        http.OnRequestDone = [&](THttpCli*, THttpRequest request, std::uint16_t error) {
            done.push_back(request);
            EXPECT_EQ(error, 3);
        };
        http.OnStateChange = [&](THttpCli* sender) {
            if (sender->State() == when) sender->Abort();
        };
        http.URL = when == httpDnsLookup
                       ? std::string("http://localhost:") + std::to_string(origin_->Port()) + "/slowbody"
                       : Url("/slowbody");
        try {
            http.Get();
            ADD_FAILURE() << HttpStateName(when);
        } catch (const EHttpException& e) {
            EXPECT_EQ(e.ErrorCode(), 404) << HttpStateName(when);
            EXPECT_EQ(std::string(e.what()), "Connection aborted on request");
        }
        EXPECT_EQ(http.State(), httpReady);
        ASSERT_TRUE(loop_.RunUntil([&] { return !done.empty(); }, 1000ms)) << HttpStateName(when);
        EXPECT_EQ(done.size(), 1u) << HttpStateName(when);
        http.OnStateChange = nullptr;
        EXPECT_EQ(Fetch(http, "/hello").status, 200) << "usable after an abort in " << HttpStateName(when);
    }
}

TEST_F(HttpCliOrigin, AbortFromATimerDuringASynchronousGet)
{
    THttpCli http;
    http.URL = Url("/stall");
    loop_.AddOneShot(200ms, [&] { http.Abort(); });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_THROW(http.Get(), EHttpException);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_EQ(http.StatusCode(), 404);
    EXPECT_EQ(http.RequestDoneError(), 3);
}

TEST_F(HttpCliOrigin, SynchronousGetOnAWorkerThreadWithItsOwnQueue)
{
    const std::string url = Url("/big?n=200000");
    const std::string stalls = Url("/stall");
    struct Result {
        int status = 0;
        std::size_t length = 0;
        std::string abortedWith;
    };
    std::promise<Result> result;
    std::thread worker([&] {
        EventLoop own;
        THttpCli http;
        http.SetMultiThreaded(true);
        http.URL = url;
        std::ostringstream body;
        http.ReplyStream = &body;
        Result r;
        http.Get();
        r.status = http.StatusCode();
        r.length = body.str().size();
        // The worker's own timers are served during the wait: this one ends a request that
        // would otherwise stall for ten seconds.
        own.AddOneShot(100ms, [&] { http.Abort(); });
        http.URL = stalls;
        try {
            http.Get();
        } catch (const EHttpException& e) {
            r.abortedWith = e.what();
        }
        result.set_value(r);
    });
    auto future = result.get_future();
    ASSERT_EQ(future.wait_for(8s), std::future_status::ready);
    worker.join();
    const Result r = future.get();
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.length, 200000u);
    EXPECT_EQ(r.abortedWith, "Connection aborted on request");
}

TEST_F(HttpCliOrigin, DestroyedWithARequestInProgress)
{
    auto http = std::make_unique<THttpCli>();
    http->URL = Url("/slowbody");
    http->GetASync();
    ASSERT_TRUE(loop_.RunUntil([&] { return http->State() == httpWaitingBody; }, 3000ms));
    http.reset();
    loop_.RunUntil([] { return false; }, 100ms);  // nothing posted for it may run now
}
