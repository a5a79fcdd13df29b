// Account store: loading and saving 10,000 users in 100 groups (5 folder entries each), and
// one folder check 10 levels below its inheriting entry.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "accounts/permissions.h"

namespace {

using corvane::FolderFlag;
using corvane::IniImage;
using corvane::permissionsClass;

std::filesystem::path FreshHome() {
  auto home = std::filesystem::temp_directory_path() / "corvane-bench-accounts";
  std::filesystem::remove_all(home);
  std::filesystem::create_directories(home);
  return home;
}

bool AnyFolderExists(const std::string&) { return true; }

void FillStore(permissionsClass& store) {
  store.LoadAccounts(IniImage());
  for (int g = 0; g < 100; ++g) store.AddGroup("group" + std::to_string(g));
  for (int u = 0; u < 10000; ++u) {
    std::string name = "user" + std::to_string(u);
    store.AddUser(name, "pw" + std::to_string(u), "group" + std::to_string(u % 100));
    for (int f = 0; f < 5; ++f) {
      std::string folder = "C:\\share\\" + name + "\\f" + std::to_string(f) + "\\";
      store.GrantFlag(name, folder, FolderFlag::get);
      store.GrantFlag(name, folder, FolderFlag::inherit);
    }
  }
}

void BM_LoadAccounts(benchmark::State& state) {
  auto home = FreshHome();
  {
    permissionsClass store(home.string(), AnyFolderExists);
    FillStore(store);
    store.SaveAccounts();
  }
  for (auto _ : state) {
    permissionsClass store(home.string(), AnyFolderExists);
    store.LoadAccounts();
    benchmark::DoNotOptimize(store.FindUser("user9999"));
    state.PauseTiming();
    store.SaveAccounts();  // unchanged: writes usersgroups.ini, skips the folder files
    state.ResumeTiming();
  }
  std::filesystem::remove_all(home);
}
BENCHMARK(BM_LoadAccounts)->Unit(benchmark::kMillisecond)->Iterations(3);

// Saving after every folder file changed (each is rewritten), the worst case.
void BM_SaveAccountsAllChanged(benchmark::State& state) {
  auto home = FreshHome();
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home);
    permissionsClass store(home.string(), AnyFolderExists);
    FillStore(store);
    state.ResumeTiming();
    store.SaveAccounts();
  }
  std::filesystem::remove_all(home);
}
BENCHMARK(BM_SaveAccountsAllChanged)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_CheckFolderPermissionTenLevelsDown(benchmark::State& state) {
  auto home = FreshHome();
  permissionsClass store(home.string(), AnyFolderExists);
  store.LoadAccounts(IniImage());
  store.AddUser("jo", "", "All Others");
  for (int f = 0; f < 5; ++f) store.GrantFlag("jo", "C:\\other" + std::to_string(f) + "\\", FolderFlag::get);
  store.GrantFlag("jo", "C:\\share\\", FolderFlag::get);
  store.GrantFlag("jo", "C:\\share\\", FolderFlag::inherit);
  std::string deep = "C:\\share\\";
  for (int level = 0; level < 10; ++level) deep += "level" + std::to_string(level) + "\\";
  for (auto _ : state) benchmark::DoNotOptimize(store.CheckFolderPermission("jo", deep, "get"));
  std::filesystem::remove_all(home);
}
BENCHMARK(BM_CheckFolderPermissionTenLevelsDown);

}  // namespace

BENCHMARK_MAIN();
