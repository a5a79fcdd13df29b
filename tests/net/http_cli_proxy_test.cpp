// THttpCli through real proxies on loopback: tinyproxy (HTTP, with and without Basic
// authentication) and dante (SOCKS 4 and 5, with and without user code and password); SOCKS
// 4A, which dante does not speak, against a scripted relay in the test.
#include <gtest/gtest.h>

#include <sstream>

#include "net/http_cli.h"
#include "net/http_peers.h"

using namespace corvane;
using namespace corvane::testing;
using namespace std::chrono_literals;

namespace {

class HttpCliProxies : public WithOrigin {
protected:
    // GET, POST and HEAD of the echo page through whatever route `route` sets on the component
    // before each request; returns the first line that reached the origin for each.
    std::vector<std::string> ThreeMethods(const std::function<void(THttpCli&)>& route,
                                          const std::string& host = "127.0.0.1")
    {
        std::vector<std::string> seen;
        THttpCli http;
        for (const THttpRequest kind : {httpGET, httpPOST, httpHEAD}) {
            route(http);
            std::ostringstream body;
            std::istringstream post("sent=1");
            http.PostStream = &post;
            http.ReplyStream = &body;
            http.URL = "http://" + host + ":" + std::to_string(origin_->Port()) + "/echo";
            try {
                if (kind == httpGET) http.Get();
                if (kind == httpPOST) http.Post();
                if (kind == httpHEAD) http.Head();
            } catch (const EHttpException& e) {
                seen.push_back(std::string("failed: ") + e.what());
                continue;
            }
            const std::string text = body.str();
            // An HTTP proxy names itself in a Via line.
            const std::string via = text.find("\r\nVia: ") != std::string::npos ? " via proxy" : "";
            seen.push_back(kind == httpHEAD ? std::to_string(http.StatusCode())
                                            : text.substr(0, text.find("\r\n")) + via);
            if (kind == httpPOST) {
                EXPECT_NE(text.find("sent=1"), std::string::npos) << text;
            }
        }
        return seen;
    }

    EventLoop loop_;
};

const std::vector<std::string> kThroughProxy = {"GET /echo HTTP/1.0 via proxy", "POST /echo HTTP/1.0 via proxy", "200"};
const std::vector<std::string> kDirect = {"GET /echo HTTP/1.0", "POST /echo HTTP/1.0", "200"};

}  // namespace

TEST_F(HttpCliProxies, ThroughTinyproxy)
{
    if (!ProgramInstalled("tinyproxy")) GTEST_SKIP() << "tinyproxy is not installed";
    TinyProxy proxy;
    ASSERT_TRUE(proxy.Ready());
    EXPECT_EQ(ThreeMethods([&](THttpCli& http) {
                  http.Proxy = "127.0.0.1";
                  http.ProxyPort = std::to_string(proxy.Port());
              }),
              kThroughProxy);
}

TEST_F(HttpCliProxies, ThroughTinyproxyWithBasicAuthentication)
{
    if (!ProgramInstalled("tinyproxy")) GTEST_SKIP() << "tinyproxy is not installed";
    TinyProxy proxy("alice", "s3cret");
    ASSERT_TRUE(proxy.Ready());
    EXPECT_EQ(ThreeMethods([&](THttpCli& http) {
                  http.Proxy = "127.0.0.1:" + std::to_string(proxy.Port());
                  http.ProxyUsername = "alice";
                  http.ProxyPassword = "s3cret";
              }),
              kThroughProxy);
    const std::vector<std::string> refused = ThreeMethods([&](THttpCli& http) {
        http.Proxy = "127.0.0.1";
        http.ProxyPort = std::to_string(proxy.Port());
        http.ProxyUsername = "alice";
        http.ProxyPassword = "wrong";
    });
    ASSERT_EQ(refused.size(), 3u);
    EXPECT_EQ(refused[0].rfind("failed: ", 0), 0u) << refused[0];
}

TEST_F(HttpCliProxies, ThroughDanteLevels4And5)
{
    if (!DanteServer::CanRun()) GTEST_SKIP() << "danted needs root and the dante-server package";
    DanteServer dante(false);
    ASSERT_TRUE(dante.Ready());
    for (const std::string level : {"4", "5"}) {
        int socksConnected = 0;
        EXPECT_EQ(ThreeMethods([&](THttpCli& http) {
                      http.SetSocksServer("127.0.0.1");
                      http.SetSocksPort(std::to_string(dante.Port()));
                      http.SetSocksLevel(level);
                      http.OnSocksConnected = [&](TCustomWSocket*, std::uint16_t error) {
                          if (error == 0) ++socksConnected;
                      };
                  }),
                  kDirect)
            << "level " << level;
        EXPECT_EQ(socksConnected, 3) << "level " << level;
    }
    // Level 5 passes the name on: the proxy resolves it.
    EXPECT_EQ(ThreeMethods(
                  [&](THttpCli& http) {
                      http.SetSocksServer("127.0.0.1");
                      http.SetSocksPort(std::to_string(dante.Port()));
                  },
                  "localhost"),
              kDirect);
}

