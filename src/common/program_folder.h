// The program folder: the home, where the settings, account and index files live.
#pragma once

#include <string>

#include "common/ini_image.h"

namespace corvane {

// Sets the program folder (a host path; a trailing "/" is added when missing). Start-up calls
// it once with ResolveHomeFolder's answer, before any other thread runs.
void SetProgramFolder(const std::string& hostFolder);

// The program folder as a host path ending in "/", so ProgramFolder() + "CorvaneServer.ini" is
// the settings file. When SetProgramFolder was never called, the first call resolves the home
// as ResolveHomeFolder("") does and keeps it ("./", the working folder, when no home can be
// found or made). Any thread (guarded by an internal mutex).
std::string ProgramFolder();

// Opens CorvaneServer.ini of the program folder as a whole-file image (empty when missing).
IniImage OpenServerSettings();

// Opens usersgroups.ini of the program folder, erases the section `name` (any case) and
// rewrites the file. False when the file could not be rewritten; true also when the section
// was not there (the file is then left as it was).
bool EraseAccountSection(const std::string& name);

}  // namespace corvane
