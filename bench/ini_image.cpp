// The account store's load on the whole-file ini image: 10,000 account sections of nine keys
// written into one image and saved once, and the same file opened and read back.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "common/ini_image.h"
#include "platform/fs.h"

namespace {

using corvane::IniImage;

const char* const kAccountKeys[] = {"Home Directory", "Group",      "Password",          "Default Web Link", "UD Ratio",
                                    "Credit",         "Max Logins", "Max Logins Per IP", "Disabled"};

IniImage FilledImage(int accounts)
{
    IniImage image;
    for (int account = 0; account < accounts; ++account) {
        const std::string section = "user" + std::to_string(account);
        for (const char* key : kAccountKeys) image.WriteString(section, key, "C:\\Users\\" + section + "\\");
    }
    return image;
}

std::string ScratchPath()
{
    const char* folder = std::getenv("TMPDIR");
    return std::string(folder != nullptr ? folder : "/tmp") + "/corvane-bench-usersgroups.ini";
}

void BM_WriteAndSaveAccounts(benchmark::State& state)
{
    const std::string path = ScratchPath();
    for (auto _ : state) {
        IniImage image = FilledImage(static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(image.Save(path));
    }
    corvane::fs::RemoveHostFile(path);
}
BENCHMARK(BM_WriteAndSaveAccounts)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_OpenAndReadAccounts(benchmark::State& state)
{
    const std::string path = ScratchPath();
    const int accounts = static_cast<int>(state.range(0));
    FilledImage(accounts).Save(path);
    for (auto _ : state) {
        IniImage image = IniImage::Open(path);
        for (int account = 0; account < accounts; ++account)
            benchmark::DoNotOptimize(image.ReadString("USER" + std::to_string(account), "password", ""));
    }
    corvane::fs::RemoveHostFile(path);
}
BENCHMARK(BM_OpenAndReadAccounts)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
