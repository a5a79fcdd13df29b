// CacheBytes: the memory that holds one cache entry's bytes, and what it costs.
//
// Small copies come from the allocator in blocks of their exact size; a copy of kMappedFrom bytes
// or more takes whole pages straight from the host, which get back to it the moment the copy
// goes. So a cache that keeps replacing large entries does not leave freed room behind in the
// process, and what it holds is what it counts. A page is taken only when it is first written.
//
// A copy whose size is known ahead (a file's) is given all its room at once and never moves,
// so its bytes may be lent to a sender while it is still being filled; a copy of unknown size (a
// listing) grows as it is written and is cut to its size once it is whole.
//
// Owner thread: that of the stream holding it.
#pragma once

#include <cstdint>

#include "common/thread_owner.h"

namespace corvane {

class CacheBytes {
public:
    static constexpr std::int64_t kMappedFrom = 64 * 1024;

    CacheBytes() = default;
    ~CacheBytes() { Release(); }
    CacheBytes(const CacheBytes&) = delete;
    CacheBytes& operator=(const CacheBytes&) = delete;

    // Takes room for `bytes` zero bytes; a fixed one never grows nor moves. False (and no room)
    // when the host refuses.
    bool Reserve(std::int64_t bytes, bool fixed);
    // At least `bytes` of room, the content kept and the new room zero; false for a fixed copy
    // or when the host refuses (the old room is kept then).
    bool Grow(std::int64_t bytes);
    // Cuts the room of a growable copy to `bytes`, its first `bytes` kept.
    void Fit(std::int64_t bytes);

    char* Data() const { return data_; }
    std::int64_t Room() const { return room_; }
    bool Fixed() const { return fixed_; }
    // The memory the room takes from the host.
    std::int64_t Footprint() const;
    // The memory a room of `bytes` would take.
    static std::int64_t FootprintOf(std::int64_t bytes);

private:
    // Moves the content into a new room of `bytes`; false when the host refuses.
    bool MoveTo(std::int64_t bytes);
    void Release();

    char* data_ = nullptr;
    std::int64_t room_ = 0;
    bool mapped_ = false;
    bool fixed_ = false;
    ThreadOwner owner_;
};

}  // namespace corvane
