// A fresh host folder for one test, removed with everything in it when the test ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace corvane::testing {

class ScratchFolder {
public:
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "corvane-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        // Read-only folders made by a test must not stop the clean-up.
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string Join(const std::string& name) const { return path_ + "/" + name; }

    // Writes a host file directly, bypassing the code under test.
    void Put(const std::string& name, const std::string& content) const
    {
        std::ofstream out(Join(name), std::ios::binary);
        out << content;
    }
    std::string Get(const std::string& name) const
    {
        std::ifstream in(Join(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string path_;
};

}  // namespace corvane::testing
