// File transfers side by side with vsftpd, on loopback, with curl as the client:
//
//  - BM_Retr1GiB / BM_Stor1GiB: one download and one upload of a 1 GiB file, passive mode.
//  - BM_HundredClients1MiB: 100 curl processes at once, each fetching a 1 MiB file.
//
// Each benchmark times the same curl command against this server (a TFtpServer on a thread of
// its own, every login accepted, drive C: a scratch folder) and against vsftpd (anonymous, the
// same files), and reports both rates, from the median time of each, and their ratio (ours /
// vsftpd; above 1 is faster). Each iteration runs both servers one right after the other, so a
// change of the machine's load meets both.
//
// curl (7.88) connects the data connection of a PASV only when its 200 ms happy-eyeballs timer
// fires, if the 227 reply has arrived before it has finished sending PASV: a server that answers
// within microseconds pays 200 ms per transfer that a slower one does not. The timer is set to
// 1 ms for both servers, so that the figures compare the transfers, not the race.
// vsftpd is the Debian package (`apt-get install vsftpd`, run as root); without it only this
// server is measured. Run: build/bin/bench_ftp_transfer (CORVANE_BENCH_IPV6=1: both on ::1)
#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "side_by_side_servers.h"

using namespace corvane;
namespace stdfs = std::filesystem;

namespace {

constexpr long long kBigSize = 1LL << 30;
constexpr long long kSmallSize = 1LL << 20;

// The files both servers serve: root/big.bin, root/small.bin and the upload folder root/up.
struct Share {
    std::string root;
    explicit Share(const std::string& folder)
        : root(folder)
    {
        stdfs::create_directories(root + "/up");
        ::chmod(root.c_str(), 0755);
        ::chmod((root + "/up").c_str(), 0777);
        bench::MakeFile(root + "/big.bin", kBigSize);
        bench::MakeFile(root + "/small.bin", kSmallSize);
    }
};

class Fixture {
public:
    static Fixture& Get()
    {
        static Fixture fixture;
        return fixture;
    }

    int oursPort() const { return servers_->oursPort; }
    int vsftpdPort() const { return servers_->vsftpdPort; }
    const std::string base = bench::MakeScratchBase();

private:
    Fixture()
        : ours_(base + "/ours"),
          vs_(base + "/vs")
    {
        servers_ = std::make_unique<bench::SideBySideServers>(base, ours_.root, vs_.root, true);
    }

    ~Fixture()
    {
        servers_.reset();
        std::error_code ignored;
        stdfs::remove_all(base, ignored);
    }

    Share ours_, vs_;
    std::unique_ptr<bench::SideBySideServers> servers_;
};

double Seconds(const std::string& command)
{
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Url(int port, const std::string& path)
{
    return "ftp://" + bench::LoopbackUrlHost() + ":" + std::to_string(port) + "/" + path;
}

// CORVANE_BENCH_CURL replaces the client command (for example "curl -s --disable-epsv", to see the
// race above).
const std::string kCurl = std::getenv("CORVANE_BENCH_CURL") != nullptr
                              ? std::getenv("CORVANE_BENCH_CURL")
                              : "curl -s --disable-epsv --happy-eyeballs-timeout-ms 1";

// The median of the times; -1 when one of them failed.
double Median(std::vector<double> times)
{
    if (times.empty() || *std::min_element(times.begin(), times.end()) <= 0) return -1;
    std::sort(times.begin(), times.end());
    const std::size_t middle = times.size() / 2;
    return times.size() % 2 == 1 ? times[middle] : (times[middle - 1] + times[middle]) / 2;
}

// Times `command(port)` on both servers; reports MiB/s of `bytes` for each and the ratio.
template <typename Command>
void SideBySide(benchmark::State& state, long long bytes, Command command)
{
    Fixture& fixture = Fixture::Get();
    std::vector<double> oursTimes, theirTimes;
    for (auto _ : state) {
        oursTimes.push_back(Seconds(command(fixture.oursPort())));
        if (fixture.vsftpdPort() != 0) theirTimes.push_back(Seconds(command(fixture.vsftpdPort())));
    }
    const double ours = Median(oursTimes), theirs = Median(theirTimes);
    const double mib = static_cast<double>(bytes) / (1 << 20);
    if (ours <= 0) {
        state.SkipWithError("the transfer from this server failed");
        return;
    }
    state.counters["ours_MiB_per_s"] = mib / ours;
    if (theirs > 0) {
        state.counters["vsftpd_MiB_per_s"] = mib / theirs;
        state.counters["ratio"] = theirs / ours;
    }
}

void BM_Retr1GiB(benchmark::State& state)
{
    SideBySide(state, kBigSize, [](int port) { return kCurl + " -o /dev/null " + Url(port, "big.bin"); });
}

void BM_Stor1GiB(benchmark::State& state)
{
    const std::string source = Fixture::Get().base + "/ours/big.bin";
    SideBySide(state, kBigSize,
               [source](int port) { return kCurl + " -T " + source + " " + Url(port, "up/big-copy.bin"); });
}

void BM_HundredClients1MiB(benchmark::State& state)
{
    SideBySide(state, 100 * kSmallSize, [](int port) {
        return "bash -c 'for i in $(seq 100); do " + kCurl + " -o /dev/null " + Url(port, "small.bin") +
               " & done; wait'";
    });
}

}  // namespace

BENCHMARK(BM_Retr1GiB)->Iterations(7)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Stor1GiB)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HundredClients1MiB)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
