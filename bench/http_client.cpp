// The HTTP client beside curl, on loopback, against nginx as the origin:
//
//  - BM_Get100MB: one synchronous GET of a 100 MB document, the body counted into a stream
//    that keeps nothing; curl fetches the same document to /dev/null.
//  - BM_ThousandGetsThroughTinyproxy: 1,000 sequential GETs of a small document through
//    tinyproxy, one component reused; curl makes the same 1,000 requests from one process (a
//    config file of URLs), so that process start-up is not counted against it.
//
// Each iteration runs both, one right after the other, and reports both rates and their ratio
// (ours / curl; above 1 is faster). nginx and tinyproxy are Debian packages (`apt-get install
// nginx tinyproxy`); nginx runs in the foreground from a scratch folder, as root.
// Run: build/bin/bench_http_client
#include <benchmark/benchmark.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include "net/http_cli.h"
#include "side_by_side_servers.h"

using namespace corvane;
namespace stdfs = std::filesystem;

namespace {

constexpr long long kBigSize = 100LL * 1000 * 1000;
constexpr int kSmallRequests = 1000;

// Counts what is written and keeps nothing.
class CountingBuffer : public std::streambuf {
public:
    long long count = 0;

protected:
    std::streamsize xsputn(const char*, std::streamsize n) override
    {
        count += n;
        return n;
    }
    int_type overflow(int_type c) override
    {
        ++count;
        return c;
    }
};

class Child {
public:
    explicit Child(const std::string& command)
    {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setpgid(0, 0);
            ::execl("/bin/sh", "sh", "-c", ("exec " + command + " >/dev/null 2>&1").c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::setpgid(pid_, pid_);
    }
    ~Child()
    {
        ::kill(-pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        ::kill(-pid_, SIGKILL);
    }

private:
    pid_t pid_;
};

bool WaitForPort(int port)
{
    EventLoop loop;
    for (int attempt = 0; attempt < 500; ++attempt) {
        TWSocket probe;
        bool done = false, ok = false;
        probe.OnSessionConnected = [&](TCustomWSocket*, std::uint16_t error) {
            done = true;
            ok = error == 0;
        };
        probe.SetAddr("127.0.0.1");
        probe.SetPort(std::to_string(port));
        probe.Connect();
        loop.RunUntil([&] { return done; }, std::chrono::milliseconds(200));
        if (ok) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// nginx and tinyproxy on free loopback ports, serving big.bin and small.txt of a scratch root.
struct Peers {
    std::string base = bench::MakeScratchBase();
    int nginxPort = bench::FreePort();
    int proxyPort = bench::FreePort();
    std::unique_ptr<Child> nginx, tinyproxy;
    bool ready = false;

    Peers()
    {
        stdfs::create_directories(base + "/root");
        bench::MakeFile(base + "/root/big.bin", kBigSize);
        std::ofstream(base + "/root/small.txt") << "a small document of some fifty bytes, for the proxy";
        std::ofstream(base + "/nginx.conf")
            << "worker_processes 1;\nuser root;\npid " << base << "/nginx.pid;\nerror_log " << base << "/error.log;\n"
            << "events { worker_connections 256; }\nhttp {\n access_log off;\n sendfile on;\n"
            << " client_body_temp_path " << base << "/tmp;\n proxy_temp_path " << base << "/tmp;\n"
            << " fastcgi_temp_path " << base << "/tmp;\n uwsgi_temp_path " << base << "/tmp;\n"
            << " scgi_temp_path " << base << "/tmp;\n"
            << " server { listen 127.0.0.1:" << nginxPort << "; root " << base << "/root; }\n}\n";
        std::ofstream(base + "/tinyproxy.conf") << "Port " << proxyPort
                                                << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 64\nAllow 127.0.0.1\n"
                                                   "LogLevel Critical\n";
        nginx = std::make_unique<Child>("nginx -c " + base + "/nginx.conf -g 'daemon off;'");
        tinyproxy = std::make_unique<Child>("tinyproxy -d -c " + base + "/tinyproxy.conf");
        ready = WaitForPort(nginxPort) && WaitForPort(proxyPort);
    }
    ~Peers()
    {
        nginx.reset();
        tinyproxy.reset();
        std::error_code ignored;
        stdfs::remove_all(base, ignored);
    }
    std::string Url(const std::string& name) const
    {
        return "http://127.0.0.1:" + std::to_string(nginxPort) + "/" + name;
    }
};

Peers& SharedPeers()
{
    static Peers peers;
    return peers;
}

double SecondsOf(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Report(benchmark::State& state, const char* unit, std::vector<double> ours, std::vector<double> curls,
            double amount)
{
    const double oursRate = amount / bench::SpreadOf(ours).median;
    const double curlRate = amount / bench::SpreadOf(curls).median;
    state.counters[std::string("ours_") + unit] = oursRate;
    state.counters[std::string("curl_") + unit] = curlRate;
    state.counters["ratio"] = oursRate / curlRate;
    state.counters["load"] = bench::LoadAverage();
}

void BM_Get100MB(benchmark::State& state)
{
    Peers& peers = SharedPeers();
    if (!peers.ready) {
        state.SkipWithError("nginx or tinyproxy did not start");
        return;
    }
    EventLoop loop;
    THttpCli http;
    std::vector<double> ours, curls;
    for (auto _ : state) {
        CountingBuffer counted;
        std::ostream sink(&counted);
        http.URL = peers.Url("big.bin");
        http.ReplyStream = &sink;
        ours.push_back(SecondsOf([&] { http.Get(); }));
        if (counted.count != kBigSize) state.SkipWithError("short document");
        const std::string curl = "curl -s -o /dev/null " + peers.Url("big.bin");
        curls.push_back(SecondsOf([&] {
            if (std::system(curl.c_str()) != 0) state.SkipWithError("curl failed");
        }));
    }
    Report(state, "MBps", ours, curls, static_cast<double>(kBigSize) / 1e6);
}
BENCHMARK(BM_Get100MB)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_ThousandGetsThroughTinyproxy(benchmark::State& state)
{
    Peers& peers = SharedPeers();
    if (!peers.ready) {
        state.SkipWithError("nginx or tinyproxy did not start");
        return;
    }
    const std::string config = peers.base + "/curl-urls.txt";
    {
        std::ofstream out(config);
        if (state.range(0) != 0) out << "proxy = \"http://127.0.0.1:" << peers.proxyPort << "\"\n";
        out << "silent\n";
        for (int i = 0; i < kSmallRequests; ++i)
            out << "url = \"" << peers.Url("small.txt") << "\"\noutput = \"/dev/null\"\n";
    }
    EventLoop loop;
    THttpCli http;
    std::vector<double> ours, curls;
    for (auto _ : state) {
        ours.push_back(SecondsOf([&] {
            for (int i = 0; i < kSmallRequests; ++i) {
                CountingBuffer counted;
                std::ostream sink(&counted);
                if (state.range(0) != 0) {
                    http.Proxy = "127.0.0.1";
                    http.ProxyPort = std::to_string(peers.proxyPort);
                }
                http.URL = peers.Url("small.txt");
                http.ReplyStream = &sink;
                http.Get();
            }
        }));
        const std::string curl = "curl -K " + config;
        curls.push_back(SecondsOf([&] {
            if (std::system(curl.c_str()) != 0) state.SkipWithError("curl failed");
        }));
    }
    Report(state, "requests_per_s", ours, curls, kSmallRequests);
}
// Argument 1: through tinyproxy; 0: straight to nginx, for what the proxy adds.
BENCHMARK(BM_ThousandGetsThroughTinyproxy)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
