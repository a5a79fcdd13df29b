#include "cache/server_cache.h"

#include <algorithm>
#include <ctime>

#include "common/constants.h"
#include "platform/calendar_time.h"

namespace corvane {
namespace {

std::string_view WithoutTrailingBackslash(std::string_view text)
{
    if (text.size() > 3 && text.back() == '\\') text.remove_suffix(1);
    return text;
}

bool HasListingMarker(std::string_view key) { return key.find(kListingMarker) != std::string_view::npos; }

}  // namespace

std::string NormalCacheKey(std::string_view key)
{
    std::string normal(WithoutTrailingBackslash(key));
    if (normal.size() >= 2 && normal[1] == ':' && normal[0] >= 'A' && normal[0] <= 'Z') normal[0] += 'a' - 'A';
    return normal;
}

std::string CacheSourceOf(std::string_view key)
{
    const std::size_t marker = key.find(kListingMarker);
    if (marker != std::string_view::npos) key = key.substr(0, marker);
    return std::string(WithoutTrailingBackslash(key));
}

std::int64_t PackedLocalNow()
{
    // Every hit asks; the local time is worked out once a second per thread.
    thread_local std::time_t second = -1;
    thread_local std::int64_t packed = 0;
    const std::time_t seconds = std::time(nullptr);
    if (seconds == second) return packed;
    second = seconds;
    const CalendarTime now = LocalCalendarTime(seconds);
    if (!now.valid || now.year < 1980) return packed = 0;
    const std::int64_t date = ((now.year - 1980) << 9) | (now.month << 5) | now.day;
    const std::int64_t time = (now.hour << 11) | (now.minute << 5) | (now.second / 2);
    return packed = (date << 16) | time;
}

serverCacheClass::serverCacheClass(std::function<std::int64_t()> packedNow)
    : packedNow_(packedNow ? std::move(packedNow) : std::function<std::int64_t()>(PackedLocalNow))
{}

serverCacheClass::~serverCacheClass() = default;

// ---- Settings ----

void serverCacheClass::SetDirectoryCacheEnabled(bool on)
{
    std::unique_lock<std::shared_mutex> hold(settingsLock_);
    directoryCacheOn_ = on;
}

void serverCacheClass::SetFileCacheEnabled(bool on)
{
    std::unique_lock<std::shared_mutex> hold(settingsLock_);
    fileCacheOn_ = on;
}

void serverCacheClass::SetCacheMode(int mode)
{
    std::unique_lock<std::shared_mutex> hold(settingsLock_);
    mode_ = static_cast<CacheEvictionMode>(std::clamp(mode, 0, kCacheEvictionModeCount - 1));
}

void serverCacheClass::SetCacheCapacity(std::int64_t bytes)
{
    bytes = std::max<std::int64_t>(bytes, 0);
    CacheEvictionMode mode = CacheEvictionMode::FewestHitsFirst;
    {
        std::unique_lock<std::shared_mutex> hold(settingsLock_);
        capacity_ = bytes;
        mode = mode_;
    }
    std::lock_guard<std::mutex> hold(listLock_);
    Evict(1, bytes, mode);
}

bool serverCacheClass::DirectoryCacheEnabled() const
{
    std::shared_lock<std::shared_mutex> hold(settingsLock_);
    return directoryCacheOn_;
}

bool serverCacheClass::FileCacheEnabled() const
{
    std::shared_lock<std::shared_mutex> hold(settingsLock_);
    return fileCacheOn_;
}

int serverCacheClass::CacheMode() const
{
    std::shared_lock<std::shared_mutex> hold(settingsLock_);
    return static_cast<int>(mode_);
}

std::int64_t serverCacheClass::CacheCapacity() const
{
    std::shared_lock<std::shared_mutex> hold(settingsLock_);
    return capacity_;
}

// ---- Lookups ----

CacheLease serverCacheClass::CacheLookup(const std::string& key, CacheSource source)
{
    // The file system is asked before the list is locked: the window thread never waits on it.
    const std::optional<fs::EntryStamp> stamp = fs::RealEntryStamp(CacheSourceOf(key));
    const bool listingPage = HasListingMarker(key);
    const bool isFolder = !listingPage && stamp && stamp->isFolder;
    bool folderOn = false, fileOn = false;
    std::int64_t capacity = 0;
    CacheEvictionMode mode = CacheEvictionMode::FewestHitsFirst;
    {
        std::shared_lock<std::shared_mutex> hold(settingsLock_);
        folderOn = directoryCacheOn_;
        fileOn = fileCacheOn_;
        capacity = capacity_;
        mode = mode_;
    }
    CacheLease lease;
    lease.cache_ = this;
    const std::string normalKey = NormalCacheKey(key);
    std::lock_guard<std::mutex> hold(listLock_);
    // Nothing to copy (a source that has gone), or a source of the other kind than the
    // transfer wants (a RETR of a folder must not become that folder's listing).
    const bool wrongKind = (source == CacheSource::File && (isFolder || listingPage)) ||
                           (source == CacheSource::Folder && !isFolder && !listingPage);
    if (!stamp || (listingPage && !stamp->isFolder)) {
        // The source has gone: so has its copy, once nobody fills it any more.
        if (EntryPtr gone = Find(normalKey); gone && !gone->Busy()) Remove(gone);
        return lease;
    }
    if (wrongKind) return lease;
    // Only a lookup of something that can be cached for the transfer counts in the hit rate:
    // a web request looks for a file before it knows whether the path names a folder.
    ++lookups_;
    if (EntryPtr entry = Find(normalKey)) {
        if (entry->sourceTime != stamp) {
            // A changed source: a new copy is made, unless transfers still fill the old one.
            if (entry->Busy()) return lease;
            Remove(entry);
        } else if (!entry->Complete()) {
            Use(*entry, true);
            lease.entry_ = entry;
            lease.use_ = CacheUse::Fill;
            lease.open_ = true;
            return lease;
        } else if (!entry->Busy()) {
            ++entry->hits;
            Touch(*entry);
            ++cacheHits_;
            Use(*entry, false);
            lease.entry_ = entry;
            lease.use_ = CacheUse::Serve;
            lease.open_ = true;
            return lease;
        } else {
            return lease;
        }
    }
    if (!(isFolder ? folderOn : fileOn)) return lease;
    const std::int64_t expected = isFolder ? kFolderEntryRoom : listingPage ? 0 : stamp->size;
    // A listing's room is taken before its size is known; a file's is its size.
    const std::int64_t room = isFolder || listingPage ? kFolderEntryRoom : expected;
    const std::int64_t charge = CacheEntryCharge(room, key.size());
    if (capacity < totalCharge_ + charge && !MakeRoom(charge, capacity, mode)) return lease;
    lease.entry_ = Create(key, normalKey, isFolder, listingPage, expected, stamp, capacity);
    lease.use_ = CacheUse::Fill;
    lease.open_ = true;
    return lease;
}

void serverCacheClass::CacheTransferDone(CacheLease& lease, std::int64_t start, std::int64_t end, bool failed)
{
    if (!lease.open_ || !lease.entry_) return;
    std::lock_guard<std::mutex> hold(listLock_);
    cacheEntryClass& entry = *lease.entry_;
    const bool filler = lease.use_ == CacheUse::Fill;
    lease.open_ = false;
    if (filler && !failed && start >= 0 && end > start)
        entry.filled.Add(static_cast<std::uint64_t>(start), static_cast<std::uint64_t>(end));
    // A source that grew past the room its entry was given left a copy that is not whole.
    const bool spoiled = failed || (filler && entry.stream->Overflowed());
    if (spoiled && entry.listed) Remove(lease.entry_);
    Unuse(entry, filler);
}

void serverCacheClass::CacheUpdateSize(const CacheLease& lease)
{
    if (!lease.entry_) return;
    std::int64_t capacity = 0;
    CacheEvictionMode mode = CacheEvictionMode::FewestHitsFirst;
    {
        std::shared_lock<std::shared_mutex> hold(settingsLock_);
        capacity = capacity_;
        mode = mode_;
    }
    std::lock_guard<std::mutex> hold(listLock_);
    cacheEntryClass& entry = *lease.entry_;
    if (!entry.listed) return;
    const std::int64_t size = entry.stream->Size();
    if (entry.isListingPage && entry.filled.expectedTotal == 0 && size > 0)
        entry.filled.expectedTotal = static_cast<std::uint64_t>(size);
    // A listing grew as it was written: it gives back the room beyond its size, unless
    // transfers still send from it.
    if (!entry.InUse()) entry.stream->Fit();
    Resize(entry, size, entry.stream->Footprint() + CacheEntryCharge(0, entry.key.size()));
    // Counted at its expected size, the entry may have turned out larger than the room left:
    // others make room by the current mode, or it goes itself.
    if (capacity < totalCharge_) Evict(0, capacity, mode);
}

void serverCacheClass::CacheInvalidate(const std::string& key)
{
    std::lock_guard<std::mutex> hold(listLock_);
    if (EntryPtr entry = Find(NormalCacheKey(key))) Remove(entry);
}

void serverCacheClass::InvalidateFolderListings(const std::string& folder)
{
    const std::string base(WithoutTrailingBackslash(folder));
    std::lock_guard<std::mutex> hold(listLock_);
    if (EntryPtr entry = Find(NormalCacheKey(base))) Remove(entry);
    const std::string page =
        base.back() == '\\' ? base + std::string(kListingMarker) : base + "\\" + std::string(kListingMarker);
    if (EntryPtr entry = Find(NormalCacheKey(page))) Remove(entry);
}

// ---- Figures ----

CacheSnapshotData serverCacheClass::CacheSnapshot() const
{
    std::lock_guard<std::mutex> hold(listLock_);
    CacheSnapshotData snapshot;
    snapshot.rows.reserve(entries_.size());
    for (const auto& [sequence, entry] : entries_)
        snapshot.rows.push_back(CacheSnapshotRow{entry->hits, entry->size, entry->key, entry->isFolder});
    snapshot.hitRate = HitRateLocked();
    snapshot.totalSize = totalSize_;
    return snapshot;
}

std::int64_t serverCacheClass::TotalSize() const
{
    std::lock_guard<std::mutex> hold(listLock_);
    return totalSize_;
}

std::int64_t serverCacheClass::MemoryCharged() const
{
    std::lock_guard<std::mutex> hold(listLock_);
    return totalCharge_;
}

std::int64_t serverCacheClass::Lookups() const
{
    std::lock_guard<std::mutex> hold(listLock_);
    return lookups_;
}

std::int64_t serverCacheClass::CacheHits() const
{
    std::lock_guard<std::mutex> hold(listLock_);
    return cacheHits_;
}

float serverCacheClass::HitRate() const
{
    std::lock_guard<std::mutex> hold(listLock_);
    return HitRateLocked();
}

float serverCacheClass::HitRateLocked() const
{
    return lookups_ == 0 ? 0.0f
                         : static_cast<float>(static_cast<double>(cacheHits_) * 100.0 / static_cast<double>(lookups_));
}

std::size_t serverCacheClass::EntryCount() const
{
    std::lock_guard<std::mutex> hold(listLock_);
    return entries_.size();
}

}  // namespace corvane
