// Folder listings as LIST and NLST build them:
//
//  - BM_ListDetailed / BM_ListNamesOnly: a scratch folder of 10,000 (and 100,000) empty files
//    mapped as drive C:, listed as a whole in process. Reports the time per listing and the
//    entries listed per second; the listing text goes to the data connection unchanged, so this
//    is the engine's whole share of a LIST apart from the sending.
//  - BM_ListSideBySideWithVsftpd: LIST of a folder of 10,000 files over FTP on loopback, curl as
//    the client (ten listings, one after the other, per run; the median of five runs), against
//    this server (a TFtpServer on a thread of its own, every login accepted) and against vsftpd
//    (anonymous, an identical folder). Reports milliseconds per listing for both and time_ratio (ours /
//    vsftpd; 1.0 or less is as fast or faster). vsftpd is the Debian package, run as root;
//    without it only this server is measured. curl's happy-eyeballs timer is set to 1 ms: curl
//    (7.88) otherwise waits that timer's 200 ms before it connects the data connection when the
//    227 reply arrives before it has finished sending PASV, which a fast server always pays.
//  - BM_ListFinalReplyDelaySideBySide: the same listing with a plain client of its own that
//    notes when the data connection ends and when the "226" arrives: milliseconds between the
//    two, the median of ten listings, for both servers. The reply should follow the close at
//    once; a reply held back until the client acknowledges the "150" costs the client's
//    delayed-acknowledgement time (about 40 ms on Linux).
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "blocking_ftp_client.h"
#include "ftp/ftp_listing.h"
#include "side_by_side_servers.h"
#include "ftp/ftp_server.h"
#include "platform/drive_map.h"

using namespace corvane;

