// The cost of a request against the size of the account store and the number of clients: the
// whole server (controller, session policy, account store) with either 1 user account and
// 1 client, or 10,000 user accounts and 256 clients logged in from 256 loopback addresses.
//
//  - BM_RetrSmallFile: PASV and RETR of a 4 KiB file by a client logged in as the account made
//    last, timed per transfer; the other clients sit idle, logged in as that same account.
//  - BM_LoginQuit: a connect, USER, PASS and QUIT of one more client as that account, timed
//    per login (the admission raises and lowers the account's per-address counts); "clients"
//    counts it with the ones held.
//
// Besides the time per request, "process_cpu_us" is the CPU time of the whole process (the
// server's threads and the clients) per request: on a loaded machine it varies far less than
// the elapsed time. The store also holds the "Anonymous" account of the first run. The server
// takes at most 256 connections, and a session may still be counted for a moment after its
// 221: the login benchmark holds 254 besides its own. Run: build/bin/bench_ftp_many_accounts
#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "accounts/permissions.h"
#include "blocking_ftp_client.h"
#include "side_by_side_servers.h"

using namespace corvane;

namespace {

constexpr long long kFileSize = 4096;

double ProcessCpuMicroseconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

// Times `request` in every iteration and reports the process's CPU time per request.
template <typename Request>
void Measure(benchmark::State& state, Request request)
{
    const double cpuBefore = ProcessCpuMicroseconds();
    for (auto _ : state)
        if (!request()) return state.SkipWithError("a request failed");
    state.counters["process_cpu_us"] =
        benchmark::Counter((ProcessCpuMicroseconds() - cpuBefore) / static_cast<double>(state.iterations()));
}
constexpr char kShare[] = "C:\\My Downloads\\";

std::string UserName(int n) { return "user" + std::to_string(n); }

// Loopback addresses 127.0.1.1, 127.0.1.2, ...: a client of its own address each.
std::string SourceAddress(int n) { return "127.0." + std::to_string(1 + n / 250) + "." + std::to_string(1 + n % 250); }

// The server with `accounts` user accounts sharing C:\My Downloads\ and `clients` - 1 idle
// clients logged in as the last of them; `timed` logs in as that account too, from 127.0.0.1.
class Crowd {
public:
    Crowd(int accounts, int clients)
        : base_(bench::MakeScratchBase()),
          lastUser(UserName(accounts - 1))
    {
        server_ = std::make_unique<bench::FullServer>(
            base_ + "/home", false,
            [accounts](serverController& controller) {
                permissionsClass& store = controller.accounts();
                for (int n = 0; n < accounts; ++n) {
                    store.AddUser(UserName(n), "pw", "All Others");
                    for (FolderFlag flag : {FolderFlag::get, FolderFlag::list, FolderFlag::CWD})
                        store.Folders().GrantFlag(UserName(n), kShare, flag);
                }
            },
            // The cheapest hash: this measures the account lookups, not the password check.
            "TlsRequiredForPasswordLogins=0\r\nPasswordHashPasses=1\r\nPasswordHashMemoryKiB=8\r\n");
        if (server_->port == 0) {
            std::fprintf(stderr, "the server did not start\n");
            return;
        }
        bench::MakeFile(server_->shareFolder + "/small.bin", kFileSize);
        for (int n = 0; n + 1 < clients; ++n) {
            idle_.push_back(std::make_unique<bench::BlockingFtpClient>(server_->port, SourceAddress(n)));
            if (!idle_.back()->Login(lastUser, "pw")) {
                Report(*idle_.back());
                return;
            }
        }
        timed = std::make_unique<bench::BlockingFtpClient>(server_->port, "127.0.0.1");
        ready = timed->Login(lastUser, "pw");
        if (!ready) Report(*timed);
    }

    ~Crowd()
    {
        timed.reset();
        idle_.clear();
        server_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(base_, ignored);
    }

    int Port() const { return server_->port; }

private:
    static void Report(const bench::BlockingFtpClient& client)
    {
        std::fprintf(stderr, "login refused: %s\n", client.lastReply.c_str());
    }

    const std::string base_;
    std::unique_ptr<bench::FullServer> server_;
    std::vector<std::unique_ptr<bench::BlockingFtpClient>> idle_;

public:
    const std::string lastUser;
    std::unique_ptr<bench::BlockingFtpClient> timed;
    bool ready = false;
};

void BM_RetrSmallFile(benchmark::State& state)
{
    Crowd crowd(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    if (!crowd.ready) return state.SkipWithError("the server did not start or a login failed");
    Measure(state, [&crowd] { return crowd.timed->Retrieve("small.bin") == kFileSize; });
}
BENCHMARK(BM_RetrSmallFile)
    ->ArgNames({"accounts", "clients"})
    ->Args({1, 1})
    ->Args({10000, 256})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->MinTime(3);

void BM_LoginQuit(benchmark::State& state)
{
    Crowd crowd(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)) - 1);
    if (!crowd.ready) return state.SkipWithError("the server did not start or a login failed");
    Measure(state, [&crowd] {
        bench::BlockingFtpClient client(crowd.Port(), "127.0.0.2");
        if (client.Login(crowd.lastUser, "pw") && client.Command("QUIT").rfind("221", 0) == 0) return true;
        std::fprintf(stderr, "login: %s\n", client.lastReply.c_str());
        return false;
    });
}
BENCHMARK(BM_LoginQuit)
    ->ArgNames({"accounts", "clients"})
    ->Args({1, 2})
    ->Args({10000, 255})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->MinTime(3);

}  // namespace

BENCHMARK_MAIN();