TEST_F(HttpCliProxies, ThroughDanteWithUserCodeAndPassword)
{
    if (!DanteServer::CanRun()) GTEST_SKIP() << "danted needs root and the dante-server package";
    DanteServer dante(true);
    ASSERT_TRUE(dante.Ready());
    std::vector<TSocksAuthState> states;
    const auto route = [&](const std::string& password) {
        return [&, password](THttpCli& http) {
            http.SetSocksServer("127.0.0.1");
            http.SetSocksPort(std::to_string(dante.Port()));
            http.SetSocksAuthentication(socksAuthenticateUsercode);
            http.SetSocksUsercode(DanteServer::kUser);
            http.SetSocksPassword(password);
            http.OnSocksAuthState = [&](TCustomWSocket*, TSocksAuthState s) { states.push_back(s); };
        };
    };
    EXPECT_EQ(ThreeMethods(route(DanteServer::kPassword)), kDirect);
    EXPECT_EQ(states.size(), 6u);
    EXPECT_EQ(states.front(), socksAuthStart);
    EXPECT_EQ(states.back(), socksAuthSuccess);

    const std::vector<std::string> refused = ThreeMethods(route("not-the-password"));
    EXPECT_EQ(refused[0], "failed: socks authentication failed (Error #20015)");
}

TEST_F(HttpCliProxies, RedirectionsKeepTheSocksRoute)
{
    if (!DanteServer::CanRun()) GTEST_SKIP() << "danted needs root and the dante-server package";
    DanteServer dante(false);
    ASSERT_TRUE(dante.Ready());
    THttpCli http;
    int socksConnected = 0;
    http.OnSocksConnected = [&](TCustomWSocket*, std::uint16_t) { ++socksConnected; };
    http.SetSocksServer("127.0.0.1");
    http.SetSocksPort(std::to_string(dante.Port()));
    std::ostringstream body;
    http.ReplyStream = &body;
    http.URL = origin_->Url("/redirect?n=2");
    http.Get();
    EXPECT_EQ(body.str(), "landed");
    EXPECT_EQ(socksConnected, 3);
    EXPECT_EQ(http.SocksServer(), "");  // the socket forgot it at the close
}

TEST_F(HttpCliProxies, Level4AAgainstAScriptedRelay)
{
    // The relay speaks 4A byte for byte: it takes the request, checks its form, grants it and
    // answers the HTTP request itself as the destination.
    TCustomWSocket listener;
    std::unique_ptr<TCustomWSocket> peer;
    std::string request, http;
    bool granted = false;
    listener.SetAddr("127.0.0.1");
    listener.SetPort("0");
    listener.OnSessionAvailable = [&](TCustomWSocket* sender, std::uint16_t) {
        peer = std::make_unique<TCustomWSocket>();
        peer->SetLingerOnOff(wsLingerOff);
        peer->OnDataAvailable = [&](TCustomWSocket* s, std::uint16_t) {
            const std::string bytes = s->ReceiveStr();
            if (!granted) {
                request += bytes;
                granted = true;
                s->SendStr(std::string("\0\x5A\0\0\0\0\0\0", 8));
                return;
            }
            http += bytes;
            if (http.find("\r\n\r\n") != std::string::npos) {
                s->SendStr("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nvia4a");
                s->Flush();
                s->Close();
            }
        };
        peer->Dup(sender->Accept());
    };
    listener.Listen();

    THttpCli client;
    client.SetSocksServer("127.0.0.1");
    client.SetSocksPort(listener.GetXPort());
    client.SetSocksLevel("4A");
    client.SetSocksUsercode("me");
    std::ostringstream body;
    client.ReplyStream = &body;
    client.URL = "http://far.example:8080/doc";
    client.Get();
    EXPECT_EQ(body.str(), "via4a");
    EXPECT_EQ(request, std::string("\4\1\x1F\x90\0\0\0\1me\0far.example\0", 23));
    EXPECT_EQ(http.rfind("GET /doc HTTP/1.0\r\n", 0), 0u);
    EXPECT_NE(http.find("Host: far.example\r\n"), std::string::npos);
}

TEST_F(HttpCliProxies, SocksFailuresAndAStalledProxyReachTheCaller)
{
    // A proxy that refuses the destination, and one that never answers the method offer.
    for (const bool stall : {false, true}) {
        TCustomWSocket listener;
        std::unique_ptr<TCustomWSocket> peer;
        int messages = 0;
        listener.SetAddr("127.0.0.1");
        listener.SetPort("0");
        listener.OnSessionAvailable = [&](TCustomWSocket* sender, std::uint16_t) {
            peer = std::make_unique<TCustomWSocket>();
            peer->OnDataAvailable = [&](TCustomWSocket* s, std::uint16_t) {
                s->ReceiveStr();
                if (stall) return;
                s->SendStr(++messages == 1 ? std::string("\5\0", 2) : std::string("\5\5\0\1\0\0\0\0\0\0", 10));
            };
            peer->Dup(sender->Accept());
        };
        listener.Listen();
        THttpCli client;
        client.SetSocksServer("127.0.0.1");
        client.SetSocksPort(listener.GetXPort());
        client.URL = origin_->Url("/hello");
        if (stall) loop_.AddOneShot(200ms, [&] { client.Abort(); });
        try {
            client.Get();
            ADD_FAILURE() << "no exception";
        } catch (const EHttpException& e) {
            EXPECT_EQ(e.ErrorCode(), 404);
            EXPECT_EQ(std::string(e.what()),
                      stall ? "Connection aborted on request" : "connection refused (Error #20008)");
        }
        EXPECT_EQ(client.RequestDoneError(), stall ? 3 : 20008);
    }
}
