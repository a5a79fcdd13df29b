// What the indexer and the search meet in the server: a list of search lines behind a lock, a
// controller that hands out a settings snapshot and collects log lines, and a scratch drive C:
// with an account store over it.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "../platform/scratch_folder.h"
#include "accounts/permissions.h"
#include "p2p/index_thread.h"
#include "p2p/local_index_list.h"
#include "platform/drive_map.h"
#include "platform/fs.h"

namespace corvane::testing {

// The server's list, counting its clears.
class ListIndex : public LocalIndexList {
public:
    void indexClear() override
    {
        LocalIndexList::indexClear();
        ++clears;
    }
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        indexVisit(0, indexCount(), [&lines](std::string_view line) {
            lines.emplace_back(line);
            return true;
        });
        return lines;
    }
    std::atomic<int> clears{0};
};

class RecordingController : public IndexController {
public:
    IndexSettingsSnapshot TakeIndexSettings() override { return settings; }
    void WriteIndexLog(const std::string& line) override
    {
        std::lock_guard guard(lock_);
        log.push_back(line);
    }
    IndexSettingsSnapshot settings;
    std::vector<std::string> log;  // read after the run has ended

private:
    std::mutex lock_;
};

class SharedDriveTest : public ::testing::Test {
protected:
    SharedDriveTest()
    {
        std::filesystem::create_directories(scratch.Join("c"));
        DriveMap::Configure({{'C', scratch.Join("c")}}, scratch.Path());
        accounts.AddUser("Anonymous", "", "All Others");
    }
    ~SharedDriveTest() override { DriveMap::Configure({}, scratch.Path()); }

    // "Share/a.txt" -> the host file under the drive; folders on the way are made.
    void Put(const std::string& relative, const std::string& content = "x")
    {
        const std::filesystem::path host = scratch.Join("c/" + relative);
        std::filesystem::create_directories(host.parent_path());
        scratch.Put("c/" + relative, content);
    }
    void MakeFolder(const std::string& relative) { std::filesystem::create_directories(scratch.Join("c/" + relative)); }
    void Grant(const std::string& account, const std::string& folder, std::initializer_list<FolderFlag> flags)
    {
        for (FolderFlag flag : flags) accounts.Folders().GrantFlag(account, folder, flag);
    }
    std::string IndexFile() const { return scratch.Join("p2pIndex.ksl"); }

    ScratchFolder scratch;
    permissionsClass accounts{scratch.Path(), [](const std::string& folder) { return fs::RealFolderExists(folder); }};
};

}  // namespace corvane::testing
