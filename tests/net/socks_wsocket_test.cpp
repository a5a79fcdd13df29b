// The SOCKS layer against a scripted proxy in the test: each message the client sends is
// answered with the next scripted reply, byte for byte.
#include "net/socks_wsocket.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "net/line_wsocket.h"
#include "net/socks_errors.h"

using namespace corvane;
using namespace std::chrono_literals;

namespace {

std::string Bytes(std::initializer_list<int> values)
{
    std::string out;
    for (const int v : values) out += static_cast<char>(v);
    return out;
}

// A proxy on a free loopback port that plays a script: after the n-th message from the client
// it sends replies[n]; after the last reply it closes when told to.
struct ScriptedProxy {
    TCustomWSocket listener;
    std::unique_ptr<TCustomWSocket> peer;
    std::vector<std::string> replies;
    std::vector<std::string> received;  // one entry per message
    bool closeAfterLast = false;

    explicit ScriptedProxy(std::vector<std::string> script, bool close = false)
        : replies(std::move(script)),
          closeAfterLast(close)
    {
        listener.SetAddr("127.0.0.1");
        listener.SetPort("0");
        listener.OnSessionAvailable = [this](TCustomWSocket* sender, std::uint16_t) {
            peer = std::make_unique<TCustomWSocket>();
            peer->SetLingerOnOff(wsLingerOff);
            peer->OnDataAvailable = [this](TCustomWSocket* s, std::uint16_t) { Message(s->ReceiveStr()); };
            peer->Dup(sender->Accept());
            if (received.empty() && replies.size() > 0 && replies[0].rfind("!", 0) == 0) SendNext();
        };
        listener.Listen();
    }
    void Message(const std::string& bytes)
    {
        if (bytes.empty()) return;
        received.push_back(bytes);
        SendNext();
    }
    void SendNext()
    {
        const std::size_t index = received.size() - (replies[0].rfind("!", 0) == 0 ? 0 : 1);
        if (index < replies.size()) {
            std::string reply = replies[index];
            if (reply.rfind("!", 0) == 0) reply.erase(0, 1);
            if (!reply.empty()) peer->SendStr(reply);
            if (index + 1 == replies.size() && closeAfterLast) {
                peer->Flush();
                peer->Close();
            }
        }
    }
    std::string Port() { return listener.GetXPort(); }
};

// What the application saw of one connection through the proxy.
struct Seen {
    std::vector<std::string> events;
    std::string data;
    bool closed = false;
};

struct Client {
    TWSocket socket;
    Seen seen;

    Client()
    {
        socket.OnSocksConnected = [this](TCustomWSocket*, std::uint16_t e) { Add("SocksConnected", e); };
        socket.OnSocksError = [this](TCustomWSocket*, std::uint16_t e, const std::string& msg) {
            seen.events.push_back("SocksError " + std::to_string(e) + " " + msg);
        };
        socket.OnSocksAuthState = [this](TCustomWSocket*, TSocksAuthState s) {
            static const char* names[] = {"AuthStart", "AuthSuccess", "AuthFailure", "AuthNotRequired"};
            seen.events.push_back(names[s]);
        };
        socket.OnSessionConnected = [this](TCustomWSocket*, std::uint16_t e) { Add("SessionConnected", e); };
        socket.OnSessionClosed = [this](TCustomWSocket*, std::uint16_t e) {
            Add("SessionClosed", e);
            seen.closed = true;
        };
        socket.OnDataAvailable = [this](TCustomWSocket* s, std::uint16_t) {
            char buffer[100];  // small reads: held bytes and the stack's must both be drained
            const int count = s->Receive(buffer, sizeof buffer);
            if (count > 0) seen.data.append(buffer, static_cast<std::size_t>(count));
        };
    }
    void Add(const char* name, std::uint16_t error)
    {
        seen.events.push_back(std::string(name) + " " + std::to_string(error));
    }

