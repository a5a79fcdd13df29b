// The FTP engine's command lines and dispatcher: each input is the byte stream of one client's
// control connection. A real TFtpServer on 127.0.0.1 in this process accepts the connection;
// the input is sent whole, the sending side is shut, and the loop runs until the server has
// answered, closed and freed the client. So the line reader (line ends, over-long lines, NUL
// bytes), the telnet escapes, the command split, the table and every handler run as they run
// for a real client, with and without a login: user "fuzz", password "fuzz" logs in, any other
// pair is refused. Drive C: is a scratch folder, emptied after each input.
//
// Active data connections (PORT) are all sent to a sink of this process, which reads whatever
// comes and sends nothing, so no input can make the engine connect elsewhere. Passive ones are
// never connected: the transfer waits until the control connection goes.
//
// Checked: no crash or sanitizer report; every reply line starts with a three-digit code and a
// space or "-" (inside a reply of several lines, a line may instead begin with a blank); the
// server closes the connection and frees the client within five seconds; and nothing a client
// sends makes the server thread look up a host name (a lookup waits for the resolver while
// every other client waits): getaddrinfo is taken over below and refuses every text that is
// not a numeric address.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "ftp/ftp_server.h"
#include "platform/drive_map.h"
#include "platform/event_loop.h"

using namespace corvane;
using namespace std::chrono_literals;

namespace {

constexpr std::size_t kMaxInput = 16384;

[[noreturn]] void Fail(const char* what, const std::string& detail)
{
    std::fprintf(stderr, "fuzz_ftp_command_line: %s\n%s\n", what, detail.c_str());
    std::abort();
}

int ListenOnLoopback(int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        Fail("cannot listen", "");
    port = ntohs(address.sin_port);
    return fd;
}

// Where every active data connection goes: accepted, told at once that nothing will come (an
// upload ends empty), read until the engine closes it.
class DataSink {
public:
    explicit DataSink(EventLoop& loop)
        : loop_(loop)
    {
        listenFd_ = ListenOnLoopback(port_);
        loop_.WatchFd(listenFd_, EventLoop::IoReadable, [this](std::uint32_t) { Accept(); });
    }
    int Port() const { return port_; }

private:
    // Acknowledged at once: a delayed acknowledgement would hold each transfer's last small
    // segment back by 40 ms, and the fuzzer's pace with it.
    static void QuickAck(int fd)
    {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
    }

    void Accept()
    {
        for (;;) {
            const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) return;
            ::shutdown(fd, SHUT_WR);
            QuickAck(fd);
            loop_.WatchFd(fd, EventLoop::IoReadable, [this, fd](std::uint32_t) {
                char buffer[65536];
                const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
                QuickAck(fd);
                if (got > 0 || (got < 0 && errno == EAGAIN)) return;
                loop_.UnwatchFd(fd);
                ::close(fd);
            });
        }
    }

    EventLoop& loop_;
    int listenFd_ = -1;
    int port_ = 0;
};

struct Harness {
    std::filesystem::path driveC;
    EventLoop loop;
    TFtpServer server;
    DataSink sink{loop};
    int port = 0;

    Harness()
    {
        driveC = std::filesystem::temp_directory_path() / ("corvane-fuzz-ftp-" + std::to_string(::getpid()));
        std::filesystem::create_directories(driveC);
        DriveMap::Configure({{'C', driveC.string()}}, driveC.string());
        server.OnClientConnect = [](TFtpServer*, TFtpCtrlSocket* client, std::uint16_t) {
            client->SetHomeDirectory("C:\\");
            client->SetDirectory("C:\\");
        };
        server.OnAuthenticate = [](TFtpServer*, TFtpCtrlSocket*, const std::string& user, const std::string& password,
                                   bool& authenticated,
                                   std::string&) { authenticated = user == "fuzz" && password == "fuzz"; };
        // Whatever PORT named, the data connection goes to the sink.
        server.OnClientCommand = [this](TFtpServer*, TFtpCtrlSocket* client, std::string&, std::string&, std::string&) {
            TFtpDataChannel& channel = client->DataChannel();
            if (!channel.PassiveRequested() && !channel.ClientDataPort().empty())
                channel.SetClientTarget("127.0.0.1", std::to_string(sink.Port()));
        };
        server.SetAddr("127.0.0.1");
        server.SetPort("0");
        server.Start();
        if (!server.Active()) Fail("the server did not start", "");
        port = std::stoi(server.ServerWSocket().GetXPort());
    }

