// NOOP replies per second through the whole server with every line logged to a log file:
// 100 clients log in anonymously, then each sends NOOP, waits for its reply and sends the next
// (not pipelined), for 12 s, so that the measurement spans at least one of the server
// thread's 10 s ticks, where the queued log lines are handed to the window thread and written.
//
// The server is the controller with a scratch home, the session policy (each command logged,
// the session row's last command set on the window thread) and LoggingToFile on. The clients
// are TWSockets on this thread. After the rounds the services are stopped, which flushes the
// lines still queued, and the log file must hold a "< NOOP" and a "> 200" line for every reply
// counted, or the benchmark reports an error.
// Run: build/bin/bench_ftp_noop_logging
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "side_by_side_servers.h"

using namespace corvane;
using namespace std::chrono_literals;
using bench::ScriptedFtpClient;

namespace {

constexpr int kClients = 100;
constexpr int kRounds = 3;
constexpr auto kMeasured = 12s;

using Clients = std::vector<std::unique_ptr<ScriptedFtpClient>>;

long long RepliesSoFar(const Clients& clients)
{
    long long replies = 0;
    for (const auto& client : clients) replies += client->noopReplies;
    return replies;
}

// Replies per second of one round; -1 when a client failed. `replies` gets every NOOP reply of
// the round, counted or not, for the check against the log file.
double NoopRound(EventLoop& loop, int port, long long& replies)
{
    Clients clients;
    for (int i = 0; i < kClients; ++i)
        clients.push_back(std::make_unique<ScriptedFtpClient>(port, ScriptedFtpClient::AfterLogin::Noop));
    std::size_t ready = 0;
    const bool allIn = loop.RunUntil(
        [&] {
            while (ready < clients.size() && clients[ready]->loggedIn) ++ready;
            return ready == clients.size();
        },
        30s);
    if (!allIn) {
        for (const auto& client : clients)
            if (!client->loggedIn) {
                std::fprintf(stderr, "a client did not log in: %s\n", client->failure.c_str());
                break;
            }
        return -1;
    }
    const long long before = RepliesSoFar(clients);
    const auto started = std::chrono::steady_clock::now();
    loop.RunUntil([] { return false; }, kMeasured);
    const long long during = RepliesSoFar(clients) - before;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    for (auto& client : clients) client->StopNooping();
    std::size_t settled = 0;
    loop.RunUntil(
        [&] {
            while (settled < clients.size() && (clients[settled]->done || clients[settled]->failed)) ++settled;
            return settled == clients.size();
        },
        30s);
    replies += RepliesSoFar(clients);
    for (const auto& client : clients)
        if (!client->done) {
            std::fprintf(stderr, "a client did not finish: %s\n", client->failure.c_str());
            return -1;
        }
    return static_cast<double>(during) / seconds;
}

void BM_NoopWithFileLogging(benchmark::State& state)
{
    const std::string base = bench::MakeScratchBase();
    {
        bench::FullServer server(base + "/home", true);
        if (server.port == 0) {
            state.SkipWithError("the server did not start");
            return;
        }
        bool logFileOpen = false;
        server.OnWindowThread([&logFileOpen](serverController& controller) { logFileOpen = controller.logFileOpen(); });
        if (!logFileOpen) {
            state.SkipWithError("the log file did not open");
            return;
        }
        EventLoop loop;
        std::vector<double> rates;
        long long replies = 0;
        for (auto _ : state) {
            for (int round = 0; round < kRounds; ++round) {
                const double rate = NoopRound(loop, server.port, replies);
                if (rate < 0) {
                    state.SkipWithError("a client failed to log in or got a wrong reply");
                    break;
                }
                rates.push_back(rate);
                std::printf("round %d: %.0f NOOP replies/s, load %.2f\n", round + 1, rate, bench::LoadAverage());
                std::fflush(stdout);
            }
        }
        server.StopServices();
        const long long commandLines = bench::CountLinesStartingWith(server.logFilePath, "< NOOP ");
        const long long replyLines = bench::CountLinesStartingWith(server.logFilePath, "> 200 ");
        std::printf("NOOPs answered %lld; log file lines: %lld \"< NOOP\", %lld \"> 200\"\n", replies, commandLines,
                    replyLines);
        if (commandLines < replies || replyLines < replies)
            state.SkipWithError("the log file lacks lines of the NOOPs answered");
        const bench::Spread r = bench::SpreadOf(rates);
        state.counters["replies_per_s_median"] = r.median;
        state.counters["replies_per_s_min"] = r.min;
        state.counters["replies_per_s_max"] = r.max;
        state.counters["noops_answered"] = static_cast<double>(replies);
        state.counters["logged_NOOP_lines"] = static_cast<double>(commandLines);
        state.counters["load"] = bench::LoadAverage();
    }
    std::error_code ignored;
    std::filesystem::remove_all(base, ignored);
}
BENCHMARK(BM_NoopWithFileLogging)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