    void ConnectThrough(ScriptedProxy& proxy, const std::string& level, const std::string& addr = "dest.example",
                        const std::string& port = "8080")
    {
        socket.SetSocksServer("127.0.0.1");
        socket.SetSocksPort(proxy.Port());
        socket.SetSocksLevel(level);
        socket.SetAddr(addr);
        socket.SetPort(port);
        socket.Connect();
    }
};

const std::string kGrant5 = Bytes({5, 0, 0, 1, 10, 1, 2, 3, 0x12, 0x34});
const std::string kGrant4 = Bytes({0, 90, 0, 0, 0, 0, 0, 0});

}  // namespace

TEST(SocksWSocket, PropertiesAndTheirChecks)
{
    EventLoop loop;
    TWSocket socket;
    EXPECT_EQ(socket.SocksLevel(), "5");
    socket.SetSocksLevel("4a");
    EXPECT_EQ(socket.SocksLevel(), "4A");
    try {
        socket.SetSocksLevel("6");
        ADD_FAILURE();
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "Invalid socks level. Must be 4, 4A or 5.");
    }
    socket.SetSocksServer("  127.0.0.1 ");
    EXPECT_EQ(socket.SocksServer(), "127.0.0.1");
    socket.SetAddr("127.0.0.1");
    socket.SetPort("0");
    try {
        socket.Listen();
        ADD_FAILURE();
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "Listening is not supported thru socks server");
    }
    socket.SetProto("udp");
    try {
        socket.Connect();
        ADD_FAILURE();
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "tcp is the only protocol supported thru socks server");
    }
}

TEST(SocksWSocket, SettingsAreFixedWhileOpenAndEmptiedByEveryClose)
{
    EventLoop loop;
    ScriptedProxy proxy({Bytes({5, 0}), kGrant5});
    Client client;
    client.socket.SetSocksUsercode("kept");
    client.ConnectThrough(proxy, "4A");
    EXPECT_THROW(client.socket.SetSocksServer("x"), ESocketException);
    EXPECT_THROW(client.socket.SetSocksPort("1"), ESocketException);
    EXPECT_THROW(client.socket.SetSocksLevel("5"), ESocketException);
    client.socket.Close();
    EXPECT_EQ(client.socket.SocksServer(), "");
    EXPECT_EQ(client.socket.SocksPort(), "");
    EXPECT_EQ(client.socket.SocksLevel(), "5");
    EXPECT_EQ(client.socket.SocksUsercode(), "kept");
}

TEST(SocksWSocket, WithoutAServerTheLayerIsTransparent)
{
    EventLoop loop;
    ScriptedProxy plain({"!hello"});
    Client client;
    client.socket.SetAddr("127.0.0.1");
    client.socket.SetPort(plain.Port());
    client.socket.Connect();
    ASSERT_TRUE(loop.RunUntil([&] { return client.seen.data == "hello"; }, 2000ms));
    EXPECT_EQ(client.seen.events, std::vector<std::string>{"SessionConnected 0"});
}

TEST(SocksWSocket, Level5GrantWithTheDestinationsBytesInTheSamePacket)
{
    EventLoop loop;
    const std::string behind(4000, 'd');  // more than the reply buffer holds
    ScriptedProxy proxy({Bytes({5, 0}), kGrant5 + behind});
    Client client;
    client.ConnectThrough(proxy, "5", "dest.example", "8080");
    ASSERT_TRUE(loop.RunUntil([&] { return client.seen.data.size() == behind.size(); }, 2000ms))
        << client.seen.data.size();
    EXPECT_EQ(client.seen.data, behind);
    EXPECT_EQ(client.seen.events, (std::vector<std::string>{"SocksConnected 0", "SessionConnected 0"}));
    EXPECT_EQ(proxy.received[0], Bytes({5, 1, 0}));
    EXPECT_EQ(proxy.received[1], Bytes({5, 1, 0, 3, 12}) + "dest.example" + Bytes({0x1F, 0x90}));
    EXPECT_EQ(client.socket.BoundAddr(), "10.1.2.3");
    EXPECT_EQ(client.socket.BoundPort(), "4660");
    EXPECT_EQ(client.socket.SocksState(), socksData);
}

