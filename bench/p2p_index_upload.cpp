// The index upload of 100 000 new index lines (1 000 requests of 100 lines) to the operator's
// services on a loopback port (tests/p2p/operator_service.py, Python's threaded TCP server, at
// nice 19: on a real network it runs on other machines), and the FTP service's NOOP latency
// while it runs against without it, in the same run.
//
// The share holds 100 000 empty files in 100 folders that Anonymous may list; an indexer run
// of its own (at idle priority, as the server's) indexes them and uploads them to one network.
// The FTP service is the whole server (controller, session policy); 16 clients send NOOP after
// NOOP for 2 s before the run starts and again while its upload runs. Reports upload_s (from
// "Uploading index" to the success line), requests_per_s, the NOOP p50 and p99 of both phases
// in microseconds, p99_ratio = p99 during the upload / p99 without it (the aim: 1.2 or less),
// and upload_ran_throughout (1 when the upload had not ended before its measurement did).
// Run: build/bin/bench_p2p_index_upload
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "accounts/permissions.h"
#include "noop_latency.h"
#include "p2p/index_thread.h"
#include "p2p/local_index_list.h"
#include "platform/fs.h"
#include "side_by_side_servers.h"

using namespace corvane;
using namespace std::chrono_literals;

namespace {

constexpr int kClients = 16;
constexpr auto kMeasured = 2s;
constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 1000;

// The operator's services as a child process; its port is the first line it prints.
class OperatorService {
public:
    explicit OperatorService(const std::string& folder)
    {
        const std::string script =
            std::filesystem::path(__FILE__).parent_path().string() + "/../tests/p2p/operator_service.py";
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[1], 1);
            ::close(fds[0]);
            ::close(fds[1]);
            // At the lowest priority: the index servers are other machines, and the measurement
            // is of what the upload costs this server, not of a peer sharing its processors.
            ::execlp("nice", "nice", "-n", "19", "python3", "-u", script.c_str(), folder.c_str(),
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string line;
        char c = 0;
        while (::read(fds[0], &c, 1) == 1 && c != '\n') line += c;
        ::close(fds[0]);
        port = std::atoi(line.c_str());
    }
    ~OperatorService()
    {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    int port = 0;

private:
    pid_t pid_ = -1;
};

// The indexer's controller: one network at the operator's, a public-looking address, and the
// moments of the log lines.
class UploadController : public IndexController {
public:
    IndexSettingsSnapshot TakeIndexSettings() override
    {
        IndexSettingsSnapshot s;
        s.countryCode = "DE";
        s.connectionType = "5";
        return s;
    }
    void WriteIndexLog(const std::string& line) override
    {
        std::lock_guard guard(lock_);
        if (line.rfind("! Uploading index", 0) == 0) uploadStart = std::chrono::steady_clock::now();
        if (line.rfind("! Username ", 0) == 0 || line.rfind("! Dravik index upload", 0) == 0) {
            uploadEnd = std::chrono::steady_clock::now();
            succeeded = line.rfind("! Username ", 0) == 0;
        }
    }
    P2PNetworkList* NetworkList() override { return &list; }
    std::vector<std::string> LocalAddresses() override { return {"198.51.100.7"}; }
    bool Uploading()
    {
        std::lock_guard guard(lock_);
        return uploadStart.time_since_epoch().count() != 0 && uploadEnd.time_since_epoch().count() == 0;
    }
    bool Ended()
    {
        std::lock_guard guard(lock_);
        return uploadEnd.time_since_epoch().count() != 0;
    }

    P2PNetworkList list;
    std::mutex lock_;
    std::chrono::steady_clock::time_point uploadStart{}, uploadEnd{};  // guarded by lock_
    bool succeeded = false;                                            // guarded by lock_
};

void BM_IndexUploadBesideFtp(benchmark::State& state)
{
    const std::string home = bench::MakeScratchBase();
    const std::string records = home + "/records";
    std::filesystem::create_directories(records);
    for (int f = 0; f < kFolders; ++f) {
        const std::string folder = home + "/drive_c/Share/d" + std::to_string(f);
        std::filesystem::create_directories(folder);
        for (int i = 0; i < kFilesPerFolder; ++i) std::ofstream(folder + "/file" + std::to_string(i) + ".txt");
    }
    OperatorService service(records);
    std::ofstream(records + "/script.txt") << "/v6/getwindex.php reply http://127.0.0.1:" << service.port << "/idx/\n";
    {
        bench::FullServer server(home, false);
        if (server.port == 0 || service.port == 0) {
            state.SkipWithError("the server or the operator service did not start");
            return;
        }
        std::filesystem::create_directories(home + "/scratch-accounts");
        permissionsClass accounts(home + "/scratch-accounts",
                                  [](const std::string& f) { return fs::RealFolderExists(f); });
        accounts.AddUser("Anonymous", "", "All Others");
        for (FolderFlag flag : {FolderFlag::list, FolderFlag::CWD, FolderFlag::inherit})
            accounts.Folders().GrantFlag("Anonymous", "C:\\Share\\", flag);
        UploadController controller;
        P2PNetwork network;
        network.name = "Bench";
        network.address = "http://127.0.0.1:" + std::to_string(service.port) + "/v6";
        network.userName = "alice";
        network.password = "secret";
        network.enabled = true;
        controller.list.Entries().push_back(network);

        bench::NoopLatencies without, during;
        bool throughout = false;
        std::size_t sent = 0;
        for (auto _ : state) {
            without = bench::MeasureNoops(server.port, kClients, kMeasured);
            LocalIndexList index;
            IndexThread run(&index, controller, accounts, {"iC:\\Share"}, home + "/bench-p2pIndex.ksl");
            run.Start();
            while (!controller.Uploading() && !controller.Ended()) std::this_thread::sleep_for(10ms);
            during = bench::MeasureNoops(server.port, kClients, kMeasured);
            throughout = controller.Uploading();
            run.Join();
            sent = run.newLines().size();
        }
        const double seconds = std::chrono::duration<double>(controller.uploadEnd - controller.uploadStart).count();
        std::size_t requests = 0;
        for (const auto& entry : std::filesystem::directory_iterator(records))
            requests += entry.path().filename().string().rfind("req-", 0) == 0 ? 1 : 0;
        if (!controller.succeeded) state.SkipWithError("the upload did not succeed");
        if (!during.ok || !without.ok) state.SkipWithError("a client failed");
        state.counters["lines"] = static_cast<double>(sent);
        state.counters["requests"] = static_cast<double>(requests);
        state.counters["upload_s"] = seconds;
        state.counters["requests_per_s"] = seconds > 0 ? static_cast<double>(requests) / seconds : 0;
        state.counters["without_p50_us"] = without.p50;
        state.counters["without_p99_us"] = without.p99;
        state.counters["during_p50_us"] = during.p50;
        state.counters["during_p99_us"] = during.p99;
        state.counters["p99_ratio"] = without.p99 > 0 ? during.p99 / without.p99 : 0;
        state.counters["upload_ran_throughout"] = throughout ? 1 : 0;
        state.counters["load_avg"] = bench::LoadAverage();
        server.StopServices();
    }
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
}
BENCHMARK(BM_IndexUploadBesideFtp)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
