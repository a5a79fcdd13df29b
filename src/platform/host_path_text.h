// Texts of host paths ("/" separates names), for the file-system boundary's own sources.
#pragma once

#include <string>

namespace corvane {

// The path without the "/" that end it; the root "/" stays as it is.
std::string WithoutTrailingSlashes(std::string path);

}  // namespace corvane
