#include "common/program_folder.h"

#include <mutex>

#include "common/constants.h"
#include "platform/home_folder.h"

namespace corvane {
namespace {

std::mutex programFolderMutex;
std::string programFolder;  // guarded by programFolderMutex; ends in "/" once set

std::string WithTrailingSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

}  // namespace

void SetProgramFolder(const std::string& hostFolder)
{
    std::lock_guard lock(programFolderMutex);
    programFolder = WithTrailingSlash(hostFolder);
}

std::string ProgramFolder()
{
    std::lock_guard lock(programFolderMutex);
    if (programFolder.empty()) {
        std::string home = ResolveHomeFolder("");
        // No usable home: the working folder, so the settings still have a place to go.
        programFolder = home.empty() ? std::string("./") : WithTrailingSlash(home);
    }
    return programFolder;
}

IniImage OpenServerSettings() { return IniImage::Open(ProgramFolder() + std::string(kServerSettingsFileName)); }

bool EraseAccountSection(const std::string& name)
{
    const std::string path = ProgramFolder() + std::string(kAccountDatabaseFileName);
    IniImage image = IniImage::Open(path);
    if (!image.SectionExists(name)) return true;
    image.EraseSection(name);
    return image.SaveOwnerOnly(path);
}

}  // namespace corvane
