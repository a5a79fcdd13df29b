// Where the running program file lives: the data that ships with it (the listing icons) is
// installed beside it.
#pragma once

#include <string>

namespace corvane {

// The host folder of the running executable, without a trailing "/"; empty when the host
// cannot tell.
std::string ExecutableFolder();

}  // namespace corvane
