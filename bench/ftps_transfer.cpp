// FTPS side by side with vsftpd (ssl_enable=YES, the same certificate), on loopback, with real
// clients:
//
//  - BM_FtpsRetr1GiB / BM_FtpsStor1GiB: one download and one upload of a 1 GiB file with curl
//    --ssl-reqd (AUTH TLS, PROT P, passive), anonymous on both servers.
//  - BM_Ftps256Logins: 256 clients at once (Python's ftplib.FTP_TLS, one thread each) connect,
//    AUTH TLS, log in and quit; the time until the last has quit (a client waits at most 20 s
//    for any reply; rounds in which a client failed are counted, their time kept).
//
// Reports per server the median of each measure and the ratio ours/vsftpd (rates: above 1 is
// faster; times: below 1 is faster). Each iteration runs both servers one right after the
// other, vsftpd first in every other one. This server is the bare FTP engine on a thread of its
// own (every login accepted, drive C: a scratch folder) with TLS channels from the certificate
// pair that vsftpd is given too. Without vsftpd (`apt-get install vsftpd`) or root, only this
// server is measured. Run: build/bin/bench_ftps_transfer
#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "side_by_side_servers.h"
#include "tls/tls_context.h"

using namespace corvane;
namespace stdfs = std::filesystem;

namespace {

constexpr long long kBigSize = 1LL << 30;

class Fixture {
public:
    static Fixture& Get()
    {
        static Fixture fixture;
        return fixture;
    }
    const std::string base = bench::MakeScratchBase();
    std::string oursRoot = base + "/ours", vsRoot = base + "/vs";
    std::shared_ptr<TTlsContext> tls;
    std::unique_ptr<bench::BareFtpEngine> ours;
    std::unique_ptr<bench::VsftpdServer> vsftpd;

private:
    Fixture()
    {
        for (const std::string& root : {oursRoot, vsRoot}) {
            stdfs::create_directories(root + "/up");
            ::chmod(root.c_str(), 0755);
            ::chmod((root + "/up").c_str(), 0777);
            bench::MakeFile(root + "/big.bin", kBigSize);
        }
        const std::string crt = base + "/bench.crt", key = base + "/bench.key";
        std::string why;
        if (!WriteSelfSignedPair(crt, key, "localhost", why)) std::fprintf(stderr, "no certificate: %s\n", why.c_str());
        tls = TTlsContext::ForServer(crt, key, why);
        ours = std::make_unique<bench::BareFtpEngine>(base, oursRoot, [this](TFtpServer& server) {
            if (tls) server.SetSecureChannelMaker(tls->Maker());
        });
        vsftpd = std::make_unique<bench::VsftpdServer>(
            base, vsRoot,
            "write_enable=YES\nanon_upload_enable=YES\nanon_other_write_enable=YES\n"
            "ssl_enable=YES\nrsa_cert_file=" +
                crt + "\nrsa_private_key_file=" + key +
                "\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\nforce_anon_data_ssl=YES\n"
                "ssl_tlsv1=NO\nssl_sslv2=NO\nssl_sslv3=NO\nssl_ciphers=HIGH\nrequire_ssl_reuse=YES\n");
        std::fprintf(stderr, "ours on port %d, vsftpd on port %d\n", ours->port, vsftpd->port);
    }
    ~Fixture()
    {
        ours.reset();
        vsftpd.reset();
        std::error_code ignored;
        stdfs::remove_all(base, ignored);
    }
};

// Rounds whose client command failed, by port: a failed round still counts with its time
// (a login that timed out took that long), and is reported beside it.
std::map<int, int> failedRounds;

double Seconds(const std::string& command, int port)
{
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != 0) ++failedRounds[port];
    return elapsed;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// curl's happy-eyeballs timer delays a fast server's passive data connection (see
// bench_ftp_transfer); it is set to 1 ms for both.
std::string Curl(int port, const std::string& what)
{
    return "curl -s -S --ssl-reqd -k --happy-eyeballs-timeout-ms 1 --max-time 120 " + what +
           " ftp://127.0.0.1:" + std::to_string(port);
}

void SideBySide(benchmark::State& state, const std::function<double(int port, const std::string& root)>& measure,
                bool rate)
{
    Fixture& f = Fixture::Get();
    std::vector<double> ours, theirs;
    int round = 0;
    for (auto _ : state) {
        const bool vsFirst = round++ % 2 == 1;
        if (vsFirst && f.vsftpd->port != 0) theirs.push_back(measure(f.vsftpd->port, f.vsRoot));
        ours.push_back(measure(f.ours->port, f.oursRoot));
        if (!vsFirst && f.vsftpd->port != 0) theirs.push_back(measure(f.vsftpd->port, f.vsRoot));
    }
    const double us = Median(ours), them = Median(theirs);
    if (rate) {
        state.counters["ours_MiB_s"] = us > 0 ? kBigSize / us / (1 << 20) : 0;
        if (them > 0) state.counters["vsftpd_MiB_s"] = kBigSize / them / (1 << 20);
        if (them > 0 && us > 0) state.counters["ratio"] = them / us;
    } else {
        state.counters["ours_ms"] = us * 1000;
        if (them > 0) state.counters["vsftpd_ms"] = them * 1000;
        if (them > 0 && us > 0) state.counters["ratio"] = us / them;
    }
    state.counters["ours_failed_rounds"] = failedRounds[f.ours->port];
    if (f.vsftpd->port != 0) state.counters["vsftpd_failed_rounds"] = failedRounds[f.vsftpd->port];
}

void BM_FtpsRetr1GiB(benchmark::State& state)
{
    SideBySide(
        state, [](int port, const std::string&) { return Seconds(Curl(port, "-o /dev/null") + "/big.bin", port); },
        true);
}
BENCHMARK(BM_FtpsRetr1GiB)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FtpsStor1GiB(benchmark::State& state)
{
    SideBySide(
        state,
        [](int port, const std::string& root) {
            return Seconds(Curl(port, "-T " + root + "/big.bin") + "/up/copy.bin", port);
        },
        true);
}
BENCHMARK(BM_FtpsStor1GiB)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

constexpr const char* kLogins = R"PY(
import ftplib, ssl, sys, threading
port = int(sys.argv[1])
ctx = ssl.create_default_context()
ctx.check_hostname = False
ctx.verify_mode = ssl.CERT_NONE
failed = []
def one():
    try:
        f = ftplib.FTP_TLS(context=ctx)
        f.connect('127.0.0.1', port, timeout=20)
        f.auth()
        f.login()
        f.quit()
    except Exception as e:
        failed.append(e)
threads = [threading.Thread(target=one) for _ in range(256)]
for t in threads: t.start()
for t in threads: t.join()
if failed:
    print('port', port, len(failed), 'failed, the first:', repr(failed[0]), file=sys.stderr)
sys.exit(1 if failed else 0)
)PY";

void BM_Ftps256Logins(benchmark::State& state)
{
    Fixture& f = Fixture::Get();
    const std::string script = f.base + "/logins.py";
    std::ofstream(script) << kLogins;
    SideBySide(
        state,
        [&](int port, const std::string&) { return Seconds("python3 " + script + " " + std::to_string(port), port); },
        false);
}
BENCHMARK(BM_Ftps256Logins)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
