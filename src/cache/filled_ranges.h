// The parts of a cache entry's stream that transfers have written, as (start, end) byte pairs
// in the order they were recorded, and the test whether they cover the whole source.
// Pure data: the cache guards it.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace corvane {

struct FilledRanges {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;  // [start, end)
    std::uint64_t expectedTotal = 0;

    // Records start..end-1 as written; an empty or reversed pair records nothing.
    void Add(std::uint64_t start, std::uint64_t end);
    // Whether the ranges cover 0 up to the expected total without a gap: from position 0, the
    // first range in recorded order that holds the position moves it to that range's end,
    // until the position reaches the total (complete) or no range holds it (not complete). An
    // expected total of 0 is never complete.
    bool Complete() const;
};

}  // namespace corvane
