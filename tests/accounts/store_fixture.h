#pragma once
// A fresh program folder per test and an account store whose "existing folders" are a set
// the test declares (real paths, system form).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "accounts/permissions.h"
#include "accounts/real_path_compare.h"

namespace corvane {

class AccountStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device rd;
        home_ = std::filesystem::temp_directory_path() /
                ("corvane-accounts-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(home_);
        store_ = MakeStore();
    }
    void TearDown() override
    {
        store_.reset();
        std::filesystem::remove_all(home_);
    }

    std::unique_ptr<permissionsClass> MakeStore()
    {
        auto store = std::make_unique<permissionsClass>(home_.string(), [this](const std::string& folder) {
            std::lock_guard lock(foldersLock_);
            for (const auto& f : folders_)
                if (SameRealFolder(f, folder)) return true;
            return false;
        });
        // The cheapest hash: these tests are about the store, not about the cost of a guess.
        store->SetPasswordHashCost({1, 8});
        return store;
    }

    void AddFolders(std::initializer_list<std::string> folders)
    {
        std::lock_guard lock(foldersLock_);
        for (const auto& f : folders) folders_.insert(f);
    }

    std::string HomeFile(const std::string& name) const { return (home_ / name).string(); }
    void WriteHomeFile(const std::string& name, const std::string& content) const
    {
        std::ofstream(HomeFile(name), std::ios::binary) << content;
    }
    std::string ReadHomeFile(const std::string& name) const
    {
        std::ifstream in(HomeFile(name), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool HomeFileExists(const std::string& name) const { return std::filesystem::exists(home_ / name); }

    std::filesystem::path home_;
    std::unique_ptr<permissionsClass> store_;
    std::mutex foldersLock_;
    std::set<std::string> folders_;  // guarded by foldersLock_
};

}  // namespace corvane
