#include "platform/executable_folder.h"

#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

std::string ExecutableFolder()
{
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return std::string();
    const std::string file(path, static_cast<std::size_t>(length));
    const std::size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

std::string ShippedDataFolder()
{
    const std::string beside = ExecutableFolder();
    struct stat info {};
    if (beside.empty() || (::stat((beside + "/images").c_str(), &info) == 0 && S_ISDIR(info.st_mode))) return beside;
    const std::size_t slash = beside.rfind('/');
    return (slash == std::string::npos ? std::string() : beside.substr(0, slash)) + "/share/corvane-server";
}

}  // namespace corvane
