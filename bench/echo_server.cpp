// Echo service on TWSocketServer, measured from plain client sockets.
//
// The server runs on a thread of its own with its own EventLoop, as the program's servers do;
// the benchmark thread is the client side, on blocking or polled POSIX sockets over 127.0.0.1.
//   BM_ThousandConnections   1,000 connections held at once, each echoing one message
//   BM_EchoThroughput        aggregate echo throughput with 64 KiB messages (bytes_per_second)
//   BM_IdleConnectionMemory  server memory per idle connection (heap and resident bytes)
#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "net/wsocket_server.h"

namespace {

using namespace corvane;
using namespace std::chrono_literals;

constexpr int kMessageSize = 64 * 1024;

// ---- the server side ---------------------------------------------------------------------------

class EchoService {
public:
    EchoService()
    {
        std::promise<int> listening;
        auto port = listening.get_future();
        thread_ = std::thread([this, &listening] { Run(listening); });
        port_ = port.get();
    }
    ~EchoService()
    {
        while (!EventLoop::PostToThread(thread_.get_id(), [] { EventLoop::Current()->Quit(); }))
            std::this_thread::sleep_for(1ms);
        thread_.join();
    }
    EchoService(const EchoService&) = delete;
    EchoService& operator=(const EchoService&) = delete;

    int Port() const { return port_; }
    int Clients() const { return clients_.load(); }
    long long Accepted() const { return accepted_.load(); }

    // Waits until the server holds exactly `count` clients.
    bool WaitClients(int count, std::chrono::milliseconds limit = 10s) const
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (clients_.load() != count) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(100us);
        }
        return true;
    }

private:
    void Run(std::promise<int>& listening)
    {
        EventLoop loop;
        TWSocketServer server;
        server.SetBanner("");  // an echo service greets nobody
        server.SetAddr("127.0.0.1");
        server.SetPort("0");
        std::vector<char> buffer(kMessageSize);
        server.OnClientConnect = [this, &buffer](TCustomWSocketServer*, TWSocketClient* client, std::uint16_t) {
            ++accepted_;
            ++clients_;
            client->OnDataAvailable = [&buffer](TCustomWSocket* sender, std::uint16_t) {
                const int count = sender->Receive(buffer.data(), static_cast<int>(buffer.size()));
                if (count > 0) sender->Send(buffer.data(), count);
            };
        };
        server.OnClientDisconnect = [this](TCustomWSocketServer*, TWSocketClient*, std::uint16_t) { --clients_; };
        server.Listen();
        listening.set_value(std::stoi(server.GetXPort()));
        loop.MessageLoop();
    }

    std::thread thread_;
    int port_ = 0;
    std::atomic<int> clients_{0};
    std::atomic<long long> accepted_{0};
};

// ---- the client side ---------------------------------------------------------------------------

[[noreturn]] void Fail(const char* what) { throw std::runtime_error(std::string(what) + ": " + std::strerror(errno)); }

int ConnectBlocking(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) Fail("socket");
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) Fail("connect");
    return fd;
}

void SendAll(int fd, const char* data, std::size_t len)
{
    while (len > 0) {
        const ssize_t n = ::send(fd, data, len, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) Fail("send");
        data += n;
        len -= static_cast<std::size_t>(n);
    }
}

void ReceiveAll(int fd, char* data, std::size_t len)
{
    while (len > 0) {
        const ssize_t n = ::recv(fd, data, len, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) Fail("recv");
        data += n;
        len -= static_cast<std::size_t>(n);
    }
}

// The server's listen backlog is small (5); a client that runs far ahead of the accepts would
// have its handshakes dropped and retried a second later, so connecting keeps just ahead.
std::vector<int> OpenConnections(const EchoService& service, int count)
{
    std::vector<int> fds;
    fds.reserve(static_cast<std::size_t>(count));
    const long long acceptedBefore = service.Accepted();
    for (int i = 0; i < count; ++i) {
        while (static_cast<long long>(fds.size()) - (service.Accepted() - acceptedBefore) >= 4)
            std::this_thread::yield();
        fds.push_back(ConnectBlocking(service.Port()));
    }
    return fds;
}

void CloseConnections(std::vector<int>& fds)
{
    for (int fd : fds) ::close(fd);
    fds.clear();
}

long long ResidentBytes()
{
    long long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%lld %lld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return resident * ::sysconf(_SC_PAGESIZE);
}

long long HeapBytes()
{
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<long long>(info.uordblks + info.hblkhd);
}

// ---- the benchmarks ------------------------------------------------------------------------------

