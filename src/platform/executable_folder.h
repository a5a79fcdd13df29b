// Where the running program file lives: the data that ships with it (the listing icons) is
// installed beside it.
#pragma once

#include <string>

namespace corvane {

// The host folder of the running executable, without a trailing "/"; empty when the host
// cannot tell.
std::string ExecutableFolder();

// The host folder of the data that ships with the program, without a trailing "/": beside the
// program when its "images" folder is there (a build folder, build/bin/images), otherwise the
// installed "../share/corvane-server" from the program's folder (/usr/share/corvane-server
// for /usr/bin/corvane-server).
std::string ShippedDataFolder();

}  // namespace corvane
