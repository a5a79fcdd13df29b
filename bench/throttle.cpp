// The download throttle, through the whole server, with curl as the client:
//
//  - BM_OneLimitedDownload: one download by an account limited to 100 KB/s (102 400 bytes/s);
//    its rate must stay within 5% of the limit.
//  - BM_FiftyLimitedBesideOneUnlimited: 50 such downloads at once, each within 10% of the
//    limit, while an account without a limit downloads a 1 GiB file beside them seven times;
//    that download must keep at least 90% of the speed it has alone (medians of seven, the
//    lone ones measured just before; one 1 GiB download lasts under a second here).
//  - BM_FiftyLimitedByVsftpdBesideOneUnlimited: the same, but the 50 limited downloads come
//    from vsftpd (anon_max_rate at the same rate, the same files): what the 50 curl processes
//    alone take from the unlimited download on this machine, for comparison.
//
// The server is the controller with a scratch home: "Anonymous" (curl's default login) has a
// Max Transfer Rate of 100; "Fast" (password "fast") has none. A download's rate is its bytes
// over the time from the moment curl has sent RETR (time_pretransfer) to the end of the
// transfer (time_total); its deviation is that rate over the limit, less 1. Each benchmark
// runs three rounds and reports the smallest, middle and largest figures, and prints every
// round with the load average.
//
// The limited file is 6 MiB (a minute at the limit); CORVANE_BENCH_LIMITED_MIB changes it.
// Run: build/bin/bench_throttle
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <vector>

#include "side_by_side_servers.h"

using namespace corvane;
namespace stdfs = std::filesystem;

namespace {

constexpr int kLimitKb = 100;
constexpr double kLimitBytesPerSecond = kLimitKb * 1024.0;
constexpr long long kBigSize = 1LL << 30;
constexpr int kRounds = 3;
constexpr int kLimitedAtOnce = 50;
constexpr int kUnlimitedRuns = 7;

long long LimitedSize()
{
    const char* mib = std::getenv("CORVANE_BENCH_LIMITED_MIB");
    const long long chosen = mib != nullptr ? std::atoll(mib) : 6;
    return (chosen > 0 ? chosen : 6) << 20;
}

class Fixture {
public:
    static Fixture& Get()
    {
        static Fixture fixture;
        return fixture;
    }

    std::unique_ptr<bench::FullServer> server;
    std::unique_ptr<bench::VsftpdServer> vsftpd;  // the same share, each download at 100 KB/s
    const std::string base = bench::MakeScratchBase();
    const long long limitedSize = LimitedSize();

private:
    Fixture()
    {
        server = std::make_unique<bench::FullServer>(base + "/home", true, [](serverController& controller) {
            permissionsClass& accounts = controller.accounts();
            accounts.SetMaxTransferRate("Anonymous", kLimitKb);
            accounts.AddUser("Fast", "fast", "All Others");
            const std::string share = "C:\\My Downloads\\";
            for (FolderFlag flag : {FolderFlag::get, FolderFlag::list, FolderFlag::CWD, FolderFlag::inherit})
                accounts.Folders().GrantFlag("Fast", share, flag);
            accounts.Folders().SetHomeFolder("Fast", share);
            accounts.SetMaxTransferRate("Fast", 0);
        });
        bench::MakeFile(server->shareFolder + "/limited.bin", limitedSize);
        bench::MakeFile(server->shareFolder + "/big.bin", kBigSize);
        vsftpd = std::make_unique<bench::VsftpdServer>(base, server->shareFolder,
                                                       "anon_max_rate=" + std::to_string(kLimitKb * 1024) + "\n");
    }

