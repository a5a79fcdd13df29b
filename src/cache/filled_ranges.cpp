#include "cache/filled_ranges.h"

namespace corvane {

void FilledRanges::Add(std::uint64_t start, std::uint64_t end)
{
    if (end <= start) return;
    // Ranges that a transfer records over and over (every hit of a half-filled entry, a client
    // that resumes again and again) would only lengthen the walk.
    for (const auto& range : ranges)
        if (range.first <= start && end <= range.second) return;
    ranges.emplace_back(start, end);
}

bool FilledRanges::Complete() const
{
    if (expectedTotal == 0) return false;
    std::uint64_t position = 0;
    for (;;) {
        bool moved = false;
        for (const auto& range : ranges) {
            if (range.first <= position && position < range.second) {
                position = range.second;
                moved = true;
                break;
            }
        }
        if (position >= expectedTotal) return true;
        if (!moved) return false;
    }
}

}  // namespace corvane
