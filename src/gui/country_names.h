// The country list of the P2P options dialog: the names shown, parallel to the stored codes.
#pragma once

#include <array>

#include "common/country_codes.h"

namespace corvane {

const std::array<const char*, kCountryCodeCount>& CountryNames();

}  // namespace corvane
