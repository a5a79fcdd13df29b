// The socket layer's secure channel over real loopback connections, both ends this program's:
// the handshake and data in both directions (records larger than one read, a file sent through
// the channel), resumption of an earlier session, and the faults a server meets: a handshake of
// garbage, a peer that goes silent in the middle of one, and a peer that asks to renegotiate.
#include <fcntl.h>
#include <openssl/ssl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "net/custom_wsocket.h"
#include "platform/byte_pattern.h"
#include "platform/scratch_folder.h"
#include "platform/send_file.h"
#include "platform/win_errors.h"
#include "tls/tls_channel.h"
#include "tls/tls_context.h"

using namespace corvane;
using namespace std::chrono_literals;

namespace {

std::string Pattern(std::size_t size) { return corvane::testing::BytePattern(size); }

// One end of a connection: what it reads, whether it closed, the outcome of its handshake.
struct End {
    std::unique_ptr<TCustomWSocket> socket = std::make_unique<TCustomWSocket>();
    std::string received;
    bool closed = false;
    int ready = -1;  // the handshake's outcome, -1 while none came

    void Watch()
    {
        socket->OnDataAvailable = [this](TCustomWSocket* s, std::uint16_t) {
            char buffer[4096];  // smaller than a record: the channel keeps the rest
            const int count = s->Receive(buffer, sizeof buffer);
            if (count > 0) received.append(buffer, static_cast<std::size_t>(count));
        };
        socket->OnSessionClosed = [this](TCustomWSocket*, std::uint16_t) { closed = true; };
        socket->OnSecureChannelReady = [this](TCustomWSocket*, std::uint16_t error) { ready = error; };
    }
};

class SecureChannelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        ASSERT_TRUE(WriteSelfSignedPair(scratch.Join("c.crt"), scratch.Join("c.key"), "test-host", why)) << why;
        serverContext = TTlsContext::ForServer(scratch.Join("c.crt"), scratch.Join("c.key"), why);
        ASSERT_TRUE(serverContext) << why;
        clientContext = TTlsContext::ForClient(why);
        ASSERT_TRUE(clientContext) << why;
        listener.SetAddr("127.0.0.1");
        listener.SetPort("0");
        listener.OnSessionAvailable = [this](TCustomWSocket* s, std::uint16_t) {
            server->socket->SetLingerOnOff(wsLingerOff);
            server->socket->Dup(s->Accept());
            server->Watch();
            accepted = true;
        };
        listener.Listen();
    }

    // Connects a plain client, then both ends start their channels (the client's resuming
    // the session of `resumeFrom` when given).
    void ConnectSecure(End& client, const TSecureChannel* resumeFrom = nullptr,
                       std::chrono::milliseconds limit = 5000ms)
    {
        ConnectPlain(client);
        server->socket->StartSecureChannel(serverContext->NewChannel(server->socket->HSocket()), limit);
        client.socket->StartSecureChannel(clientContext->NewChannel(client.socket->HSocket(), resumeFrom), limit);
        ASSERT_TRUE(WaitFor([&] { return server->ready >= 0 && client.ready >= 0; }));
        ASSERT_EQ(server->ready, 0);
        ASSERT_EQ(client.ready, 0);
    }

    void ConnectPlain(End& client)
    {
        accepted = false;
        bool connected = false;
        client.Watch();
        client.socket->OnSessionConnected = [&](TCustomWSocket*, std::uint16_t) { connected = true; };
        client.socket->SetLingerOnOff(wsLingerOff);
        client.socket->SetAddr("127.0.0.1");
        client.socket->SetPort(listener.GetXPort());
        client.socket->Connect();
        ASSERT_TRUE(WaitFor([&] { return connected && accepted; }));
    }

    bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10000ms)
    {
        return loop.RunUntil(done, timeout);
    }

    EventLoop loop;
    corvane::testing::ScratchFolder scratch;
    std::shared_ptr<TTlsContext> serverContext, clientContext;
    TCustomWSocket listener;
    std::unique_ptr<End> server = std::make_unique<End>();
    std::vector<std::unique_ptr<End>> earlierServers;  // kept open while a test still uses them
    void NextServer()
    {
        earlierServers.push_back(std::move(server));
        server = std::make_unique<End>();
    }
    bool accepted = false;
};

