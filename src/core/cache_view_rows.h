// What the window's cache page shows, ready to draw: one row per cached entry (its name, its
// size as the window formats sizes, its hits, and icon 4 for a folder's listing or 6 for
// anything else), the hit rate ("12.50%") and the total size. Made from the cache's snapshot.
#pragma once

#include <string>
#include <vector>

#include "cache/cache_snapshot.h"

namespace corvane {

struct CacheViewRow {
    std::string name;
    std::string sizeText;
    std::string hitsText;
    int icon = 6;
};

struct CacheViewContents {
    std::vector<CacheViewRow> rows;
    std::string hitRateText;
    std::string totalSizeText;
};

CacheViewContents CacheViewContentsOf(const CacheSnapshotData& snapshot);

}  // namespace corvane