    ~Fixture()
    {
        vsftpd.reset();
        server.reset();
        std::error_code ignored;
        stdfs::remove_all(base, ignored);
    }
};

// What curl says of one download: its bytes and its rate (bytes per second from RETR to the
// end); a failed or short download has rate 0.
struct Download {
    long long bytes = 0;
    double rate = 0;
};

std::string CurlCommand(const std::string& url, const std::string& resultFile)
{
    return "curl -s --disable-epsv -o /dev/null -w '%{size_download} %{time_pretransfer} %{time_total}\\n' '" + url +
           "' >>" + resultFile;
}

std::vector<Download> ReadResults(const std::string& resultFile, long long expectedBytes)
{
    std::vector<Download> downloads;
    std::ifstream in(resultFile);
    long long bytes = 0;
    double pretransfer = 0, total = 0;
    while (in >> bytes >> pretransfer >> total) {
        Download d;
        d.bytes = bytes;
        if (bytes == expectedBytes && total > pretransfer) d.rate = static_cast<double>(bytes) / (total - pretransfer);
        downloads.push_back(d);
    }
    return downloads;
}

// Runs a bash script (written to a file, so that it needs no quoting for the shell).
bool RunShell(const std::string& script)
{
    const std::string path = Fixture::Get().base + "/run.sh";
    std::ofstream(path) << script << "\n";
    return std::system(("bash " + path).c_str()) == 0;
}

std::string Url(const std::string& login, const std::string& file, int port = 0)
{
    if (port == 0) port = Fixture::Get().server->port;
    return "ftp://" + login + "127.0.0.1:" + std::to_string(port) + "/" + file;
}

double DeviationPercent(double rate) { return (rate / kLimitBytesPerSecond - 1) * 100; }

void BM_OneLimitedDownload(benchmark::State& state)
{
    Fixture& fixture = Fixture::Get();
    if (fixture.server->port == 0) {
        state.SkipWithError("the server did not start");
        return;
    }
    std::vector<double> deviations;
    for (auto _ : state) {
        for (int round = 0; round < kRounds; ++round) {
            const std::string results = fixture.base + "/one-" + std::to_string(round) + ".txt";
            RunShell(CurlCommand(Url("", "limited.bin"), results));
            const std::vector<Download> downloads = ReadResults(results, fixture.limitedSize);
            if (downloads.size() != 1 || downloads[0].rate == 0) {
                state.SkipWithError("the limited download failed");
                return;
            }
            deviations.push_back(DeviationPercent(downloads[0].rate));
            std::printf("round %d: %.1f KiB/s, %+.1f%% from the limit, load %.2f\n", round + 1,
                        downloads[0].rate / 1024, deviations.back(), bench::LoadAverage());
            std::fflush(stdout);
        }
    }
    const bench::Spread d = bench::SpreadOf(deviations);
    state.counters["deviation_pct_min"] = d.min;
    state.counters["deviation_pct_median"] = d.median;
    state.counters["deviation_pct_max"] = d.max;
    state.counters["within_5pct"] = std::fabs(d.min) <= 5 && std::fabs(d.max) <= 5;
    state.counters["load"] = bench::LoadAverage();
}

// The unlimited download's rate alone, the median of three.
double UnlimitedAlone(const std::string& base)
{
    const std::string results = base + "/alone.txt";
    std::error_code ignored;
    stdfs::remove(results, ignored);
    for (int i = 0; i < kUnlimitedRuns; ++i) RunShell(CurlCommand(Url("Fast:fast@", "big.bin"), results));
    std::vector<double> rates;
    for (const Download& d : ReadResults(results, kBigSize)) rates.push_back(d.rate);
    return rates.size() == kUnlimitedRuns ? bench::SpreadOf(rates).median : 0;
}

// The 50 limited downloads come from `limitedPort`: this server, or vsftpd holding each to the
// same rate, which shows what the clients alone take from the unlimited download.
void FiftyLimitedBesideOneUnlimited(benchmark::State& state, int limitedPort)
{
    Fixture& fixture = Fixture::Get();
    if (fixture.server->port == 0 || limitedPort == 0) {
        state.SkipWithError("the server did not start");
        return;
    }
    std::vector<double> worstDeviations, allDeviations, keptShares;
    for (auto _ : state) {
        for (int round = 0; round < kRounds; ++round) {
            const double alone = UnlimitedAlone(fixture.base);
            const std::string tag = std::to_string(limitedPort) + "-" + std::to_string(round);
            const std::string limitedResults = fixture.base + "/limited-" + tag + ".txt";
            const std::string besideResults = fixture.base + "/beside-" + tag + ".txt";
            // The unlimited downloads start once the limited ones are under way.
            std::ostringstream script;
            script << "for i in $(seq " << kLimitedAtOnce << "); do "
                   << CurlCommand(Url("", "limited.bin", limitedPort), limitedResults)
                   << " & done; sleep 3; for k in $(seq " << kUnlimitedRuns << "); do "
                   << CurlCommand(Url("Fast:fast@", "big.bin"), besideResults) << "; done; wait";
            RunShell(script.str());
            const std::vector<Download> limited = ReadResults(limitedResults, fixture.limitedSize);
            std::vector<double> beside;
            for (const Download& d : ReadResults(besideResults, kBigSize)) beside.push_back(d.rate);
            if (limited.size() != kLimitedAtOnce || beside.size() != kUnlimitedRuns || alone == 0) {
                std::fprintf(stderr, "%zu limited and %zu unlimited downloads ended; alone %.0f B/s\n", limited.size(),
                             beside.size(), alone);
                state.SkipWithError("a download did not finish");
                return;
            }
            double worst = 0;
            std::vector<double> roundDeviations;
            for (const Download& d : limited) {
                if (d.rate == 0) {
                    std::fprintf(stderr, "a limited download got %lld bytes\n", d.bytes);
                    state.SkipWithError("a limited download failed");
                    return;
                }
                roundDeviations.push_back(DeviationPercent(d.rate));
                if (std::fabs(roundDeviations.back()) > std::fabs(worst)) worst = roundDeviations.back();
            }
            allDeviations.insert(allDeviations.end(), roundDeviations.begin(), roundDeviations.end());
            worstDeviations.push_back(worst);
            const double besideRate = bench::SpreadOf(beside).median;
            keptShares.push_back(besideRate / alone * 100);
            const bench::Spread r = bench::SpreadOf(roundDeviations);
            std::printf("round %d: limited %+.1f%% / %+.1f%% / %+.1f%% (min/median/max from the limit), "
                        "unlimited %.0f MiB/s beside them, %.0f MiB/s alone (%.0f%% kept), load %.2f\n",
                        round + 1, r.min, r.median, r.max, besideRate / (1 << 20), alone / (1 << 20), keptShares.back(),
                        bench::LoadAverage());
            std::fflush(stdout);
        }
    }
    const bench::Spread all = bench::SpreadOf(allDeviations), kept = bench::SpreadOf(keptShares);
    state.counters["limited_dev_pct_min"] = all.min;
    state.counters["limited_dev_pct_median"] = all.median;
    state.counters["limited_dev_pct_max"] = all.max;
    state.counters["unlimited_kept_pct_min"] = kept.min;
    state.counters["unlimited_kept_pct_median"] = kept.median;
    state.counters["unlimited_kept_pct_max"] = kept.max;
    state.counters["each_within_10pct"] = std::fabs(all.min) <= 10 && std::fabs(all.max) <= 10;
    state.counters["load"] = bench::LoadAverage();
}

void BM_FiftyLimitedBesideOneUnlimited(benchmark::State& state)
{
    FiftyLimitedBesideOneUnlimited(state, Fixture::Get().server->port);
}

void BM_FiftyLimitedByVsftpdBesideOneUnlimited(benchmark::State& state)
{
    FiftyLimitedBesideOneUnlimited(state, Fixture::Get().vsftpd->port);
}

}  // namespace

BENCHMARK(BM_OneLimitedDownload)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FiftyLimitedBesideOneUnlimited)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FiftyLimitedByVsftpdBesideOneUnlimited)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
