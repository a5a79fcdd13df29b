#include "common/ratio_text.h"

namespace corvane {
namespace {

constexpr std::array<double, kRatioTexts.size()> kRatioValues = {0.0, 0.25,      1.0 / 3.0, 0.5, 0.75,
                                                                 1.0, 4.0 / 3.0, 2.0,       3.0, 4.0};

}  // namespace

double RatioFromText(std::string_view text)
{
    for (std::size_t i = 0; i < kRatioTexts.size(); ++i)
        if (kRatioTexts[i] == text) return kRatioValues[i];
    return 0.0;
}

std::size_t RatioIndex(float ratio)
{
    for (std::size_t i = 0; i < kRatioValues.size(); ++i)
        if (static_cast<float>(kRatioValues[i]) == ratio) return i;
    return 0;
}

}  // namespace corvane
