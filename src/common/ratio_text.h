// The upload/download ratio texts. A ratio is stored as a 32-bit float; 0 means no ratio.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace corvane {

inline constexpr std::array<std::string_view, 10> kRatioTexts = {"0",   "1/4", "1/3", "1/2", "3/4",
                                                                 "1/1", "4/3", "2/1", "3/1", "4/1"};

// The ratio one of kRatioTexts stands for ("1/3" -> one third); any other text gives 0.
double RatioFromText(std::string_view text);
// The index in kRatioTexts of the ratio equal to `ratio` at the stored precision (32-bit
// float), so RatioIndex(float(RatioFromText("1/3"))) is 2; 0 for any other value.
std::size_t RatioIndex(float ratio);

}  // namespace corvane
