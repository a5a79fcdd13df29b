#include "platform/home_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/scratch_folder.h"

namespace corvane {
namespace {

// Sets an environment variable for one test and restores it afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value)
        : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value != nullptr) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~ScopedEnvironment()
    {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(HomeFolderTest, TheCommandLineWinsAndTheFolderIsCreated)
{
    testing::ScratchFolder scratch;
    ScopedEnvironment env("CORVANE_HOME", scratch.Join("from-env").c_str());
    EXPECT_EQ(ResolveHomeFolder(scratch.Join("cli/deep/")), scratch.Join("cli/deep"));
    EXPECT_TRUE(std::filesystem::is_directory(scratch.Join("cli/deep")));
    EXPECT_FALSE(std::filesystem::exists(scratch.Join("from-env")));
}

TEST(HomeFolderTest, EnvironmentThenXdgThenHome)
{
    testing::ScratchFolder scratch;
    ScopedEnvironment corvane("CORVANE_HOME", scratch.Join("env").c_str());
    ScopedEnvironment xdg("XDG_DATA_HOME", scratch.Join("xdg").c_str());
    ScopedEnvironment home("HOME", scratch.Join("user").c_str());
    EXPECT_EQ(ResolveHomeFolder(""), scratch.Join("env"));
    {
        ScopedEnvironment noCorvane("CORVANE_HOME", nullptr);
        EXPECT_EQ(ResolveHomeFolder(""), scratch.Join("xdg/corvane-server"));
        ScopedEnvironment relativeXdg("XDG_DATA_HOME", "relative");  // not absolute: ignored
        EXPECT_EQ(ResolveHomeFolder(""), scratch.Join("user/.local/share/corvane-server"));
        EXPECT_TRUE(std::filesystem::is_directory(scratch.Join("user/.local/share/corvane-server")));
    }
}

TEST(HomeFolderTest, RelativeChoicesBecomeAbsoluteAndImpossibleOnesFail)
{
    testing::ScratchFolder scratch;
    auto previous = std::filesystem::current_path();
    std::filesystem::current_path(scratch.Path());
    std::string resolved = ResolveHomeFolder("rel/home");
    std::filesystem::current_path(previous);
    EXPECT_EQ(resolved, std::filesystem::canonical(scratch.Path()).string() + "/rel/home");

    scratch.Put("file", "x");
    EXPECT_EQ(ResolveHomeFolder(scratch.Join("file/home")), "");
}

}  // namespace
}  // namespace corvane
