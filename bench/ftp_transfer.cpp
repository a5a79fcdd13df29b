// File transfers side by side with vsftpd, on loopback, with curl as the client:
//
//  - BM_Retr1GiB / BM_Stor1GiB: one download and one upload of a 1 GiB file, passive mode.
//  - BM_HundredClients1MiB: 100 curl processes at once, each fetching a 1 MiB file.
//
// Each benchmark times the same curl command against this server (a TFtpServer on a thread of
// its own, every login accepted, drive C: a scratch folder) and against vsftpd (anonymous, the
// same files), and reports both rates and their ratio (ours / vsftpd; above 1 is faster).
// vsftpd is the Debian package (`apt-get install vsftpd`, run as root); without it only this
// server is measured. Run: build/bin/bench_ftp_transfer
#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "ftp/ftp_server.h"
#include "platform/drive_map.h"

using namespace corvane;
namespace stdfs = std::filesystem;

namespace {

constexpr long long kBigSize = 1LL << 30;
constexpr long long kSmallSize = 1LL << 20;
constexpr char kVsftpd[] = "/usr/sbin/vsftpd";

void MakeFile(const std::string& path, long long size)
{
    // Real bytes, not a sparse file: both servers read what a real share holds.
    std::ofstream out(path, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 7919) & 0xFF);
    for (long long written = 0; written < size; written += static_cast<long long>(block.size()))
        out.write(block.data(), static_cast<std::streamsize>(std::min<long long>(size - written, block.size())));
}

int FreePort()
{
    EventLoop loop;
    TWSocket probe;
    probe.SetAddr("127.0.0.1");
    probe.SetPort("0");
    probe.Listen();
    return std::stoi(probe.GetXPort());
}

// The files both servers serve: root/big.bin, root/small.bin and the upload folder root/up.
struct Share {
    std::string root;
    explicit Share(const std::string& folder) : root(folder)
    {
        stdfs::create_directories(root + "/up");
        ::chmod(root.c_str(), 0755);
        ::chmod((root + "/up").c_str(), 0777);
        MakeFile(root + "/big.bin", kBigSize);
        MakeFile(root + "/small.bin", kSmallSize);
    }
};

class Fixture {
public:
    static Fixture& Get()
    {
        static Fixture fixture;
        return fixture;
    }

    int oursPort = 0, vsftpdPort = 0;
    std::string base;

private:
    Fixture()
    {
        char pattern[] = "/tmp/corvane-bench-XXXXXX";
        base = ::mkdtemp(pattern);
        ::chmod(base.c_str(), 0755);
        ours_ = std::make_unique<Share>(base + "/ours");
        vs_ = std::make_unique<Share>(base + "/vs");
        StartOurs();
        StartVsftpd();
    }

    ~Fixture()
    {
        if (vsftpdPid_ > 0) {
            ::kill(vsftpdPid_, SIGTERM);
            ::waitpid(vsftpdPid_, nullptr, 0);
        }
        if (loop_ != nullptr) loop_->Quit();
        if (thread_.joinable()) thread_.join();
        std::error_code ignored;
        stdfs::remove_all(base, ignored);
    }

    void StartOurs()
    {
        DriveMap::Configure({{'C', ours_->root}}, base);
        std::promise<int> port;
        thread_ = std::thread([this, &port] {
            EventLoop loop;
            TFtpServer server;
            server.SetAddr("127.0.0.1");
            server.SetPort("0");
            server.OnClientConnect = [](TFtpServer*, TFtpCtrlSocket* client, std::uint16_t) {
                client->SetHomeDirectory("C:\\");
            };
            server.Start();
            loop_ = &loop;
            port.set_value(std::stoi(server.ServerWSocket().GetXPort()));
            loop.MessageLoop();
            server.DisconnectAll();
        });
        oursPort = port.get_future().get();
    }

    void StartVsftpd()
    {
        if (::access(kVsftpd, X_OK) != 0 || ::geteuid() != 0) return;
        vsftpdPort = FreePort();
        const std::string conf = base + "/vsftpd.conf";
        std::ofstream out(conf);
        out << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" << vsftpdPort
            << "\nbackground=NO\nanonymous_enable=YES\nno_anon_password=YES\nanon_root=" << vs_->root
            << "\nwrite_enable=YES\nanon_upload_enable=YES\nanon_other_write_enable=YES\nlocal_enable=NO\n"
               "seccomp_sandbox=NO\nmax_clients=0\nmax_per_ip=0\nsecure_chroot_dir=/var/run/vsftpd/empty\n"
               "xferlog_enable=NO\nsyslog_enable=NO\nvsftpd_log_file=/dev/null\n";
        out.close();
        vsftpdPid_ = ::fork();
        if (vsftpdPid_ == 0) {
            ::execl(kVsftpd, kVsftpd, conf.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }

    std::unique_ptr<Share> ours_, vs_;
    std::thread thread_;
    EventLoop* loop_ = nullptr;
    pid_t vsftpdPid_ = -1;
};

double Seconds(const std::string& command)
{
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Url(int port, const std::string& path) { return "ftp://127.0.0.1:" + std::to_string(port) + "/" + path; }

// Times `command(port)` on both servers; reports MiB/s of `bytes` for each and the ratio.
template <typename Command>
void SideBySide(benchmark::State& state, long long bytes, Command command)
{
    Fixture& fixture = Fixture::Get();
    double ours = 0, theirs = 0;
    for (auto _ : state) {
        ours = Seconds(command(fixture.oursPort));
        if (fixture.vsftpdPort != 0) theirs = Seconds(command(fixture.vsftpdPort));
    }
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
    SideBySide(state, kBigSize, [](int port) {
        return "curl -s --disable-epsv -o /dev/null " + Url(port, "big.bin");
    });
}

void BM_Stor1GiB(benchmark::State& state)
{
    const std::string source = Fixture::Get().base + "/ours/big.bin";
    SideBySide(state, kBigSize, [source](int port) {
        return "curl -s --disable-epsv -T " + source + " " + Url(port, "up/big-copy.bin");
    });
}

void BM_HundredClients1MiB(benchmark::State& state)
{
    SideBySide(state, 100 * kSmallSize, [](int port) {
        return "bash -c 'for i in $(seq 100); do curl -s --disable-epsv -o /dev/null " + Url(port, "small.bin") +
               " & done; wait'";
    });
}

}  // namespace

BENCHMARK(BM_Retr1GiB)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Stor1GiB)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HundredClients1MiB)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
