// What the window shows of the cache: one row per entry in list order, the hit rate and the
// total size. A copy: the window may keep it as long as it likes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

struct CacheSnapshotRow {
    std::int32_t hits = 0;
    std::int64_t size = 0;
    std::string key;
    bool isFolder = false;
};

struct CacheSnapshotData {
    std::vector<CacheSnapshotRow> rows;
    float hitRate = 0;  // percent
    std::int64_t totalSize = 0;
};

}  // namespace corvane
