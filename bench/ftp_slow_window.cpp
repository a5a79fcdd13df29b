// The FTP service beside a slow window: logins and NOOP replies per second of 256 clients on
// loopback while the window thread takes 5 ms for every closure handed to it (a window busy
// drawing). The server runs whole: the controller with a scratch home, the "Anonymous" account
// of the first run, the session policy and every log line written to the log file.
//
// Logins: 256 clients connect (16 waiting for their greeting at a time), log in anonymously
// and QUIT; logins per second from the first connect to the last 221 reply. NOOP: 256 clients
// logged in send NOOP after NOOP for 3 s; replies per second.
// Run: build/bin/bench_ftp_slow_window
#include <benchmark/benchmark.h>

#include <cstdio>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "core/window_thread.h"
#include "side_by_side_servers.h"

using namespace corvane;
using namespace std::chrono_literals;
using bench::ScriptedFtpClient;

namespace {

constexpr std::size_t kClients = 256;
constexpr int kConnectsInFlight = 16;
constexpr auto kClosureCost = 5ms;
constexpr auto kNoopWindow = 3s;

// A window thread whose every closure costs 5 ms before it runs.
class SlowWindowThread : public WindowThread {
public:
    explicit SlowWindowThread(EventLoop& loop)
        : loop_(loop)
    {}
    bool Post(Closure closure) override
    {
        return loop_.Post([closure = std::move(closure)] {
            std::this_thread::sleep_for(kClosureCost);
            closure();
        });
    }
    void PumpQueue() override { loop_.ProcessMessages(); }
    bool IsWindowThread() const override { return loop_.IsInLoopThread(); }

private:
    EventLoop& loop_;
};

// The controller on a window thread of its own, listening on a free port.
class SlowWindowServer {
public:
    explicit SlowWindowServer(const std::string& home)
    {
        const int chosen = bench::FreeSettingsPort();
        std::filesystem::create_directories(home);
        std::ofstream(home + "/CorvaneServer.ini")
            << "[ServerData]\r\nPort=" << chosen << "\r\nUserSetServerIP=127.0.0.1\r\n"
            << "MaximumNumberOfConnections=256\r\nScreenLoggingEnabled=0\r\n"
            << "LoggingToFile=1\r\nLogFilePath=C:\\corvaneserver.log\r\n"
            // No login time limit: logins that queue behind a slow window still count.
            << "LoginTimeout=0\r\n";
        std::promise<bool> listening;
        thread_ = std::thread([this, home, chosen, &listening] { Run(home, chosen, listening); });
        if (listening.get_future().get()) port = chosen;
    }
    ~SlowWindowServer()
    {
        if (EventLoop* loop = loop_.load()) loop->Quit();
        if (thread_.joinable()) thread_.join();
    }
    SlowWindowServer(const SlowWindowServer&) = delete;
    SlowWindowServer& operator=(const SlowWindowServer&) = delete;

    int port = 0;

private:
    void Run(const std::string& home, int chosenPort, std::promise<bool>& listening)
    {
        SetProgramFolder(home);
        EventLoop loop;
        SlowWindowThread window(loop);
        SilentServerView view;
        serverController controller(window, view, {});
        controller.startUp();
        controller.startServices(kServiceFtp);
        const bool up = controller.settings().Port == chosenPort &&
                        loop.RunUntil([&controller] { return controller.ftpListening(); }, 30s);
        loop_ = &loop;
        listening.set_value(up);
        loop.MessageLoop();
        controller.shutDown();
        loop_ = nullptr;
    }