TEST(SocksWSocket, Level5CarriesAnIpv6DestinationAndBoundAddress)
{
    EventLoop loop;
    const std::string bound = Bytes({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7});
    ScriptedProxy proxy({Bytes({5, 0}), Bytes({5, 0, 0, 4}) + bound + Bytes({0, 21}) + "x"});
    Client client;
    client.ConnectThrough(proxy, "5", "[::1]", "8080");
    ASSERT_TRUE(loop.RunUntil([&] { return client.seen.data == "x"; }, 2000ms));
    EXPECT_EQ(proxy.received[1], Bytes({5, 1, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x1F, 0x90}));
    EXPECT_EQ(client.socket.BoundAddr(), "2001:db8::7");
    EXPECT_EQ(client.socket.BoundPort(), "21");
}

TEST(SocksWSocket, GrantedDataReachesLineMode)
{
    EventLoop loop;
    ScriptedProxy proxy({Bytes({5, 0}), Bytes({5, 0, 0, 3, 4}) + "host" + Bytes({0, 80}) + "one\r\ntwo\r\n"});
    Client client;
    std::vector<std::string> lines;
    client.socket.SetLineMode(true);
    client.socket.OnDataAvailable = [&](TCustomWSocket* s, std::uint16_t) { lines.push_back(s->ReceiveStr()); };
    client.ConnectThrough(proxy, "5");
    ASSERT_TRUE(loop.RunUntil([&] { return lines.size() == 2; }, 2000ms));
    EXPECT_EQ(lines, (std::vector<std::string>{"one\r\n", "two\r\n"}));
    EXPECT_EQ(client.socket.BoundAddr(), "host");
    EXPECT_EQ(client.socket.BoundPort(), "80");
}

TEST(SocksWSocket, Level4And4ARequestsByteForByte)
{
    EventLoop loop;
    {
        ScriptedProxy proxy({kGrant4 + "data"});
        Client client;
        client.socket.SetSocksUsercode("bob");
        client.ConnectThrough(proxy, "4", "127.0.0.2", "80");
        ASSERT_TRUE(loop.RunUntil([&] { return client.seen.data == "data"; }, 2000ms));
        EXPECT_EQ(proxy.received[0], Bytes({4, 1, 0, 80, 127, 0, 0, 2}) + "bob" + Bytes({0}));
    }
    {
        ScriptedProxy proxy({kGrant4});
        Client client;
        client.ConnectThrough(proxy, "4A", "named.example", "21");
        ASSERT_TRUE(loop.RunUntil([&] { return client.seen.events.size() == 2; }, 2000ms));
        EXPECT_EQ(client.seen.events, (std::vector<std::string>{"SocksConnected 0", "SessionConnected 0"}));
        EXPECT_EQ(proxy.received[0], Bytes({4, 1, 0, 21, 0, 0, 0, 1, 0}) + "named.example" + Bytes({0}));
    }
}

