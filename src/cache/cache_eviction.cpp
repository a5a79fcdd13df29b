// serverCacheClass: eviction, with the list lock held. Entries go in the order the mode
// names until the room asked for (in memory charged, see CacheEntryCharge) is there:
//   FewestHitsFirst: passes with a threshold t = 0, 1, 2, ...; each pass walks the list from
//      its start and removes every entry with at most t hits while room is lacking. After a
//      removal the walk goes on at the next place, so the entry that moved up into the freed
//      place is looked at only in the next pass.
//   OldestAccessFirst, SmallestFirst, BiggestFirst: the oldest last access, the smallest size,
//      the biggest size. On equal values the earliest in the list.
// Passes whose threshold no entry reaches remove nothing and are skipped.
#include <algorithm>
#include <limits>

#include "cache/server_cache.h"

namespace corvane {

bool serverCacheClass::MakeRoom(std::int64_t bytes, std::int64_t capacity, CacheEvictionMode mode)
{
    // Bytes that transfers hold stay however much is removed: with them the room can never
    // come, and nothing is removed for nothing.
    if (capacity < bytes || capacity < inUseCharge_ + bytes) return false;
    Evict(bytes, capacity, mode);
    return capacity >= totalCharge_ + bytes;
}

void serverCacheClass::Evict(std::int64_t bytes, std::int64_t capacity, CacheEvictionMode mode)
{
    if (mode == CacheEvictionMode::FewestHitsFirst) {
        EvictByHits(bytes, capacity);
        return;
    }
    while (capacity < totalCharge_ + bytes && !entries_.empty()) Remove(ChooseVictim(mode));
}

void serverCacheClass::EvictByHits(std::int64_t bytes, std::int64_t capacity)
{
    std::int64_t threshold = 0;
    while (capacity < totalCharge_ + bytes && !entries_.empty()) {
        std::int64_t fewestLeft = std::numeric_limits<std::int64_t>::max();
        for (auto at = entries_.begin(); at != entries_.end();) {
            if (capacity >= totalCharge_ + bytes) return;
            const EntryPtr entry = at->second;
            if (entry->hits <= threshold) {
                ++at;
                // The walk steps over the entry that moved up into the removed one's place.
                if (at != entries_.end()) {
                    fewestLeft = std::min<std::int64_t>(fewestLeft, at->second->hits);
                    ++at;
                }
                Remove(entry);
            } else {
                fewestLeft = std::min<std::int64_t>(fewestLeft, entry->hits);
                ++at;
            }
        }
        threshold = std::max(threshold + 1, fewestLeft);
    }
}

serverCacheClass::EntryPtr serverCacheClass::ChooseVictim(CacheEvictionMode mode) const
{
    if (mode == CacheEvictionMode::OldestAccessFirst) return entries_.at(byAccess_.begin()->second);
    if (mode == CacheEvictionMode::SmallestFirst) return entries_.at(bySize_.begin()->second);
    // BiggestFirst: the biggest size, the earliest of those that have it.
    const std::int64_t biggest = bySize_.rbegin()->first;
    return entries_.at(bySize_.lower_bound({biggest, 0})->second);
}

}  // namespace corvane