    int Connect() const
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            Fail("cannot connect", "");
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        return fd;
    }

    void EmptyDriveC() const
    {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(driveC, error))
            std::filesystem::remove_all(entry.path(), error);
    }
};

Harness& TheHarness()
{
    static Harness* harness = new Harness();  // lives until the process ends
    return *harness;
}

// A line is coded (three digits, then a blank or "-"), or, inside a reply of several lines
// (from "ddd-" to "ddd "), a continuation line that begins with a blank, as FEAT's feature
// lines and MLST's facts line do: a client can never take one for a reply of its own.
void CheckReplyLines(const std::string& replies, const std::string& input)
{
    std::size_t start = 0;
    std::string openCode;  // the code of the reply of several lines being read
    for (std::size_t end = replies.find("\r\n"); end != std::string::npos; end = replies.find("\r\n", start)) {
        const std::string line = replies.substr(start, end - start);
        start = end + 2;
        const bool coded = line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                           std::isdigit(static_cast<unsigned char>(line[1])) &&
                           std::isdigit(static_cast<unsigned char>(line[2])) && (line[3] == ' ' || line[3] == '-');
        if (!coded) {
            if (openCode.empty() || line.empty() || line[0] != ' ')
                Fail("a reply line without its code", "line: " + line + "\ninput: " + input);
            continue;
        }
        if (line[3] == '-' && openCode.empty()) openCode = line.substr(0, 3);
        if (line[3] == ' ' && line.compare(0, 3, openCode) == 0) openCode.clear();
    }
}

}  // namespace

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result)
{
    in6_addr numeric{};
    if (node != nullptr && ::inet_pton(AF_INET, node, &numeric) != 1 && ::inet_pton(AF_INET6, node, &numeric) != 1)
        Fail("a host name looked up on the server thread", node);
    using Real = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "getaddrinfo"));
    return real(node, service, hints, result);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > kMaxInput) return -1;
    Harness& h = TheHarness();
    const std::string input(reinterpret_cast<const char*>(data), size);
    const int fd = h.Connect();

    std::string replies;
    bool closed = false;
    std::size_t sent = 0;
    bool shut = false;
    auto exchange = [&](std::uint32_t) {
        while (sent < input.size()) {
            const ssize_t n = ::send(fd, input.data() + sent, input.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
        if (sent == input.size() && !shut) {
            ::shutdown(fd, SHUT_WR);
            shut = true;
        }
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got > 0) {
                replies.append(buffer, static_cast<std::size_t>(got));
                continue;
            }
            if (got == 0 || errno != EAGAIN) closed = true;
            break;
        }
        if (closed) h.loop.UnwatchFd(fd);
        else h.loop.ModifyFd(fd, EventLoop::IoReadable | (shut ? 0 : EventLoop::IoWritable));
    };
    h.loop.WatchFd(fd, EventLoop::IoReadable | EventLoop::IoWritable, exchange);
    const bool ended = h.loop.RunUntil([&] { return closed && h.server.ClientCount() == 0; }, 5000ms);
    if (!closed) h.loop.UnwatchFd(fd);
    ::close(fd);
    if (!ended)
        Fail(closed ? "the client was not freed after its connection closed"
                    : "the server did not close the connection",
             "input: " + input + "\nreplies: " + replies);
    h.loop.ProcessMessages();  // the posted frees
    CheckReplyLines(replies, input);
    h.EmptyDriveC();
    return 0;
}
