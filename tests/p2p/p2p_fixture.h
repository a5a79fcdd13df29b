// What the indexer and the search meet in the server: a list of search lines behind a lock, a
// controller that hands out a settings snapshot and collects log lines, and a scratch drive C:
// with an account store over it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "../platform/scratch_folder.h"
#include "accounts/permissions.h"
#include "p2p/index_thread.h"
#include "p2p/local_index.h"
#include "platform/drive_map.h"
#include "platform/fs.h"

namespace corvane::testing {

class ListIndex : public LocalIndex {
public:
    void indexAdd(const std::string& line) override
    {
        std::lock_guard guard(lock_);
        lines_.push_back(line);
    }
    void indexClear() override
    {
        std::lock_guard guard(lock_);
        lines_.clear();
        ++clears;
    }
    std::size_t indexCount() const override
    {
        std::lock_guard guard(lock_);
        return lines_.size();
    }
    std::string indexLine(std::size_t position) const override
    {
        std::lock_guard guard(lock_);
        return lines_.at(position);
    }
    std::size_t indexVisit(std::size_t from, std::size_t count,
                           const std::function<bool(std::string_view)>& visit) const override
    {
        std::lock_guard guard(lock_);
        std::size_t at = from;
        while (at < from + count && at < lines_.size())
            if (!visit(lines_[at++])) break;
        return at;
    }
    std::vector<std::string> Lines() const
    {
        std::lock_guard guard(lock_);
        return lines_;
    }
    int clears = 0;

private:
    mutable std::mutex lock_;
    std::vector<std::string> lines_;
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
        for (FolderFlag flag : flags) accounts.GrantFlag(account, folder, flag);
    }
    std::string IndexFile() const { return scratch.Join("p2pIndex.ksl"); }

    ScratchFolder scratch;
    permissionsClass accounts{scratch.Path(), [](const std::string& folder) { return fs::RealFolderExists(folder); }};
};

}  // namespace corvane::testing
