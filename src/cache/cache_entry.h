// cacheEntryClass: one cached item, a file's bytes, an FTP listing or an HTTP listing page.
//
// Owner: serverCacheClass, which guards every field with its list lock. The entry is shared:
// the list holds it while it is cached, and every transfer that fills or reads it holds it
// through its lease, so an entry taken out of the list keeps its bytes until the last of
// those transfers has finished.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cache/cache_memory_stream.h"
#include "cache/filled_ranges.h"
#include "platform/entry_stamp.h"

namespace corvane {

class cacheEntryClass {
public:
    std::shared_ptr<CacheMemoryStream> stream;
    // The source as it was when the entry was made (nothing for a source that did not exist).
    std::optional<fs::EntryStamp> sourceTime;
    // Local time of the last hit as a packed date-time (date in the high half, time of day in
    // the low half, two-second steps); the creation time until the first hit.
    std::int64_t lastAccess = 0;
    std::int32_t hits = 0;
    std::string key;
    bool isFolder = false;
    // The bytes counted against the capacity: the expected size at creation, then the stream's
    // real size once a transfer has ended.
    std::int64_t size = 0;
    // The memory counted against the capacity: what its bytes take from the host and the
    // entry's own bookkeeping (its record, its key, its places in the cache's indexes). For a
    // file it is known at creation; a listing's is corrected with its size.
    std::int64_t charge = 0;
    // Transfers filling the entry right now.
    std::int32_t users = 0;
    FilledRanges filled;

    // Transfers sending from the entry right now (hits). They do not make it busy, but they keep
    // its bytes alive, and counted, after it has left the list.
    std::int32_t readers = 0;
    // Still in the cache's list (false once evicted or invalidated).
    bool listed = true;
    // Creation order: the list's order.
    std::uint64_t sequence = 0;
    // An HTTP listing page: its size is known only once it has been written.
    bool isListingPage = false;

    bool Busy() const { return users != 0; }
    bool InUse() const { return users != 0 || readers != 0; }
    bool Complete() const { return isFolder || filled.Complete(); }
};

}  // namespace corvane
