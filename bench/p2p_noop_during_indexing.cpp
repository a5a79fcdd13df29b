// NOOP reply latency while the indexer digests the share, and without it, in the same run:
// the whole server (the controller, the session policy, the log file) shares "C:\My Downloads\"
// with Anonymous, which holds 6 GiB of real bytes in twelve files, with P2P indexing and MD5 on,
// so the pass that starts with the FTP service reads and digests all of it. 16 clients, each on
// a thread of its own, send NOOP after NOOP for 3 s while that pass runs, and again for 3 s
// once the log file says "FTP Local Indexing Complete.". Reports p50 and p99 of both in
// microseconds, p99_ratio = p99 during the pass / p99 without it (the aim: 1.2 or less), and
// pass_ran_throughout (1 when the pass had not ended before the first measurement did).
// Run: build-bench/bin/bench_p2p_noop_during_indexing
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "noop_latency.h"
#include "side_by_side_servers.h"

using namespace corvane;
using namespace std::chrono_literals;

namespace {

constexpr int kClients = 16;
constexpr auto kMeasured = 3s;
constexpr const char* kPassComplete = "FTP Local Indexing Complete.";

void BM_NoopLatencyDuringIndexing(benchmark::State& state)
{
    const std::string home = bench::MakeScratchBase();
    const std::string share = home + "/drive_c/My Downloads";
    std::filesystem::create_directories(share);
    for (int i = 0; i < 12; ++i) bench::MakeFile(share + "/part " + std::to_string(i) + ".bin", 512LL << 20);
    {
        bench::FullServer server(home, true, [](serverController& controller) {
            controller.settings().ServerDesiredButNoP2PSharingMode = false;
            controller.settings().MD5IndexingEnabled = true;
        });
        if (server.port == 0) {
            state.SkipWithError("the server did not start");
            return;
        }
        bench::NoopLatencies during, after;
        bool throughout = false, completed = false;
        for (auto _ : state) {
            during = bench::MeasureNoops(server.port, kClients, kMeasured);
            throughout = bench::CountLinesStartingWith(server.logFilePath, kPassComplete) == 0;
            const auto deadline = std::chrono::steady_clock::now() + 300s;
            while (!(completed = bench::CountLinesStartingWith(server.logFilePath, kPassComplete) > 0) &&
                   std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(100ms);
            after = bench::MeasureNoops(server.port, kClients, kMeasured);
        }
        if (!during.ok || !after.ok) state.SkipWithError("a client failed");
        if (!completed) state.SkipWithError("the indexing pass did not end");
        state.counters["during_p50_us"] = during.p50;
        state.counters["during_p99_us"] = during.p99;
        state.counters["without_p50_us"] = after.p50;
        state.counters["without_p99_us"] = after.p99;
        state.counters["p99_ratio"] = after.p99 > 0 ? during.p99 / after.p99 : 0;
        state.counters["pass_ran_throughout"] = throughout ? 1 : 0;
        state.counters["replies_during"] = static_cast<double>(during.replies);
        state.counters["replies_without"] = static_cast<double>(after.replies);
        state.counters["load_avg"] = bench::LoadAverage();
        server.StopServices();
    }
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
}
BENCHMARK(BM_NoopLatencyDuringIndexing)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
