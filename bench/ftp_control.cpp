// FTP control connections under load: a TFtpServer on 127.0.0.1 runs on a thread of its own
// with its own EventLoop (MaxClients 0, no limit); the clients are TWSockets on the benchmark's
// thread, pumping the benchmark thread's loop.
//
//  - BM_HoldThousandControlConnections: 1000 connections made and greeted, then held. Reports
//    the greeting rate and the server's heap bytes per idle connection, counted by the replaced
//    operator new below for allocations made on the server thread only (the clients' own
//    sockets are not counted): once right after the greeting and once after one NOOP each
//    (the command receive buffer is allocated on the first received byte).
//  - BM_NoopRoundTrips: 100 clients, each sending NOOP, waiting for its reply and sending the
//    next (not pipelined), for a fixed time. Reports replies per second.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ftp/ftp_server.h"

using namespace corvane;
using namespace std::chrono_literals;

// ---- heap bytes allocated by the thread that asks for them -------------------------------------

namespace {
thread_local long long t_heapBytes = 0;
}

// The replacements pair malloc with free themselves; the compiler only sees the inlined calls.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size)
{
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    t_heapBytes += static_cast<long long>(malloc_usable_size(p));
    return p;
}

void operator delete(void* p) noexcept
{
    if (p == nullptr) return;
    t_heapBytes -= static_cast<long long>(malloc_usable_size(p));
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
#pragma GCC diagnostic pop

namespace {

// ---- the server thread ------------------------------------------------------------------------

class ServerThread {
public:
    ServerThread()
    {
        std::promise<std::string> bound;
        std::future<std::string> port = bound.get_future();
        thread_ = std::thread([this, &bound] { Run(bound); });
        port_ = port.get();
    }

    ~ServerThread()
    {
        loop_.load()->Quit();
        thread_.join();
    }

    const std::string& Port() const { return port_; }

    // Runs `work` on the server thread and returns its result.
    template <typename Work>
    auto Ask(Work work) -> decltype(work(std::declval<TFtpServer&>()))
    {
        using Result = decltype(work(std::declval<TFtpServer&>()));
        std::promise<Result> done;
        std::future<Result> result = done.get_future();
        loop_.load()->Post([this, &work, &done] { done.set_value(work(*server_)); });
        return result.get();
    }

    long long HeapBytes()
    {
        return Ask([](TFtpServer&) { return t_heapBytes; });
    }
    int ClientCount()
    {
        return Ask([](TFtpServer& server) { return server.ClientCount(); });
    }

private:
    void Run(std::promise<std::string>& bound)
    {
        EventLoop loop;
        TFtpServer server;
        server.SetAddr("127.0.0.1");
        server.SetPort("0");
        server.SetMaxClients(0);
        server.Start();
        server_ = &server;
        loop_ = &loop;
        bound.set_value(server.ServerWSocket().GetXPort());
        loop.MessageLoop();
        server.DisconnectAll();
        loop.ProcessMessages();
    }

    std::thread thread_;
    std::atomic<EventLoop*> loop_{nullptr};
    TFtpServer* server_ = nullptr;
    std::string port_;
};

// ---- the clients --------------------------------------------------------------------------------

struct Client {
    TWSocket socket;
    bool greeted = false;
    bool pingPong = false;
    long long replies = 0;

    explicit Client(const std::string& port)
    {
        socket.SetLingerOnOff(wsLingerOff);
        // One plain read per readiness: the clients share the two cores with the server, so
        // they ask the stack for nothing more than the bytes.
        socket.SetComponentOptions(wsoNoReceiveLoop);
        socket.OnDataAvailable = [this](TCustomWSocket* s, std::uint16_t) {
            char buffer[4096];
            const int count = s->Receive(buffer, sizeof buffer);
            if (count > 0) Received(std::string_view(buffer, static_cast<std::size_t>(count)));
        };
        socket.SetAddr("127.0.0.1");
        socket.SetPort(port);
        socket.Connect();
    }

    void Received(std::string_view bytes)
    {
        for (char c : bytes) {
            if (c != '\n') continue;
            if (!greeted) {
                greeted = true;
                continue;
            }
            ++replies;
            if (pingPong) socket.SendStr("NOOP\r\n");
        }
    }
};

using Clients = std::vector<std::unique_ptr<Client>>;

// Connects `count` clients, at most a few at a time so that the listener's short backlog never
// overflows (a refused SYN would cost a one-second retransmission), and waits for each greeting.
bool ConnectGreeted(EventLoop& loop, const std::string& port, int count, Clients& clients)
{
    constexpr int kInFlight = 4;
    for (int made = 0; made < count; ++made) {
        clients.push_back(std::make_unique<Client>(port));
        if (made + 1 < kInFlight) continue;
        Client* waitFor = clients[clients.size() - kInFlight].get();
        if (!loop.RunUntil([waitFor] { return waitFor->greeted; }, 5000ms)) return false;
    }
    return loop.RunUntil(
        [&] {
            for (const auto& client : clients)
                if (!client->greeted) return false;
            return true;
        },
        5000ms);
}

void CloseAll(EventLoop& loop, ServerThread& server, Clients& clients)
{
    clients.clear();
    // The server's count changes on another thread, which does not wake this loop: poll it.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (server.ClientCount() != 0 && std::chrono::steady_clock::now() < deadline)
        loop.RunUntil([] { return false; }, 5ms);
}

ServerThread& Server()
{
    static ServerThread server;
    return server;
}

void BM_HoldThousandControlConnections(benchmark::State& state)
{
    constexpr int kConnections = 1000;
    EventLoop loop;
    ServerThread& server = Server();
    for (auto _ : state) {
        Clients clients;
        const long long heapBefore = server.HeapBytes();
        const auto started = std::chrono::steady_clock::now();
        if (!ConnectGreeted(loop, server.Port(), kConnections, clients)) {
            state.SkipWithError("not every connection was greeted");
            break;
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const long long heapGreeted = server.HeapBytes();
        for (auto& client : clients) client->socket.SendStr("NOOP\r\n");
        loop.RunUntil(
            [&] {
                for (const auto& client : clients)
                    if (client->replies < 1) return false;
                return true;
            },
            10000ms);
        const long long heapAfterCommand = server.HeapBytes();
        state.counters["connections"] = server.ClientCount();
        state.counters["greeted_per_s"] = kConnections / seconds;
        state.counters["heap_B_per_idle_conn"] = static_cast<double>(heapGreeted - heapBefore) / kConnections;
        state.counters["heap_B_per_conn_after_NOOP"] =
            static_cast<double>(heapAfterCommand - heapBefore) / kConnections;
        CloseAll(loop, server, clients);
    }
}
BENCHMARK(BM_HoldThousandControlConnections)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_NoopRoundTrips(benchmark::State& state)
{
    const int clientCount = static_cast<int>(state.range(0));
    const auto duration = 3000ms;
    EventLoop loop;
    ServerThread& server = Server();
    for (auto _ : state) {
        Clients clients;
        if (!ConnectGreeted(loop, server.Port(), clientCount, clients)) {
            state.SkipWithError("not every connection was greeted");
            break;
        }
        for (auto& client : clients) {
            client->pingPong = true;
            client->socket.SendStr("NOOP\r\n");
        }
        const auto started = std::chrono::steady_clock::now();
        loop.RunUntil([] { return false; }, duration);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        long long replies = 0;
        for (auto& client : clients) {
            replies += client->replies;
            client->pingPong = false;
        }
        state.counters["replies_per_s"] = static_cast<double>(replies) / seconds;
        CloseAll(loop, server, clients);
    }
}
BENCHMARK(BM_NoopRoundTrips)->Arg(100)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
