// A secret file left readable by others is tightened at start and the change is logged; one
// that is already the owner's, and files that hold no secret, are left as they are.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "core/secret_files.h"

namespace corvane {
namespace {

namespace sfs = std::filesystem;

TEST(SecretFiles, SecretFilesReadableByOthersBecomeTheOwnersAtStart)
{
    std::random_device rd;
    const sfs::path home = sfs::temp_directory_path() / ("corvane-secrets-" + std::to_string(rd()));
    sfs::create_directories(home);
    struct Case {
        const char* name;
        unsigned mode;
        unsigned expected;
    } cases[] = {
        {"usersgroups.ini", 0644, 0600}, {"user - jo.kcf", 0640, 0600}, {"user - Al.KCF", 0604, 0600},
        {"CorvaneServer.ini", 0600, 0600}, {"CorvaneServer.key", 0666, 0600}, {"CorvaneServer.crt", 0644, 0644},
        {"notes.txt", 0644, 0644},
    };
    for (const Case& c : cases) {
        std::ofstream(home / c.name) << "x";
        sfs::permissions(home / c.name, sfs::perms(c.mode));
    }
    std::vector<std::string> lines;
    TightenSecretFiles(home.string() + "/", "", [&lines](const std::string& line) { lines.push_back(line); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(static_cast<unsigned>(sfs::status(home / c.name).permissions() & sfs::perms::all), c.expected);
    }
    EXPECT_EQ(lines.size(), 4u);
    sfs::remove_all(home);
}

}  // namespace
}  // namespace corvane
