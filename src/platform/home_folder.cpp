#include "platform/home_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/fs.h"

namespace corvane {
namespace {

std::string EnvironmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string UserHomeFolder()
{
    std::string home = EnvironmentValue("HOME");
    if (!home.empty()) return home;
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr)
        return found->pw_dir;
    return {};
}

std::string CurrentFolder()
{
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() > (1u << 20)) return {};
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

std::string ChosenHome(const std::string& commandLineHome)
{
    if (!commandLineHome.empty()) return commandLineHome;
    std::string fromEnvironment = EnvironmentValue("CORVANE_HOME");
    if (!fromEnvironment.empty()) return fromEnvironment;
    std::string dataHome = EnvironmentValue("XDG_DATA_HOME");
    if (!dataHome.empty() && dataHome.front() == '/') return dataHome + "/corvane-server";
    std::string userHome = UserHomeFolder();
    if (userHome.empty()) return {};
    return userHome + "/.local/share/corvane-server";
}

}  // namespace

std::string ResolveHomeFolder(const std::string& commandLineHome)
{
    std::string home = ChooseHomeFolder(commandLineHome);
    if (home.empty() || !fs::MakeHostFolders(home)) return {};
    return home;
}

std::string ChooseHomeFolder(const std::string& commandLineHome)
{
    std::string home = ChosenHome(commandLineHome);
    if (home.empty() || home.find('\0') != std::string::npos) return {};
    if (home.front() != '/') {
        std::string current = CurrentFolder();
        if (current.empty()) return {};
        home = current + "/" + home;
    }
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home;
}

}  // namespace corvane