TEST(SocksWSocket, EveryRefusalEndsWithItsCodeAndText)
{
    struct Case {
        std::string level;
        std::vector<std::string> script;
        int code;
        std::string text;
    } cases[] = {
        {"5", {Bytes({7, 0})}, 20002, "socks version error"},
        {"5", {Bytes({5, 0xFF})}, 20003, "authentification method not acceptable"},
        {"5", {Bytes({5, 2})}, 20003, "authentification method not acceptable"},  // not offered
        {"5", {std::string(4096, '\5')}, 20001, "too much data availaible"},
        {"5", {Bytes({5, 0}), Bytes({5, 1, 0, 1, 0, 0, 0, 0, 0, 0})}, 20004, "general SOCKS server failure"},
        {"5", {Bytes({5, 0}), Bytes({5, 2, 0, 1, 0, 0, 0, 0, 0, 0})}, 20005, "connection not allowed by ruleset"},
        {"5", {Bytes({5, 0}), Bytes({5, 3, 0, 1, 0, 0, 0, 0, 0, 0})}, 20006, "network unreachable"},
        {"5", {Bytes({5, 0}), Bytes({5, 4, 0, 1, 0, 0, 0, 0, 0, 0})}, 20007, "host unreachable"},
        {"5", {Bytes({5, 0}), Bytes({5, 5, 0, 1, 0, 0, 0, 0, 0, 0})}, 20008, "connection refused"},
        {"5", {Bytes({5, 0}), Bytes({5, 6, 0, 1, 0, 0, 0, 0, 0, 0})}, 20009, "time to live expired"},
        {"5", {Bytes({5, 0}), Bytes({5, 7, 0, 1, 0, 0, 0, 0, 0, 0})}, 20010, "command not supported"},
        {"5", {Bytes({5, 0}), Bytes({5, 8, 0, 1, 0, 0, 0, 0, 0, 0})}, 20011, "address type not supported"},
        {"5", {Bytes({5, 0}), Bytes({5, 9, 0, 1, 0, 0, 0, 0, 0, 0})}, 20012, "unassigned error #9"},
        {"5", {Bytes({5, 0}), Bytes({7, 0, 0, 1, 0, 0, 0, 0, 0, 0})}, 20002, "socks version error"},
        {"5", {Bytes({5, 0}), Bytes({5, 0, 0, 5}) + std::string(18, '\0')}, 20011, "address type not supported"},
        {"5", {Bytes({5, 0}), Bytes({5, 0, 0, 3, 200}) + std::string(202, 'n')}, 20014, "socks reply too long"},
        {"4", {Bytes({0, 91, 0, 0, 0, 0, 0, 0})}, 20016, "request rejected or failed"},
        {"4", {Bytes({0, 92, 0, 0, 0, 0, 0, 0})}, 20008, "connection refused"},
        {"4", {Bytes({0, 93, 0, 0, 0, 0, 0, 0})}, 20015, "authentification failed"},
        {"4A", {Bytes({0, 99, 0, 0, 0, 0, 0, 0})}, 20012, "unassigned error #99"},
        {"4", {Bytes({7, 90, 0, 0, 0, 0, 0, 0})}, 20002, "socks version error"},
    };
    for (const Case& c : cases) {
        EventLoop loop;
        ScriptedProxy proxy(c.script);
        Client client;
        client.ConnectThrough(proxy, c.level, "127.0.0.3");
        ASSERT_TRUE(loop.RunUntil([&] { return client.seen.closed; }, 2000ms)) << c.text;
        const std::string code = std::to_string(c.code);
        EXPECT_EQ(client.seen.events, (std::vector<std::string>{"SocksConnected 0", "SocksError " + code + " " + c.text,
                                                                "SessionConnected " + code, "SessionClosed " + code}))
            << c.text;
        EXPECT_EQ(client.socket.SocksServer(), "");
        EXPECT_EQ(client.seen.data, "");
    }
}

TEST(SocksWSocket, AProxyThatClosesOrStopsMidNegotiation)
{
    EventLoop loop;
    ScriptedProxy proxy({Bytes({5})}, /*close=*/true);
    Client client;
    client.ConnectThrough(proxy, "5");
    ASSERT_TRUE(loop.RunUntil([&] { return client.seen.closed; }, 2000ms));
    EXPECT_EQ(client.seen.events,
              (std::vector<std::string>{"SocksConnected 0",
                                        "SocksError 10053 socks server closed the connection during negotiation",
                                        "SessionConnected 10053", "SessionClosed 10053"}));

    Client refused;
    refused.socket.SetSocksServer("127.0.0.1");
    refused.socket.SetSocksPort(std::to_string(std::stoi(proxy.Port())));
    proxy.listener.Close();
    refused.socket.SetAddr("x");
    refused.socket.SetPort("80");
    refused.socket.Connect();
    ASSERT_TRUE(loop.RunUntil([&] { return refused.seen.closed; }, 2000ms));
    EXPECT_EQ(refused.seen.events.at(0), "SocksConnected 10061");
    EXPECT_EQ(refused.seen.events.at(1), "SessionConnected 10061");
}

