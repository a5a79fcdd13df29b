#include "platform/drive_map.h"
#include "platform/host_path_text.h"
#include "platform/real_path_names.h"

#include <sys/stat.h>

#include <mutex>
#include <shared_mutex>
#include <vector>

namespace corvane {
namespace {

std::shared_mutex mapMutex;
std::map<char, std::string> hostFolders;  // guarded by mapMutex; upper-case letter -> folder

char UpperDrive(char letter)
{
    if (letter >= 'a' && letter <= 'z') return static_cast<char>(letter - 'a' + 'A');
    return letter;
}

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

using ParsedRealPath = RealPathNames;

// A real path with its drive letter in upper case; a NUL byte means it names nothing, rather
// than a path silently cut short at the host call.
std::optional<ParsedRealPath> ParseRealPath(std::string_view realPath)
{
    if (realPath.find('\0') != std::string_view::npos) return std::nullopt;
    auto parsed = SplitRealPathNames(realPath);
    if (parsed) parsed->drive = UpperDrive(parsed->drive);
    return parsed;
}

}  // namespace

void DriveMap::Configure(const std::map<char, std::string>& letters, const std::string& homeFolder)
{
    std::map<char, std::string> configured;
    const std::string home = WithoutTrailingSlashes(homeFolder);
    if (letters.empty()) {
        std::string driveC = home + "/drive_c";
        // An existing folder is fine; one that cannot be made leaves C: mapped all the same,
        // and every operation on it then fails as on a missing disk.
        ::mkdir(driveC.c_str(), 0777);
        configured['C'] = driveC;
    } else {
        for (const auto& [letter, folder] : letters) {
            if (!IsDriveLetter(letter) || folder.empty()) continue;
            std::string hostFolder = folder.front() == '/' ? folder : home + "/" + folder;
            configured[UpperDrive(letter)] = WithoutTrailingSlashes(hostFolder);
        }
    }
    std::unique_lock lock(mapMutex);
    hostFolders = std::move(configured);
}

std::optional<std::string> DriveMap::HostPathOf(std::string_view realPath)
{
    auto parsed = ParseRealPath(realPath);
    if (!parsed) return std::nullopt;
    std::string hostPath;
    {
        std::shared_lock lock(mapMutex);
        auto it = hostFolders.find(parsed->drive);
        if (it == hostFolders.end()) return std::nullopt;
        hostPath = it->second;
    }
    if (parsed->names.empty()) return hostPath;
    if (hostPath == "/") hostPath.clear();
    for (std::string_view name : parsed->names) {
        hostPath += '/';
        hostPath.append(name);
    }
    if (parsed->trailingSeparator) hostPath += '/';
    return hostPath;
}

std::optional<std::string> DriveMap::HostFolderOfDrive(char letter)
{
    std::shared_lock lock(mapMutex);
    auto it = hostFolders.find(UpperDrive(letter));
    if (it == hostFolders.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> DriveMap::RealPathOf(std::string_view hostPath)
{
    char bestDrive = 0;
    std::size_t bestLength = 0;
    {
        std::shared_lock lock(mapMutex);
        for (const auto& [letter, folder] : hostFolders) {
            const bool inside = folder == "/"
                                    ? !hostPath.empty() && hostPath.front() == '/'
                                    : hostPath.substr(0, folder.size()) == folder &&
                                          (hostPath.size() == folder.size() || hostPath[folder.size()] == '/');
            if (inside && (bestDrive == 0 || folder.size() > bestLength)) {
                bestDrive = letter;
                bestLength = folder == "/" ? 0 : folder.size();
            }
        }
    }
    if (bestDrive == 0) return std::nullopt;
    std::string real{bestDrive, ':', '\\'};
    std::string_view rest = hostPath.substr(bestLength);
    while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
    for (char c : rest) real += c == '/' ? '\\' : c;
    return real;
}

std::map<char, std::string> DriveMap::Snapshot()
{
    std::shared_lock lock(mapMutex);
    return hostFolders;
}

bool DriveMap::IsDriveRoot(std::string_view realPath)
{
    auto parsed = ParseRealPath(realPath);
    if (!parsed || !parsed->names.empty()) return false;
    std::shared_lock lock(mapMutex);
    return hostFolders.count(parsed->drive) != 0;
}

}  // namespace corvane
