// serverCacheClass: the entry list and its orders, and how the sizes are counted. Every
// function here runs with the list lock held.
//
// The totals count every entry whose bytes are alive: the listed ones, and those taken out of
// the list while transfers still fill or read them (their bytes go when the last of those
// transfers ends). The in-use charge is the part of the charges that transfers hold, which no
// eviction can free.
#include <algorithm>

#include "cache/server_cache.h"

namespace corvane {
namespace {

// What the allocator takes for a block of `bytes`, its header included.
constexpr std::int64_t Block(std::int64_t bytes) { return (bytes + 8 + 15) / 16 * 16; }

// An entry's record, its stream and the shared-ownership counts that come with them: each is
// one block from the allocator.
constexpr std::int64_t kEntryRecord = Block(sizeof(cacheEntryClass) + 16) + Block(sizeof(CacheMemoryStream) + 16);
// Its place in each index: a tree node in the list, the access and size orders, a hash node
// and its bucket; and room for a few filled ranges.
constexpr std::int64_t kEntryIndexes = 3 * Block(32 + 24) + Block(16 + sizeof(std::string) + 8) + 8 + Block(4 * 16);

}  // namespace

std::int64_t CacheEntryCharge(std::int64_t bytes, std::size_t keyLength)
{
    // The key is held twice, in the entry and in the hash; a short one fits in the string itself.
    const std::int64_t key = keyLength > 15 ? 2 * Block(static_cast<std::int64_t>(keyLength) + 1) : 0;
    return CacheBytes::FootprintOf(bytes) + kEntryRecord + kEntryIndexes + key;
}

serverCacheClass::EntryPtr serverCacheClass::Find(const std::string& normalKey) const
{
    const auto found = byKey_.find(normalKey);
    if (found == byKey_.end()) return nullptr;
    return entries_.at(found->second);
}

serverCacheClass::EntryPtr serverCacheClass::Create(const std::string& key, const std::string& normalKey, bool isFolder,
                                                    bool isListingPage, std::int64_t expected,
                                                    const std::optional<fs::EntryStamp>& stamp, std::int64_t capacity)
{
    auto entry = std::make_shared<cacheEntryClass>();
    // A file is held at its size at most: if it grows while it is copied, the copy overflows
    // and is dropped. A listing's size is not known ahead: it may take the capacity.
    const std::int64_t limit =
        isFolder || isListingPage ? std::max<std::int64_t>(capacity, kFolderEntryRoom) : expected;
    entry->stream = std::make_shared<CacheMemoryStream>(expected > 0 ? expected : kFolderEntryRoom, limit);
    entry->sourceTime = stamp;
    entry->lastAccess = packedNow_();
    entry->key = key;
    entry->isFolder = isFolder;
    entry->isListingPage = isListingPage;
    entry->size = expected;
    entry->charge = entry->stream->Footprint() + CacheEntryCharge(0, key.size());
    entry->users = 1;
    entry->filled.expectedTotal = static_cast<std::uint64_t>(std::max<std::int64_t>(expected, 0));
    entry->sequence = nextSequence_++;
    entries_.emplace(entry->sequence, entry);
    byKey_[normalKey] = entry->sequence;
    byAccess_.emplace(entry->lastAccess, entry->sequence);
    bySize_.emplace(entry->size, entry->sequence);
    totalSize_ += entry->size;
    totalCharge_ += entry->charge;
    inUseCharge_ += entry->charge;
    return entry;
}

void serverCacheClass::Remove(const EntryPtr& entry)
{
    if (!entry->listed) return;
    entries_.erase(entry->sequence);
    byKey_.erase(NormalCacheKey(entry->key));
    byAccess_.erase({entry->lastAccess, entry->sequence});
    bySize_.erase({entry->size, entry->sequence});
    entry->listed = false;
    // Bytes that transfers still use stay counted until the last of them ends.
    if (!entry->InUse()) {
        totalSize_ -= entry->size;
        totalCharge_ -= entry->charge;
    }
}

void serverCacheClass::Use(cacheEntryClass& entry, bool filler)
{
    if (!entry.InUse()) inUseCharge_ += entry.charge;
    ++(filler ? entry.users : entry.readers);
}

void serverCacheClass::Unuse(cacheEntryClass& entry, bool filler)
{
    if (!entry.InUse()) return;
    std::int32_t& count = filler ? entry.users : entry.readers;
    count = std::max(count - 1, 0);
    if (entry.InUse()) return;
    inUseCharge_ -= entry.charge;
    if (entry.listed) return;
    totalSize_ -= entry.size;
    totalCharge_ -= entry.charge;
}

void serverCacheClass::Resize(cacheEntryClass& entry, std::int64_t size, std::int64_t charge)
{
    const bool counted = entry.listed || entry.InUse();
    if (size != entry.size && entry.listed) {
        bySize_.erase({entry.size, entry.sequence});
        bySize_.emplace(size, entry.sequence);
    }
    if (counted) {
        totalSize_ += size - entry.size;
        totalCharge_ += charge - entry.charge;
    }
    if (entry.InUse()) inUseCharge_ += charge - entry.charge;
    entry.size = size;
    entry.charge = charge;
}

void serverCacheClass::Touch(cacheEntryClass& entry)
{
    byAccess_.erase({entry.lastAccess, entry.sequence});
    entry.lastAccess = packedNow_();
    byAccess_.emplace(entry.lastAccess, entry.sequence);
}

// ---- Leases ----

void serverCacheClass::Release(CacheLease& lease) noexcept
{
    if (!lease.open_) return;
    try {
        // A fill that never said how far it came cannot be trusted; a read just ends.
        CacheTransferDone(lease, 0, 0, lease.use_ == CacheUse::Fill);
    } catch (...) {
        lease.open_ = false;
    }
}

CacheLease::~CacheLease() { Reset(); }

CacheLease::CacheLease(CacheLease&& other) noexcept
    : cache_(other.cache_),
      entry_(std::move(other.entry_)),
      use_(other.use_),
      open_(other.open_)
{
    other.cache_ = nullptr;
    other.use_ = CacheUse::None;
    other.open_ = false;
}

CacheLease& CacheLease::operator=(CacheLease&& other) noexcept
{
    if (this == &other) return *this;
    Reset();
    cache_ = other.cache_;
    entry_ = std::move(other.entry_);
    use_ = other.use_;
    open_ = other.open_;
    other.cache_ = nullptr;
    other.use_ = CacheUse::None;
    other.open_ = false;
    return *this;
}

void CacheLease::Reset() noexcept
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (open_ && cache_) cache_->Release(*this);
    entry_.reset();
    cache_ = nullptr;
    use_ = CacheUse::None;
    open_ = false;
}

std::shared_ptr<std::iostream> CacheLease::Stream() const
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (!entry_ || use_ == CacheUse::None) return nullptr;
    return entry_->stream;
}

std::time_t CacheLease::SourceTime() const
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (!entry_ || !entry_->sourceTime) return 0;
    return static_cast<std::time_t>(entry_->sourceTime->writeTime / 1000000000);
}

}  // namespace corvane
