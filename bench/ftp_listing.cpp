// Folder listings as LIST and NLST build them: a scratch folder of 10,000 (and 100,000) empty
// files mapped as drive C:, listed as a whole. Reports the time per listing and the entries
// listed per second; the listing text goes to the data connection unchanged, so this is the
// engine's whole share of a LIST apart from the sending.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "ftp/ftp_listing.h"
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
void BM_ListNamesOnly(benchmark::State& state) { RunListing(state, false); }

}  // namespace

BENCHMARK(BM_ListDetailed)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListNamesOnly)->Arg(10000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
