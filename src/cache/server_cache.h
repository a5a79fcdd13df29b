// serverCacheClass: the directory and file cache. It keeps FTP listings, HTTP listing pages and
// file contents in memory so that repeated requests are answered without reading the disk.
// A file is cached while it is sent: the first transfer fills an entry, and once the filled
// ranges cover the whole file later transfers send from memory. Listings are cached whole.
//
// Keys are real paths (an HTTP listing page: its folder's path and "\<HTTPDirectoryListing>").
// They compare as this host compares real paths: the drive letter without regard to case, the
// rest exactly (two names that differ in case are two files here), and a folder's key with or
// without its trailing "\" is the same key. Entries are found through a hash of the key; the
// list keeps creation order beside it, with the orders that eviction needs.
//
// The capacity holds the memory the cache takes, not only the bytes it copies: each entry is
// counted at the room its bytes take from the host plus its bookkeeping (CacheEntryCharge).
//
// Threads: lookups, transfer ends and invalidations come from the server thread; the window
// thread sets the four settings, sets the capacity (which evicts) and takes snapshots. The
// settings have a read/write lock; the list has a lock of its own, held for list work only
// (never while the file system is asked anything). Streams are touched by the server thread
// only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "cache/cache_entry.h"
#include "cache/cache_lease.h"
#include "cache/cache_snapshot.h"

namespace corvane {

// What a lookup is for: a download wants a file, a listing a folder; a source of the other kind
// is not cached for it.
enum class CacheSource { Any, File, Folder };

// The order in which entries leave when room is lacking (cache_eviction.cpp). The settings
// keep it as its number, FileCacheMode 0 to 3, which the window's list shows in this order.
enum class CacheEvictionMode {
    FewestHitsFirst = 0,    // keeps the most used files
    OldestAccessFirst = 1,  // keeps the most recently used
    SmallestFirst = 2,      // keeps the biggest
    BiggestFirst = 3,       // keeps the smallest
};
inline constexpr int kCacheEvictionModeCount = 4;

inline constexpr std::int64_t kDefaultCacheCapacity = 134217728;  // 128 MB
// The room a folder's listing is given before its size is known.
inline constexpr std::int64_t kFolderEntryRoom = 8196;

class serverCacheClass {
public:
    // `packedNow` gives the local time as a packed date-time for the entries' last access;
    // tests give their own clock.
    explicit serverCacheClass(std::function<std::int64_t()> packedNow = {});
    // Outlives every lease it handed out (the server thread frees its engines first).
    ~serverCacheClass();
    serverCacheClass(const serverCacheClass&) = delete;
    serverCacheClass& operator=(const serverCacheClass&) = delete;

    // ---- Server thread ----
    // Answers Fill (fill the lease's stream while sending; finish with CacheTransferDone), Serve
    // (send from it) or None (do not use the cache). Counts the lookup, unless the source has gone or is
    // not of the kind asked for.
    CacheLease CacheLookup(const std::string& key, CacheSource source = CacheSource::Any);
    // The transfer of `lease` has ended: for a fill, the bytes start..end-1 are in the stream.
    // Lowers the entry's users, and removes the entry when `failed`. A finished lease stays
    // tied to its entry for CacheUpdateSize.
    void CacheTransferDone(CacheLease& lease, std::int64_t start, std::int64_t end, bool failed);
    // The lease's entry counts its stream's real size from now on (an HTTP listing page also
    // learns its length); an entry that no longer fits is evicted room for, or dropped.
    void CacheUpdateSize(const CacheLease& lease);
    // Takes the entry for key out of the cache, also while transfers use it (they keep its bytes
    // until they end).
    void CacheInvalidate(const std::string& key);
    // A folder's content changed through this server: its FTP listing and its HTTP listing page
    // are dropped (a file rewritten in place leaves the folder's own time as it was).
    void InvalidateFolderListings(const std::string& folder);

