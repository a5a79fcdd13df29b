#include "core/cache_view_rows.h"

#include <cstdio>

#include "common/byte_size_text.h"

namespace corvane {

CacheViewContents CacheViewContentsOf(const CacheSnapshotData& snapshot)
{
    CacheViewContents contents;
    contents.rows.reserve(snapshot.rows.size());
    for (const CacheSnapshotRow& row : snapshot.rows) {
        contents.rows.push_back(
            CacheViewRow{row.key, FormatByteSize(static_cast<std::uint64_t>(row.size < 0 ? 0 : row.size), true),
                         std::to_string(row.hits), row.isFolder ? 4 : 6});
    }
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.2f%%", static_cast<double>(snapshot.hitRate));
    contents.hitRateText = rate;
    contents.totalSizeText =
        FormatByteSize(static_cast<std::uint64_t>(snapshot.totalSize < 0 ? 0 : snapshot.totalSize), true);
    return contents;
}

}  // namespace corvane
