// Logins per second on one thread: the check of a password against its Argon2id hash at the
// default cost, against the constant-time comparison of a scrambled password as earlier files
// keep it (what every login cost before hashing). The server runs the hashed check on two
// worker threads; a busy machine lowers both figures.
#include <benchmark/benchmark.h>

#include "accounts/account_names.h"
#include "accounts/permissions.h"

namespace {

using corvane::permissionsClass;

permissionsClass::LoginCheck CheckOf(corvane::StoredPassword stored) { return {true, false, std::move(stored)}; }

void BM_ScrambledPasswordCheck(benchmark::State& state)
{
    const auto check = CheckOf(corvane::ParseStoredPassword(corvane::ScramblePassword("correct horse")));
    for (auto _ : state) benchmark::DoNotOptimize(permissionsClass::CheckLogin(check, "correct horse"));
    state.counters["logins/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ScrambledPasswordCheck);

void BM_HashedPasswordCheck(benchmark::State& state)
{
    const auto cost = corvane::InteractivePasswordHashCost();
    const auto check = CheckOf(corvane::StoredPassword::FromHash(corvane::HashPassword("correct horse", cost)));
    for (auto _ : state) benchmark::DoNotOptimize(permissionsClass::CheckLogin(check, "correct horse"));
    state.counters["logins/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HashedPasswordCheck)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