// All connect, then each sends one message and reads its echo while all are held; then all close.
void BM_ThousandConnections(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    EchoService service;
    const std::string message = "echo me, 32 bytes of message...\n";
    std::string reply(message.size(), '\0');
    for (auto _ : state) {
        std::vector<int> fds = OpenConnections(service, count);
        if (!service.WaitClients(count)) state.SkipWithError("the server did not take every connection");
        for (int fd : fds) SendAll(fd, message.data(), message.size());
        for (int fd : fds) {
            ReceiveAll(fd, reply.data(), reply.size());
            if (reply != message) state.SkipWithError("wrong echo");
        }
        CloseConnections(fds);
        if (!service.WaitClients(0)) state.SkipWithError("the server did not drop every connection");
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["connections"] = count;
}
BENCHMARK(BM_ThousandConnections)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Each connection keeps `window` 64 KiB messages in flight; the echo of every byte is checked
// by count and the bytes echoed back are the throughput.
void BM_EchoThroughput(benchmark::State& state)
{
    const int connections = static_cast<int>(state.range(0));
    const int window = 4;
    const long long messagesPerRound = 64;  // per connection, per benchmark iteration
    EchoService service;
    std::vector<int> fds = OpenConnections(service, connections);
    service.WaitClients(connections);
    for (int fd : fds) {
        const int size = 1 << 20;
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    std::vector<char> out(kMessageSize, 'e');
    std::vector<char> in(kMessageSize);
    const long long roundBytes = messagesPerRound * kMessageSize;
    long long echoed = 0;
    for (auto _ : state) {
        std::vector<long long> sent(fds.size(), 0), received(fds.size(), 0);
        std::vector<pollfd> polls(fds.size());
        std::size_t done = 0;
        while (done < fds.size()) {
            for (std::size_t i = 0; i < fds.size(); ++i) {
                const bool mayWrite = sent[i] < roundBytes && sent[i] - received[i] < window * kMessageSize;
                polls[i] = pollfd{fds[i], static_cast<short>(POLLIN | (mayWrite ? POLLOUT : 0)), 0};
            }
            if (::poll(polls.data(), polls.size(), 5000) <= 0) {
                state.SkipWithError("the echo stalled");
                return;
            }
            for (std::size_t i = 0; i < fds.size(); ++i) {
                if (polls[i].revents & POLLOUT) {
                    const long long offset = sent[i] % kMessageSize;
                    const ssize_t n =
                        ::send(fds[i], out.data() + offset, static_cast<std::size_t>(kMessageSize - offset),
                               MSG_NOSIGNAL | MSG_DONTWAIT);
                    if (n > 0) sent[i] += n;
                }
                if (polls[i].revents & POLLIN) {
                    const ssize_t n = ::recv(fds[i], in.data(), in.size(), MSG_DONTWAIT);
                    if (n == 0) {
                        state.SkipWithError("the server closed a connection");
                        return;
                    }
                    if (n > 0) {
                        received[i] += n;
                        echoed += n;
                        if (received[i] == roundBytes) ++done;
                    }
                }
            }
        }
    }
    CloseConnections(fds);
    state.SetBytesProcessed(echoed);
    state.counters["message_bytes"] = kMessageSize;
}
BENCHMARK(BM_EchoThroughput)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();

// The server's heap and resident growth while it holds `count` idle connections, per connection.
// The client ends are plain descriptors and add no user memory of their own.
void BM_IdleConnectionMemory(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    EchoService service;
    {
        // Warm up: the first connections grow the containers and the allocator's arenas once.
        std::vector<int> warm = OpenConnections(service, count);
        service.WaitClients(count);
        CloseConnections(warm);
        service.WaitClients(0);
    }
    double heapPerConnection = 0, residentPerConnection = 0;
    for (auto _ : state) {
        ::malloc_trim(0);
        const long long heapBefore = HeapBytes();
        const long long residentBefore = ResidentBytes();
        std::vector<int> fds = OpenConnections(service, count);
        if (!service.WaitClients(count)) state.SkipWithError("the server did not take every connection");
        std::this_thread::sleep_for(20ms);  // let the server finish its part of each accept
        heapPerConnection = static_cast<double>(HeapBytes() - heapBefore) / count;
        residentPerConnection = static_cast<double>(ResidentBytes() - residentBefore) / count;
        state.PauseTiming();
        CloseConnections(fds);
        service.WaitClients(0);
        state.ResumeTiming();
    }
    state.counters["heap_bytes_per_conn"] = heapPerConnection;
    state.counters["rss_bytes_per_conn"] = residentPerConnection;
}
BENCHMARK(BM_IdleConnectionMemory)->Arg(1000)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
