// The HTTP client's reply parsing and the SOCKS layer's reading of a proxy's replies: a peer on
// loopback inside the fuzz process answers every connection with the input's bytes, as an
// origin server or as a SOCKS proxy, and a synchronous GET must come back, whatever it got.
//
// The input's first byte picks the route: 0 straight to the origin, 1 through a SOCKS 5 proxy,
// 2 through SOCKS 4, 3 through SOCKS 4A (any other value: straight). The rest is sent to the
// client as soon as it has sent its first bytes; through a proxy those bytes are its replies
// and then the origin's reply behind them. Redirections are never followed (they could name
// another host), and the peer closes after sending.
//
// Checked: the GET returns (a hang is the fuzzer's time-out), and a success carries a status
// of three digits at most as read from the reply ("020" is read as 20, as the reply gives it).
#include <netinet/in.h>
#include <sys/socket.h>
#include <poll.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "net/http_cli.h"
#include "platform/event_loop.h"
#include "platform/host_signals.h"

using namespace corvane;

namespace {

// Answers each connection with the current reply: waits a little for the client's first bytes
// (reads what has come), sends the reply, and closes.
class ReplyingPeer {
public:
    ReplyingPeer()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 16) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::perror("fuzz_http_reply: listening peer");
            std::abort();
        }
        port_ = ntohs(address.sin_port);
        std::thread([this] { Serve(); }).detach();  // lives as long as the fuzzing process
    }
    int Port() const { return port_; }
    void SetReply(std::string reply)
    {
        std::lock_guard lock(mutex_);
        reply_ = std::move(reply);
    }

private:
    void Serve()
    {
        for (;;) {
            const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) continue;
            pollfd ready{connection, POLLIN, 0};
            char sink[4096];
            if (::poll(&ready, 1, 200) > 0) (void)::recv(connection, sink, sizeof sink, MSG_DONTWAIT);
            std::string reply;
            {
                std::lock_guard lock(mutex_);
                reply = reply_;
            }
            std::size_t sent = 0;
            while (sent < reply.size()) {
                const ssize_t n = ::send(connection, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += static_cast<std::size_t>(n);
            }
            ::shutdown(connection, SHUT_WR);
            while (::poll(&ready, 1, 100) > 0 && ::recv(connection, sink, sizeof sink, 0) > 0) {}
            ::close(connection);
        }
    }

    int listener_ = -1;
    int port_ = 0;
    std::mutex mutex_;
    std::string reply_;  // guarded by mutex_
};

[[noreturn]] void Fail(const char* what, const std::string& detail)
{
    std::fprintf(stderr, "fuzz_http_reply: %s\n%s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool quiet = (IgnoreConnectionFaultSignals(), true);
    (void)quiet;
    static EventLoop loop;
    static ReplyingPeer peer;
    if (size == 0) return 0;
    const int route = data[0];
    peer.SetReply(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));

    THttpCli http;
    const std::string port = std::to_string(peer.Port());
    if (route >= 1 && route <= 3) {
        http.SetSocksServer("127.0.0.1");
        http.SetSocksPort(port);
        http.SetSocksLevel(route == 1 ? "5" : route == 2 ? "4" : "4A");
        http.URL = "http://127.0.0.1:" + port + "/document";
    } else {
        http.URL = "http://127.0.0.1:" + port + "/document";
    }
    // A redirection is never followed: it could name another host.
    http.OnLocationChange = [](THttpCli* sender) { sender->Abort(); };
    std::ostringstream body;
    http.ReplyStream = &body;
    bool failed = false;
    try {
        http.Get();
    } catch (const EHttpException&) {
        failed = true;
    }
    const int status = http.StatusCode();
    if (!failed && (status < 0 || status > 999))
        Fail("a successful GET with a status that is no three-digit number", std::to_string(status));
    return 0;
}
