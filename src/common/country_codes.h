// The country codes of the P2P sign-up, one per entry of the country list and in its order:
// "UN" (unknown) first, then the two-letter codes in the order of the English country names,
// with "UK" for the United Kingdom and the older codes "TP", "AN" and "YU".
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace corvane {

inline constexpr std::size_t kCountryCodeCount = 238;
extern const std::array<std::string_view, kCountryCodeCount> kCountryCodes;

// The position of a code in kCountryCodes (exact, upper case), or 0 ("UN") when it is not there.
std::size_t CountryCodeIndex(std::string_view code);

}  // namespace corvane
