// previousIndex: the lines of "p2pIndex.ksl" as the indexer found them at the start of a pass,
// with a hashed look-up by virtual path. The walk asks, for each entry it records, for the
// first stored line of the same path and whether any stored line of that path has the same
// stamp; an unchanged entry removes its line, so what remains after the walk is the lines of
// entries that vanished or changed. Each question costs one hash look-up, not a scan: a share
// of 100 000 files would otherwise cost 10^10 comparisons.
//
// Paths compare as real paths do on this host (VirtualPathKey): the drive letter without
// regard to case, the rest exactly. Owner: the indexer thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "p2p/index_lines.h"

namespace corvane {

class PreviousIndex {
public:
    PreviousIndex() = default;
    // Keeps the texts that are index lines, in order, each with the digest stamp written right
    // after it (DigestStampLine); anything else is dropped.
    explicit PreviousIndex(std::vector<std::string> lines);

    // The position of the first remaining line whose path is `virtualPath`.
    std::optional<std::size_t> FindFirst(std::string_view virtualPath) const;
    // Whether a remaining line has exactly this path and this stamp.
    bool HoldsStamp(std::string_view virtualPath, std::string_view stamp) const;
    const std::string& Line(std::size_t position) const { return lines_[position]; }
    // What the line's digest was made for; nothing for a line stored without it.
    const std::optional<DigestStamp>& DigestStampAt(std::size_t position) const { return stamps_[position]; }
    void Remove(std::size_t position);

    std::size_t RemainingCount() const { return remaining_; }
    // The remaining lines in their stored order.
    std::vector<std::string> Remaining() const;

private:
    struct Slots {
        std::vector<std::size_t> positions;  // in stored order
        std::size_t firstAlive = 0;          // removals only ever take the first one left
    };
    const Slots* SlotsOf(std::string_view virtualPath) const;

    std::vector<std::string> lines_;
    std::vector<std::optional<DigestStamp>> stamps_;
    std::vector<bool> alive_;
    std::unordered_map<std::string, Slots> byPath_;
    std::size_t remaining_ = 0;
};

}  // namespace corvane