namespace {

// One scratch folder per size, made once and removed at exit.
class ListingFolder {
public:
    explicit ListingFolder(int files)
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "corvane-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) return;
        path_ = pattern;
        for (int i = 0; i < files; ++i) {
            const std::string name = path_ + "/file number " + std::to_string(i) + ".dat";
            const int fd = ::open(name.c_str(), O_CREAT | O_WRONLY, 0644);
            if (fd >= 0) ::close(fd);
        }
    }
    ~ListingFolder()
    {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

const ListingFolder& FolderOf(int files)
{
    static std::map<int, ListingFolder> folders;
    auto found = folders.find(files);
    if (found == folders.end()) found = folders.try_emplace(files, files).first;
    return found->second;
}

void RunListing(benchmark::State& state, bool detailed)
{
    const int files = static_cast<int>(state.range(0));
    const ListingFolder& folder = FolderOf(files);
    if (folder.Path().empty()) {
        state.SkipWithError("no scratch folder");
        return;
    }
    DriveMap::Configure({{'C', folder.Path()}}, folder.Path());
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = BuildListingText("C:\\*.*", detailed);
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["entries/s"] =
        benchmark::Counter(static_cast<double>(files), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["listing_bytes"] = static_cast<double>(bytes);
}

void BM_ListDetailed(benchmark::State& state) { RunListing(state, true); }

// ---- over FTP, side by side with vsftpd ---------------------------------------------------------

constexpr int kSideBySideFiles = 10000;
constexpr int kListingsPerRun = 10;

void MakeEmptyFiles(const std::string& folder, int files)
{
    std::filesystem::create_directories(folder);
    for (int i = 0; i < files; ++i) {
        const int fd =
            ::open((folder + "/file number " + std::to_string(i) + ".dat").c_str(), O_CREAT | O_WRONLY, 0644);
        if (fd >= 0) ::close(fd);
    }
}

// Both servers, each serving root/many (10,000 files) from a root of its own.
class SideBySideListing {
public:
    static SideBySideListing& Get()
    {
        static SideBySideListing listing;
        return listing;
    }

    int oursPort() const { return servers_->oursPort; }
    int vsftpdPort() const { return servers_->vsftpdPort; }

private:
    SideBySideListing()
        : base_(bench::MakeScratchBase())
    {
        for (const char* root : {"/ours", "/vs"}) {
            MakeEmptyFiles(base_ + root + "/many", kSideBySideFiles);
            ::chmod((base_ + root).c_str(), 0755);
        }
        servers_ = std::make_unique<bench::SideBySideServers>(base_, base_ + "/ours", base_ + "/vs", false);
    }

    ~SideBySideListing()
    {
        servers_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(base_, ignored);
    }

    std::string base_;
    std::unique_ptr<bench::SideBySideServers> servers_;
};

// Seconds for kListingsPerRun listings of many/ from the server on `port`; -1 when one failed.
double ListingSeconds(int port)
{
    const std::string url = "ftp://127.0.0.1:" + std::to_string(port) + "/many/";
    const std::string command = "bash -c 'for i in $(seq " + std::to_string(kListingsPerRun) +
                                "); do curl -sf --disable-epsv --happy-eyeballs-timeout-ms 1 -o /dev/null \"" + url +
                                "\" || exit 1; done'";
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_ListSideBySideWithVsftpd(benchmark::State& state)
{
    SideBySideListing& servers = SideBySideListing::Get();
    std::vector<double> oursTimes, theirTimes;
    for (auto _ : state) {
        oursTimes.push_back(ListingSeconds(servers.oursPort()));
        if (servers.vsftpdPort() != 0) theirTimes.push_back(ListingSeconds(servers.vsftpdPort()));
    }
    // The median run of each: one run slowed by the rest of the machine does not decide.
    const auto median = [](std::vector<double> times) {
        if (times.empty() || *std::min_element(times.begin(), times.end()) <= 0) return -1.0;
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    };
    const double ours = median(oursTimes), theirs = median(theirTimes);
    if (ours <= 0) {
        state.SkipWithError("the listing from this server failed");
        return;
    }
    state.counters["ours_ms_per_listing"] = ours * 1000 / kListingsPerRun;
    if (theirs > 0) {
        state.counters["vsftpd_ms_per_listing"] = theirs * 1000 / kListingsPerRun;
        state.counters["time_ratio"] = ours / theirs;
    }
}
void BM_ListNamesOnly(benchmark::State& state) { RunListing(state, false); }

// ---- the final reply after the data connection's end ---------------------------------------------

using Clock = std::chrono::steady_clock;

// A blocking FTP client of the fewest words: enough for a login, PASV and one LIST.
class PlainFtpClient {
public:
    explicit PlainFtpClient(int port)
        : control_(ConnectTo(port))
    {}
    ~PlainFtpClient()
    {
        if (control_ >= 0) ::close(control_);
    }
    PlainFtpClient(const PlainFtpClient&) = delete;
    PlainFtpClient& operator=(const PlainFtpClient&) = delete;

    bool Ok() const { return control_ >= 0; }

    // The last line of the next reply (the lines of a multi-line reply before it are skipped).
    std::string Reply()
    {
        for (;;) {
            const std::string line = Line();
            if (line.size() < 4 || line[3] != '-') return line;
        }
    }
    std::string Ask(const std::string& command)
    {
        const std::string text = command + "\r\n";
        if (::send(control_, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size())) return {};
        return Reply();
    }

    // Milliseconds from the end of the listing's data to its final reply; -1 on failure.
    double ListAndTimeFinalReply(const std::string& folder)
    {
        const int port = bench::PassivePort(Ask("PASV"));
        const int data = port < 0 ? -1 : ConnectTo(port);
        if (data < 0) return -1;
        const std::string command = "LIST " + folder + "\r\n";
        ::send(control_, command.data(), command.size(), MSG_NOSIGNAL);
        char buffer[65536];
        while (::recv(data, buffer, sizeof buffer, 0) > 0) {}
        const Clock::time_point dataEnded = Clock::now();
        ::close(data);
        std::string final = Reply();
        if (final.rfind("150", 0) == 0) final = Reply();  // unless it came before the data
        const Clock::time_point replied = Clock::now();
        if (final.rfind("226", 0) != 0) return -1;
        return std::chrono::duration<double, std::milli>(replied - dataEnded).count();
    }

private:
    static int ConnectTo(int port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
        if (fd >= 0) ::close(fd);
        return -1;
    }

    std::string Line()
    {
        for (;;) {
            const std::size_t end = pending_.find("\r\n");
            if (end != std::string::npos) {
                std::string line = pending_.substr(0, end);
                pending_.erase(0, end + 2);
                return line;
            }
            char buffer[4096];
            const ssize_t got = ::recv(control_, buffer, sizeof buffer, 0);
            if (got <= 0) return {};
            pending_.append(buffer, static_cast<std::size_t>(got));
        }
    }

    int control_;
    std::string pending_;
};

// The median delay of ten listings on `port`; -1 when one failed.
double MedianFinalReplyDelay(int port)
{
    PlainFtpClient client(port);
    if (!client.Ok()) return -1;
    client.Reply();  // the greeting
    const std::string user = client.Ask("USER anonymous");
    if (user.rfind("331", 0) == 0) client.Ask("PASS bench@example.com");
    std::vector<double> delays;
    for (int i = 0; i < 10; ++i) {
        const double delay = client.ListAndTimeFinalReply("/many/");
        if (delay < 0) return -1;
        delays.push_back(delay);
    }
    std::sort(delays.begin(), delays.end());
    return (delays[4] + delays[5]) / 2;
}

void BM_ListFinalReplyDelaySideBySide(benchmark::State& state)
{
    SideBySideListing& servers = SideBySideListing::Get();
    double ours = 0, theirs = 0;
    for (auto _ : state) {
        ours = MedianFinalReplyDelay(servers.oursPort());
        if (servers.vsftpdPort() != 0) theirs = MedianFinalReplyDelay(servers.vsftpdPort());
    }
    if (ours < 0) {
        state.SkipWithError("the listing from this server failed");
        return;
    }
    state.counters["ours_ms_after_data"] = ours;
    if (theirs >= 0 && servers.vsftpdPort() != 0) state.counters["vsftpd_ms_after_data"] = theirs;
}

}  // namespace

BENCHMARK(BM_ListDetailed)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListNamesOnly)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListSideBySideWithVsftpd)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ListFinalReplyDelaySideBySide)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
