// The home: the one host folder that holds everything the system keeps "beside the program"
// (CorvaneServer.ini, usersgroups.ini, the .kcf files, the index and shared-memory files,
// images/).
#pragma once

#include <string>

namespace corvane {

// Chooses the home and creates it (with its parents) when it is missing. The first that is set
// wins: `commandLineHome` (the --home option; empty when not given), $CORVANE_HOME,
// $XDG_DATA_HOME/corvane-server (only when $XDG_DATA_HOME is an absolute path, as the XDG rules
// say), then $HOME/.local/share/corvane-server (the password database's home folder when $HOME
// is unset). A relative choice is taken relative to the current working folder.
// Returns the absolute host path without a trailing "/", or an empty text when the folder can
// neither be found nor created (the caller reports that and stops).
// Any thread; reads the environment, so call it at start-up before other threads change it.
std::string ResolveHomeFolder(const std::string& commandLineHome);
// The same choice, as an absolute path, without creating anything (administration commands
// never create a home by a typo). Empty when no home can be chosen.
std::string ChooseHomeFolder(const std::string& commandLineHome);

}  // namespace corvane
