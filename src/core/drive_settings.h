// The drive letters of section "Drives" of CorvaneServer.ini ("C=/srv/share", one key per
// letter), handed to the drive map at start-up.
#pragma once

#include <map>
#include <string>

#include "common/ini_image.h"

namespace corvane {

inline constexpr std::string_view kDrivesSection = "Drives";

// Keys that are one letter (either case) with a non-empty value; other keys are ignored.
std::map<char, std::string> DriveLettersFromSettings(const IniImage& settings);

// Configures the drive map from the settings, relative to the home (a host folder, with or
// without a trailing "/"). With no letter set, C is home/drive_c and is created.
void ConfigureDrivesFromSettings(const IniImage& settings, const std::string& homeFolder);

}  // namespace corvane