TEST_F(SecureChannelTest, CarriesDataBothWaysAndAFileThroughTheChannel)
{
    End client;
    ConnectSecure(client);
    EXPECT_TRUE(client.socket->Secure());
    EXPECT_EQ(server->socket->SecureChannel()->Version(), "TLSv1.3");

    // Far more than the stack and one record hold: partial sends and held records both happen.
    const std::string up = Pattern(3 * 1024 * 1024), down = Pattern(2 * 1024 * 1024 + 17);
    client.socket->Send(up.data(), static_cast<int>(up.size()));
    server->socket->Send(down.data(), static_cast<int>(down.size()));
    ASSERT_TRUE(WaitFor([&] { return server->received.size() >= up.size() && client.received.size() >= down.size(); }));
    EXPECT_TRUE(server->received == up);
    EXPECT_TRUE(client.received == down);

    // A file: without kernel offload it is read here and encrypted by the channel.
    const std::string content = Pattern(1024 * 1024 + 5);
    scratch.Put("f.bin", content);
    const int file = ::open(scratch.Join("f.bin").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(file, 0);
    client.received.clear();
    ASSERT_EQ(server->socket->SendFile(file, 5, static_cast<long long>(content.size())),
              static_cast<long long>(content.size()));
    ASSERT_TRUE(WaitFor([&] { return client.received.size() >= content.size() - 5; }));
    EXPECT_TRUE(client.received == content.substr(5));
    EXPECT_EQ(server->socket->FileBytesSent(), static_cast<long long>(content.size() - 5));
    const auto path = server->socket->LastFileSendPath();
    EXPECT_EQ(path, server->socket->SecureChannel()->KernelSends()
                        ? TCustomWSocket::FileSendPath::KernelEncrypted
                        : TCustomWSocket::FileSendPath::CopiedThroughChannel);
    if (!sockapi::KernelTlsAvailable()) {
        EXPECT_EQ(path, TCustomWSocket::FileSendPath::CopiedThroughChannel);
    }
    ::close(file);

    // The close sends the closing alert: the peer reads the end of the stream, not an error.
    server->socket->Close();
    ASSERT_TRUE(WaitFor([&] { return client.closed; }));
}

TEST_F(SecureChannelTest, ASecondConnectionResumesTheFirstSession)
{
    End first;
    ConnectSecure(first);
    // TLS 1.3 hands its session tickets over after the handshake: one exchange brings them.
    first.socket->SendStr("ping");
    server->socket->SendStr("pong");
    ASSERT_TRUE(WaitFor([&] { return first.received == "pong" && server->received == "ping"; }));
    EXPECT_FALSE(first.socket->SecureChannel()->Resumed());

    NextServer();
    End second;
    ConnectSecure(second, first.socket->SecureChannel());
    EXPECT_TRUE(second.socket->SecureChannel()->Resumed());
    EXPECT_TRUE(server->socket->SecureChannel()->Resumed());
}

// A handshake that cannot succeed ends in the error it names, the socket closed, and with the
// owner's bytes queued meanwhile never sent in the clear.
TEST_F(SecureChannelTest, FailedHandshakesCloseWithTheirReason)
{
    struct Case {
        const char* name;
        std::string clientSends;  // in the clear; empty: the client goes silent
        std::uint16_t error;
    };
    const Case cases[] = {
        {"garbage", "GET / HTTP/1.0\r\n\r\n", WSAECONNABORTED},
        {"an unfinished hello", std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11), WSAETIMEDOUT},
        {"silence", "", WSAETIMEDOUT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NextServer();
        End client;
        ConnectPlain(client);
        server->socket->StartSecureChannel(serverContext->NewChannel(server->socket->HSocket()), 300ms);
        server->socket->SendStr("secret that must not leak");
        if (!c.clientSends.empty()) client.socket->SendStr(c.clientSends);
        ASSERT_TRUE(WaitFor([&] { return server->ready >= 0 && server->closed; }));
        EXPECT_EQ(server->ready, c.error);
        EXPECT_EQ(server->socket->State(), wsClosed);
        ASSERT_TRUE(WaitFor([&] { return client.closed; }));
        EXPECT_EQ(client.received.find("secret"), std::string::npos);
    }
}

TEST_F(SecureChannelTest, RenegotiationIsRefusedAndNeverCompletes)
{
    End client;
    ConnectPlain(client);
    auto channel = clientContext->NewChannel(client.socket->HSocket());
    SSL* ssl = static_cast<TTlsChannel*>(channel.get())->Handle();
    SSL_set_max_proto_version(ssl, TLS1_2_VERSION);   // TLS 1.3 has no renegotiation at all
    SSL_clear_options(ssl, SSL_OP_NO_RENEGOTIATION);  // this client asks for one
    server->socket->StartSecureChannel(serverContext->NewChannel(server->socket->HSocket()), 5000ms);
    client.socket->StartSecureChannel(std::move(channel), 5000ms);
    ASSERT_TRUE(WaitFor([&] { return server->ready == 0 && client.ready == 0; }));
    EXPECT_EQ(server->socket->SecureChannel()->Version(), "TLSv1.2");

    ASSERT_EQ(SSL_renegotiate(ssl), 1);
    client.socket->SendStr("after");  // carries the renegotiation request out
    ASSERT_TRUE(WaitFor([&] { return server->received == "after" || server->closed; }));
    // Refused: the server either ends the connection or goes on under the first handshake;
    // a second one never completes.
    loop.RunUntil([] { return false; }, 300ms);
    if (!server->closed) {
        SSL* serverSsl = static_cast<TTlsChannel*>(server->socket->SecureChannel())->Handle();
        EXPECT_EQ(SSL_num_renegotiations(serverSsl), 0);
    }
    if (!client.closed) {
        EXPECT_EQ(SSL_renegotiate_pending(ssl), 1);
    }
    // The server goes on serving: a new connection makes its handshake as before.
    NextServer();
    End next;
    ConnectSecure(next);
}

}  // namespace
