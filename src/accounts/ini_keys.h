#pragma once
// Reading the account store's integer keys. Pure function: safe from any thread.
#include <limits>
#include <string_view>

#include "common/ini_image.h"

namespace corvane {

// An integer key as an int; the default when it is missing, not a number or out of range.
inline int ReadIntKey(const IniImage& image, std::string_view section, std::string_view key, int def)
{
    long long v = image.ReadInteger(section, key, def);
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) return def;
    return static_cast<int>(v);
}

}  // namespace corvane