    // ---- Any thread ----
    void SetDirectoryCacheEnabled(bool on);
    void SetFileCacheEnabled(bool on);
    // The settings' number of a CacheEvictionMode; one out of range takes the nearest.
    void SetCacheMode(int mode);
    // Stores the capacity and evicts at once, by the current mode, until one more byte would
    // fit (a capacity of 0 empties the cache).
    void SetCacheCapacity(std::int64_t bytes);
    bool DirectoryCacheEnabled() const;
    bool FileCacheEnabled() const;
    int CacheMode() const;
    std::int64_t CacheCapacity() const;
    CacheSnapshotData CacheSnapshot() const;
    // The sum of the entries' sizes (what the window shows as the total).
    std::int64_t TotalSize() const;
    // The memory the entries take, counted against the capacity: never above it, but for
    // entries that transfers still use after the capacity was lowered.
    std::int64_t MemoryCharged() const;
    std::int64_t Lookups() const;
    std::int64_t CacheHits() const;
    // Cache hits over lookups, in percent (0 before the first lookup).
    float HitRate() const;
    std::size_t EntryCount() const;

private:
    friend class CacheLease;
    using EntryPtr = std::shared_ptr<cacheEntryClass>;

    // Under listLock_.
    EntryPtr Find(const std::string& normalKey) const;
    EntryPtr Create(const std::string& key, const std::string& normalKey, bool isFolder, bool isListingPage,
                    std::int64_t expected, const std::optional<fs::EntryStamp>& stamp, std::int64_t capacity);
    void Remove(const EntryPtr& entry);
    void Unuse(cacheEntryClass& entry, bool filler);
    void Use(cacheEntryClass& entry, bool filler);
    void Resize(cacheEntryClass& entry, std::int64_t size, std::int64_t charge);
    void Touch(cacheEntryClass& entry);
    bool MakeRoom(std::int64_t bytes, std::int64_t capacity, CacheEvictionMode mode);
    void Evict(std::int64_t bytes, std::int64_t capacity, CacheEvictionMode mode);
    void EvictByHits(std::int64_t bytes, std::int64_t capacity);
    EntryPtr ChooseVictim(CacheEvictionMode mode) const;
    void Release(CacheLease& lease) noexcept;
    float HitRateLocked() const;

    // ---- Settings: the read/write lock ----
    mutable std::shared_mutex settingsLock_;
    bool directoryCacheOn_ = false;                  // guarded by settingsLock_
    bool fileCacheOn_ = false;                       // guarded by settingsLock_
    std::int64_t capacity_ = kDefaultCacheCapacity;  // guarded by settingsLock_
    CacheEvictionMode mode_ = CacheEvictionMode::FewestHitsFirst;  // guarded by settingsLock_

    // ---- The list: listLock_ ----
    mutable std::mutex listLock_;
    std::map<std::uint64_t, EntryPtr> entries_;                  // by creation order
    std::unordered_map<std::string, std::uint64_t> byKey_;       // normal key -> sequence
    std::set<std::pair<std::int64_t, std::uint64_t>> byAccess_;  // (last access, sequence)
    std::set<std::pair<std::int64_t, std::uint64_t>> bySize_;    // (size, sequence)
    std::uint64_t nextSequence_ = 1;
    // Every entry alive: listed ones, and those transfers still use. The sizes are what the
    // window shows; the charges are what the capacity holds.
    std::int64_t totalSize_ = 0;
    std::int64_t totalCharge_ = 0;
    std::int64_t inUseCharge_ = 0;  // of the charges, those of the entries transfers use now
    std::int64_t lookups_ = 0;
    std::int64_t cacheHits_ = 0;

    std::function<std::int64_t()> packedNow_;
};

// The memory an entry of `bytes` bytes under a key of `keyLength` characters is counted at:
// the room of its bytes and the entry's bookkeeping.
std::int64_t CacheEntryCharge(std::int64_t bytes, std::size_t keyLength);
// The key as the cache compares it: the drive letter in lower case, a trailing "\" dropped
// from a text longer than 3 characters.
std::string NormalCacheKey(std::string_view key);
// The file or folder whose changes make a key's entry stale: the key without its listing
// marker and what follows it, without a trailing "\" when longer than 3 characters.
std::string CacheSourceOf(std::string_view key);
// The local time now as a packed date-time: the DOS date in the high half, the time of day in
// two-second steps in the low half.
std::int64_t PackedLocalNow();

}  // namespace corvane