TEST(SocksWSocket, UserCodeAndPasswordAuthentication)
{
    struct Case {
        std::vector<std::string> script;
        bool closes;
        std::vector<std::string> events;
    } cases[] = {
        {{Bytes({5, 2}), Bytes({1, 0}), kGrant5},
         false,
         {"SocksConnected 0", "AuthStart", "AuthSuccess", "SessionConnected 0"}},
        {{Bytes({5, 0}), kGrant5}, false, {"SocksConnected 0", "AuthNotRequired", "SessionConnected 0"}},
        {{Bytes({5, 2}), Bytes({1, 1})},
         false,
         {"SocksConnected 0", "AuthStart", "SocksError 20015 socks authentication failed", "SessionConnected 20015",
          "SessionClosed 20015"}},
        {{Bytes({5, 2}), Bytes({1, 0, 0})},
         false,
         {"SocksConnected 0", "AuthStart", "SocksError 20001 too much data availaible", "SessionConnected 20001",
          "SessionClosed 20001"}},
        {{Bytes({5, 2}), Bytes({2, 0})},
         false,
         {"SocksConnected 0", "AuthStart", "SocksError 20002 socks version error", "SessionConnected 20002",
          "SessionClosed 20002"}},
        {{Bytes({5, 2}), ""},
         true,
         {"SocksConnected 0", "AuthStart", "AuthFailure",
          "SocksError 10053 socks server closed the connection during negotiation", "SessionConnected 10053",
          "SessionClosed 10053"}},
    };
    for (const Case& c : cases) {
        EventLoop loop;
        ScriptedProxy proxy(c.script, c.closes);
        Client client;
        client.socket.SetSocksAuthentication(socksAuthenticateUsercode);
        client.socket.SetSocksUsercode("user");
        client.socket.SetSocksPassword("secret");
        client.ConnectThrough(proxy, "5");
        ASSERT_TRUE(loop.RunUntil([&] { return client.seen.events.size() >= c.events.size(); }, 2000ms))
            << c.events.back();
        EXPECT_EQ(client.seen.events, c.events);
        EXPECT_EQ(proxy.received[0], Bytes({5, 1, 2}));
        if (c.script[0] == Bytes({5, 2})) {
            ASSERT_GE(proxy.received.size(), 2u);
            EXPECT_EQ(proxy.received[1], Bytes({1, 4}) + "user" + Bytes({6}) + "secret");
        }
    }
}

TEST(SocksWSocket, FieldsTooLongOrUnresolvableFailBeforeAnythingIsSent)
{
    struct Case {
        std::string level;
        std::string user, password, addr;
        bool authenticate;
        int code;
        std::string text;
    } cases[] = {
        {"5", std::string(256, 'u'), "p", "dest", true, 20014, "socks user code or password too long"},
        {"5", "u", std::string(256, 'p'), "dest", true, 20014, "socks user code or password too long"},
        {"5", "", "", std::string(256, 'h'), false, 20014, "socks destination name too long"},
        {"4A", "", "", std::string(256, 'h'), false, 20014, "socks destination name too long"},
        {"4", std::string(256, 'u'), "", "127.0.0.1", false, 20014, "socks user code too long"},
        {"4", "", "", "::1", false, 20011, "socks 4 cannot carry an IPv6 destination; use socks 5"},
        {"4A", "", "", "2001:db8::1", false, 20011, "socks 4A cannot carry an IPv6 destination; use socks 5"},
        {"4", "", "", "no-such-host.invalid", false, 20017,
         "ESocketException WSocketResolveHost: Cannot convert host address 'no-such-host.invalid', Error #11001"},
    };
    for (const Case& c : cases) {
        EventLoop loop;
        ScriptedProxy proxy({Bytes({5, 2}), Bytes({1, 0}), kGrant5});
        Client client;
        client.socket.SetSocksUsercode(c.user);
        client.socket.SetSocksPassword(c.password);
        if (c.authenticate) client.socket.SetSocksAuthentication(socksAuthenticateUsercode);
        client.ConnectThrough(proxy, c.level, c.addr);
        ASSERT_TRUE(loop.RunUntil([&] { return client.seen.closed; }, 5000ms)) << c.text;
        const std::string code = std::to_string(c.code);
        EXPECT_EQ(client.seen.events, (std::vector<std::string>{"SocksConnected 0", "SocksError " + code + " " + c.text,
                                                                "SessionConnected " + code, "SessionClosed " + code}));
        loop.RunUntil([] { return false; }, 50ms);
        EXPECT_TRUE(proxy.received.empty()) << c.text;
    }
}
