// The number separators of the process's locale (LC_NUMERIC), for texts shown to the operator.
#pragma once

#include <string>

namespace corvane {

struct NumberSeparators {
    std::string decimal = ".";  // never empty
    std::string thousands;      // empty when the locale groups no digits (the "C" locale)
};

// Reads the C library's current LC_NUMERIC settings. The process starts in the "C" locale
// (".", no grouping) until it calls setlocale; the window does, from the user's environment.
NumberSeparators CurrentNumberSeparators();

}  // namespace corvane