    std::thread thread_;
    std::atomic<EventLoop*> loop_{nullptr};
};

// Starts clients until there are kClients, at most kConnectsInFlight waiting for a greeting.
void ConnectMore(std::vector<std::unique_ptr<ScriptedFtpClient>>& clients, std::size_t& greeted, int port,
                 ScriptedFtpClient::AfterLogin afterLogin)
{
    while (greeted < clients.size() && (clients[greeted]->greeted || clients[greeted]->failed)) ++greeted;
    while (clients.size() < kClients && static_cast<int>(clients.size() - greeted) < kConnectsInFlight)
        clients.push_back(std::make_unique<ScriptedFtpClient>(port, afterLogin));
}

// Says on stderr what went wrong with the first client that failed or did not finish.
void ReportFailure(const char* phase, const std::vector<std::unique_ptr<ScriptedFtpClient>>& clients)
{
    std::size_t unfinished = kClients - clients.size();
    for (const auto& client : clients) unfinished += client->failed || (!client->done && !client->loggedIn) ? 1 : 0;
    for (const auto& client : clients)
        if (client->failed) {
            std::fprintf(stderr, "%s: %zu clients failed or unfinished; first failure: %s\n", phase, unfinished,
                         client->failure.c_str());
            return;
        }
    std::fprintf(stderr, "%s: %zu of %zu clients unfinished, none failed\n", phase, unfinished, kClients);
}

// Logins per second of one round; -1 when a client failed or the wait ran out.
double LoginsPerSecond(EventLoop& loop, int port)
{
    std::vector<std::unique_ptr<ScriptedFtpClient>> clients;
    std::size_t greeted = 0, settled = 0;
    const auto started = std::chrono::steady_clock::now();
    loop.RunUntil(
        [&] {
            ConnectMore(clients, greeted, port, ScriptedFtpClient::AfterLogin::Quit);
            while (settled < clients.size() && (clients[settled]->done || clients[settled]->failed)) ++settled;
            return settled == kClients;
        },
        120s);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    bool finished = clients.size() == kClients;
    for (const auto& client : clients) finished = finished && client->done;
    if (finished) return static_cast<double>(kClients) / seconds;
    ReportFailure("logins", clients);
    return -1;
}

// NOOP replies per second of 256 logged-in clients; -1 when a client failed.
double NoopsPerSecond(EventLoop& loop, int port)
{
    std::vector<std::unique_ptr<ScriptedFtpClient>> clients;
    std::size_t greeted = 0;
    const auto allLoggedIn = [&] {
        ConnectMore(clients, greeted, port, ScriptedFtpClient::AfterLogin::Noop);
        if (clients.size() < kClients) return false;
        for (const auto& client : clients)
            if (client->failed || !client->loggedIn) return client->failed;
        return true;
    };
    if (!loop.RunUntil(allLoggedIn, 120s)) {
        ReportFailure("NOOP logins", clients);
        return -1;
    }
    long long before = 0;
    for (const auto& client : clients) before += client->noopReplies;
    const auto started = std::chrono::steady_clock::now();
    loop.RunUntil([] { return false; }, std::chrono::duration_cast<std::chrono::milliseconds>(kNoopWindow));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    long long after = 0;
    bool failed = false;
    for (const auto& client : clients) {
        after += client->noopReplies;
        failed = failed || client->failed;
        client->StopNooping();
    }
    loop.RunUntil(
        [&] {
            for (const auto& client : clients)
                if (!client->done && !client->failed) return false;
            return true;
        },
        60s);
    if (failed) ReportFailure("NOOP", clients);
    return failed ? -1 : static_cast<double>(after - before) / seconds;
}

void BM_SlowWindow256(benchmark::State& state)
{
    const std::string base = bench::MakeScratchBase();
    {
        SlowWindowServer server(base + "/home");
        if (server.port == 0) {
            state.SkipWithError("the server did not start");
            return;
        }
        EventLoop loop;
        for (auto _ : state) {
            const double logins = LoginsPerSecond(loop, server.port);
            // The server closes the last connections of the logins before all 256 come again.
            loop.RunUntil([] { return false; }, 2000ms);
            const double noops = NoopsPerSecond(loop, server.port);
            if (logins < 0 || noops < 0) {
                state.SkipWithError("a client failed or timed out");
                break;
            }
            state.counters["logins_per_s"] = logins;
            state.counters["noops_per_s"] = noops;
            state.counters["load"] = bench::LoadAverage();
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(base, ignored);
}
BENCHMARK(BM_SlowWindow256)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
