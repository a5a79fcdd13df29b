// Account store: loading and saving 10,000 users in 100 groups (5 folder entries each), and
// one folder check 10 levels below its inheriting entry.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "accounts/permissions.h"

namespace {

using corvane::FolderFlag;
using corvane::IniImage;
using corvane::permissionsClass;

std::filesystem::path FreshHome()
{
    auto home = std::filesystem::temp_directory_path() / "corvane-bench-accounts";
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home);
    return home;
}

bool AnyFolderExists(const std::string&) { return true; }

void FillStore(permissionsClass& store)
{
    // The cheapest hash: this measures the store, not the cost of a password (password_check).
    store.SetPasswordHashCost({1, 8});
    store.LoadAccounts(IniImage());
    for (int g = 0; g < 100; ++g) store.AddGroup("group" + std::to_string(g));
    for (int u = 0; u < 10000; ++u) {
        std::string name = "user" + std::to_string(u);
        store.AddUser(name, "pw" + std::to_string(u), "group" + std::to_string(u % 100));
        for (int f = 0; f < 5; ++f) {
            std::string folder = "C:\\share\\" + name + "\\f" + std::to_string(f) + "\\";
            store.Folders().GrantFlag(name, folder, FolderFlag::get);
            store.Folders().GrantFlag(name, folder, FolderFlag::inherit);
        }
    }
}

// The store as FillStore left it, saved: every account has its sections and folder file.
std::filesystem::path SavedHome()
{
    auto home = FreshHome();
    permissionsClass store(home.string(), AnyFolderExists);
    FillStore(store);
    store.SaveAccounts();
    return home;
}

std::string FileText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void BM_LoadAccounts(benchmark::State& state)
{
    auto home = SavedHome();
    for (auto _ : state) {
        std::optional<permissionsClass> store;
        store.emplace(home.string(), AnyFolderExists);
        store->LoadAccounts();
        benchmark::DoNotOptimize(store->FindUser("user9999"));
        state.PauseTiming();
        store.reset();  // the records' teardown is not part of loading
        state.ResumeTiming();
    }
    std::filesystem::remove_all(home);
}
BENCHMARK(BM_LoadAccounts)->Unit(benchmark::kMillisecond)->Iterations(3);

// The worst case: every one of the 10,100 folder files exists and every one has changed since
// it was loaded, so each is replaced on the disk (not merely created in an empty folder).
void BM_SaveAccountsAllChanged(benchmark::State& state)
{
    auto home = SavedHome();
    bool put = true;  // the saved files grant no "put"; each round flips it everywhere
    for (auto _ : state) {
        state.PauseTiming();
        permissionsClass store(home.string(), AnyFolderExists);
        store.LoadAccounts();
        for (int u = 0; u < 10000; ++u) {
            std::string name = "user" + std::to_string(u);
            std::string folder = "C:\\share\\" + name + "\\f0\\";
            if (put) store.Folders().GrantFlag(name, folder, FolderFlag::put);
            else store.Folders().RevokeFlag(name, folder, FolderFlag::put);
        }
        for (int g = 0; g < 100; ++g) {
            std::string name = "group" + std::to_string(g);
            if (put) store.Folders().GrantFlag(name, "C:\\groups\\", FolderFlag::put);
            else store.Folders().RevokeFlag(name, "C:\\groups\\", FolderFlag::put);
        }
        state.ResumeTiming();
        store.SaveAccounts();
        state.PauseTiming();
        // The files on the disk must hold the new state, or this measured nothing.
        const char wanted = put ? 'p' : '-';
        if (FileText(home / "user - user4321.kcf").substr(1, 1) != std::string(1, wanted) ||
            FileText(home / "group - group42.kcf").substr(1, 1) != std::string(1, wanted)) {
            state.SkipWithError("the folder files were not rewritten");
            break;
        }
        put = !put;
        state.ResumeTiming();
    }
    std::filesystem::remove_all(home);
}
BENCHMARK(BM_SaveAccountsAllChanged)->Unit(benchmark::kMillisecond)->Iterations(3);

// Nothing changed since loading: only usersgroups.ini is rewritten.
void BM_SaveAccountsNoneChanged(benchmark::State& state)
{
    auto home = SavedHome();
    for (auto _ : state) {
        state.PauseTiming();
        permissionsClass store(home.string(), AnyFolderExists);
        store.LoadAccounts();
        state.ResumeTiming();
        store.SaveAccounts();
    }
    std::filesystem::remove_all(home);
}
BENCHMARK(BM_SaveAccountsNoneChanged)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CheckFolderPermissionTenLevelsDown(benchmark::State& state)
{
    auto home = FreshHome();
    permissionsClass store(home.string(), AnyFolderExists);
    store.LoadAccounts(IniImage());
    store.AddUser("jo", "", "All Others");
    for (int f = 0; f < 5; ++f)
        store.Folders().GrantFlag("jo", "C:\\other" + std::to_string(f) + "\\", FolderFlag::get);
    store.Folders().GrantFlag("jo", "C:\\share\\", FolderFlag::get);
    store.Folders().GrantFlag("jo", "C:\\share\\", FolderFlag::inherit);
    std::string deep = "C:\\share\\";
    for (int level = 0; level < 10; ++level) deep += "level" + std::to_string(level) + "\\";
    for (auto _ : state) benchmark::DoNotOptimize(store.Folders().CheckFolderPermission("jo", deep, "get"));
    std::filesystem::remove_all(home);
}
BENCHMARK(BM_CheckFolderPermissionTenLevelsDown);

}  // namespace

BENCHMARK_MAIN();
