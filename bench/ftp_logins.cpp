// Logins side by side with vsftpd: 256 clients connect at once, log in anonymously (USER, then
// PASS when asked) and QUIT; the time runs from the first connect to the last 221 reply.
//
// This server runs whole: the controller with a scratch home, the account store's "Anonymous"
// account, the session policy and every log line written to a log file. vsftpd runs anonymous
// with a password asked for, so that both servers answer the same four commands. The same
// client (TWSockets on this thread) meets both in each round, the order swapped every round.
//
// Reports per server the median, smallest and largest elapsed time, and the ratio ours/vsftpd
// (at most 1 means this server is as fast or faster). After each round it checks that every
// session has gone and the account's connection count is back to 0.
// Run: build/bin/bench_ftp_logins (CORVANE_BENCH_IPV6=1: both servers and the clients on ::1)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "side_by_side_servers.h"

using namespace corvane;
using namespace std::chrono_literals;
using bench::ScriptedFtpClient;

namespace {

constexpr std::size_t kClients = 256;
constexpr int kRounds = 7;

// Seconds until every client has had its 221; -1 when one failed or the wait ran out. At most
// `connectsInFlight` clients wait for their greeting at a time: both servers listen with a
// short backlog (5 and 32), and a connection that the full queue drops after the stack has
// answered with a SYN cookie is established for the client but unknown to the server, so
// the client would wait for a greeting that never comes.
double LoginRound(EventLoop& loop, int port, int connectsInFlight)
{
    std::vector<std::unique_ptr<ScriptedFtpClient>> clients;
    const auto started = std::chrono::steady_clock::now();
    std::size_t greeted = 0, settled = 0;
    loop.RunUntil(
        [&] {
            while (greeted < clients.size() && (clients[greeted]->greeted || clients[greeted]->failed)) ++greeted;
            while (clients.size() < kClients && static_cast<int>(clients.size() - greeted) < connectsInFlight)
                clients.push_back(std::make_unique<ScriptedFtpClient>(port, ScriptedFtpClient::AfterLogin::Quit));
            while (settled < clients.size() && (clients[settled]->done || clients[settled]->failed)) ++settled;
            return settled == kClients;
        },
        60s);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    int unfinished = 0, failed = 0, loggedIn = 0;
    unfinished = static_cast<int>(kClients - clients.size());
    for (const auto& client : clients) {
        unfinished += client->done ? 0 : 1;
        failed += client->failed ? 1 : 0;
        loggedIn += client->loggedIn ? 1 : 0;
    }
    if (unfinished == 0) return seconds;
    std::fprintf(stderr, "port %d: %d of %zu clients did not finish (%d failed, %d logged in)\n", port, unfinished,
                 kClients, failed, loggedIn);
    return -1;
}

// True once the server has dropped every session and given every connection count back.
bool AllGone(bench::FullServer& server)
{
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        bool gone = false;
        server.OnWindowThread([&gone](serverController& controller) {
            gone = controller.sessions().Count() == 0 && controller.accounts().GetConnectionCount("Anonymous") == 0 &&
                   controller.accounts().GetIpConnectionCount("Anonymous", bench::Loopback()) == 0;
        });
        if (gone) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

void BM_Logins256(benchmark::State& state)
{
    const int connectsInFlight = static_cast<int>(state.range(0));
    const std::string base = bench::MakeScratchBase();
    const std::string vsRoot = base + "/vs";
    std::filesystem::create_directories(vsRoot);
    ::chmod(vsRoot.c_str(), 0755);
    {
        bench::FullServer ours(base + "/home", true);
        bench::VsftpdServer vsftpd(base, vsRoot, "no_anon_password=NO\n");
        if (ours.port == 0) {
            state.SkipWithError("this server did not start");
            return;
        }
        EventLoop loop;
        std::vector<double> oursSeconds, vsSeconds, ratios;
        for (auto _ : state) {
            for (int round = 0; round < kRounds; ++round) {
                double us = 0, them = 0;
                // vsftpd first in every other round, so neither always meets a warm machine.
                if (round % 2 == 1 && vsftpd.port != 0) them = LoginRound(loop, vsftpd.port, connectsInFlight);
                us = LoginRound(loop, ours.port, connectsInFlight);
                if (round % 2 == 0 && vsftpd.port != 0) them = LoginRound(loop, vsftpd.port, connectsInFlight);
                if (us < 0 || !AllGone(ours)) {
                    state.SkipWithError("a login on this server failed, or a session or count was left behind");
                    break;
                }
                oursSeconds.push_back(us);
                if (them > 0) {
                    vsSeconds.push_back(them);
                    ratios.push_back(us / them);
                }
                std::printf("round %d: ours %.1f ms, vsftpd %.1f ms, ratio %.2f, load %.2f\n", round + 1, us * 1000,
                            them * 1000, them > 0 ? us / them : 0.0, bench::LoadAverage());
                std::fflush(stdout);
            }
        }
        const bench::Spread o = bench::SpreadOf(oursSeconds), v = bench::SpreadOf(vsSeconds),
                            r = bench::SpreadOf(ratios);
        state.counters["ours_ms_median"] = o.median * 1000;
        state.counters["ours_ms_min"] = o.min * 1000;
        state.counters["ours_ms_max"] = o.max * 1000;
        if (!ratios.empty()) {
            state.counters["vsftpd_ms_median"] = v.median * 1000;
            state.counters["ratio_median"] = r.median;
            state.counters["ratio_min"] = r.min;
            state.counters["ratio_max"] = r.max;
        }
        state.counters["load"] = bench::LoadAverage();
    }
    std::error_code ignored;
    std::filesystem::remove_all(base, ignored);
}
BENCHMARK(BM_Logins256)
    ->ArgName("connects_in_flight")
    ->Arg(4)
    ->Arg(16)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
