#include "cache/cache_bytes.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/page_memory.h"

namespace corvane {
namespace {

// What the allocator takes for a block of `bytes`: its header and its 16-byte steps.
std::int64_t AllocatorBlock(std::int64_t bytes) { return std::max<std::int64_t>(32, (bytes + 8 + 15) / 16 * 16); }

bool Mapped(std::int64_t bytes) { return bytes >= CacheBytes::kMappedFrom; }

}  // namespace

std::int64_t CacheBytes::FootprintOf(std::int64_t bytes)
{
    if (bytes <= 0) return 0;
    return Mapped(bytes) ? static_cast<std::int64_t>(PageRounded(static_cast<std::size_t>(bytes)))
                         : AllocatorBlock(bytes);
}

std::int64_t CacheBytes::Footprint() const
{
    if (room_ == 0) return 0;
    return mapped_ ? static_cast<std::int64_t>(PageRounded(static_cast<std::size_t>(room_))) : AllocatorBlock(room_);
}

bool CacheBytes::Reserve(std::int64_t bytes, bool fixed)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    Release();
    fixed_ = fixed;
    return bytes <= 0 || MoveTo(bytes);
}

bool CacheBytes::Grow(std::int64_t bytes)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (bytes <= room_) return true;
    if (fixed_) return false;
    return MoveTo(bytes);
}

void CacheBytes::Fit(std::int64_t bytes)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    bytes = std::max<std::int64_t>(bytes, 0);
    if (fixed_ || bytes >= room_) return;
    if (bytes == 0) {
        Release();
        return;
    }
    MoveTo(bytes);  // refused, the larger room stays: nothing is lost
}

bool CacheBytes::MoveTo(std::int64_t bytes)
{
    const auto size = static_cast<std::size_t>(bytes);
    const auto kept = static_cast<std::size_t>(std::min(room_, bytes));
    char* room = nullptr;
    bool mapped = Mapped(bytes);
    if (mapped && mapped_) {
        room = RemapPages(data_, static_cast<std::size_t>(room_), size);
        if (room == nullptr) return false;
        data_ = room;
        room_ = bytes;
        return true;
    }
    if (mapped) room = MapPages(size);
    if (room == nullptr) {
        // The host may refuse a mapping (too many of them): the allocator gives the room then.
        mapped = false;
        room = static_cast<char*>(std::calloc(size, 1));
        if (room == nullptr) return false;
    }
    if (kept > 0) std::memcpy(room, data_, kept);
    Release();
    data_ = room;
    room_ = bytes;
    mapped_ = mapped;
    return true;
}

void CacheBytes::Release()
{
    if (data_ != nullptr) {
        if (mapped_) UnmapPages(data_, static_cast<std::size_t>(room_));
        else std::free(data_);
    }
    data_ = nullptr;
    room_ = 0;
    mapped_ = false;
}

}  // namespace corvane
