// Folder listings as LIST and NLST build them:
//
//  - BM_ListDetailed / BM_ListNamesOnly: a scratch folder of 10,000 (and 100,000) empty files
//    mapped as drive C:, listed as a whole in process. Reports the time per listing and the
//    entries listed per second; the listing text goes to the data connection unchanged, so this
//    is the engine's whole share of a LIST apart from the sending.
//  - BM_ListSideBySideWithVsftpd: LIST of a folder of 10,000 files over FTP on loopback, curl as
//    the client (ten listings, one after the other, per measurement), against this server (a
//    TFtpServer on a thread of its own, every login accepted) and against vsftpd (anonymous, an
//    identical folder). Reports milliseconds per listing for both and time_ratio (ours /
//    vsftpd; 1.0 or less is as fast or faster). vsftpd is the Debian package, run as root;
//    without it only this server is measured.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <thread>

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
    state.counters["entries/s"] = benchmark::Counter(static_cast<double>(files), benchmark::Counter::kIsIterationInvariantRate);
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
        const int fd = ::open((folder + "/file number " + std::to_string(i) + ".dat").c_str(), O_CREAT | O_WRONLY, 0644);
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
    SideBySideListing() : base_(bench::MakeScratchBase())
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
                                "); do curl -sf --disable-epsv -o /dev/null \"" + url + "\" || exit 1; done'";
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_ListSideBySideWithVsftpd(benchmark::State& state)
{
    SideBySideListing& servers = SideBySideListing::Get();
    double ours = 0, theirs = 0;
    for (auto _ : state) {
        ours = ListingSeconds(servers.oursPort());
        if (servers.vsftpdPort() != 0) theirs = ListingSeconds(servers.vsftpdPort());
    }
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

}  // namespace

BENCHMARK(BM_ListDetailed)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListNamesOnly)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListSideBySideWithVsftpd)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
