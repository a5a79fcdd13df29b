#include "core/drive_settings.h"

#include <cctype>

#include "platform/drive_map.h"

namespace corvane {

std::map<char, std::string> DriveLettersFromSettings(const IniImage& settings)
{
    std::map<char, std::string> letters;
    for (const std::string& key : settings.ReadSection(kDrivesSection)) {
        if (key.size() != 1 || !std::isalpha(static_cast<unsigned char>(key[0]))) continue;
        std::string folder = settings.ReadString(kDrivesSection, key, "");
        if (folder.empty()) continue;
        letters[static_cast<char>(std::toupper(static_cast<unsigned char>(key[0])))] = std::move(folder);
    }
    return letters;
}

void ConfigureDrivesFromSettings(const IniImage& settings, const std::string& homeFolder)
{
    std::string home = homeFolder;
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    DriveMap::Configure(DriveLettersFromSettings(settings), home);
}

}  // namespace corvane
