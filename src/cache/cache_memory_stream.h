// CacheMemoryStream: the bytes of one cache entry, held in memory. A transfer writes into it at
// any offset (a resumed download fills from its restart offset) and any number of transfers
// read it at once, each seeking to its own position first.
//
// The stream never holds more than its limit: bytes written past it are dropped and the stream
// says it overflowed, so a source that grows while it is copied cannot grow the cache past
// the room it was given. A gap left by a write beyond the end reads as zero bytes; the cache's
// filled ranges say which bytes were really written.
//
// A sender may take the bytes from where they are (LendableBytes): a file's copy is given its
// whole room at once and never moves, so it also lends room to be filled in place.
//
// Owner thread: the server thread; the window thread only asks its size under the cache's lock.
#pragma once

#include <cstdint>
#include <iostream>
#include <streambuf>

#include "cache/cache_bytes.h"
#include "common/lendable_bytes.h"
#include "common/thread_owner.h"

namespace corvane {

class CacheMemoryBuffer : public std::streambuf {
public:
    // A room of `limit` bytes at the most is taken at once, fixed, when `room` reaches it;
    // otherwise `room` bytes, grown as writes need.
    CacheMemoryBuffer(std::int64_t room, std::int64_t limit);

    std::int64_t Size() const { return size_; }
    std::int64_t Limit() const { return limit_; }
    bool Overflowed() const { return overflowed_; }
    std::int64_t Footprint() const { return bytes_.Footprint(); }
    void Fit() { bytes_.Fit(size_); }
    std::span<const char> BytesFrom(std::int64_t offset) const;
    std::span<char> RoomAt(std::int64_t offset, std::int64_t count);
    void Written(std::int64_t offset, std::int64_t count);

protected:
    std::streamsize xsputn(const char* data, std::streamsize count) override;
    int_type overflow(int_type c) override;
    std::streamsize xsgetn(char* data, std::streamsize count) override;
    int_type underflow() override;
    int_type uflow() override;
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override;
    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override;

private:
    bool Grow(std::int64_t needed);

    CacheBytes bytes_;
    std::int64_t size_ = 0;  // up to the furthest byte written
    std::int64_t limit_;
    std::int64_t readAt_ = 0;
    std::int64_t writeAt_ = 0;
    bool overflowed_ = false;
    ThreadOwner owner_;
};

class CacheMemoryStream : public std::iostream, public LendableBytes {
public:
    // `room` bytes are taken at once (fixed when they reach `limit`); at most `limit` bytes are
    // ever held.
    CacheMemoryStream(std::int64_t room, std::int64_t limit);

    std::int64_t Size() const { return buffer_.Size(); }
    bool Overflowed() const { return buffer_.Overflowed(); }
    // The memory its bytes take from the host.
    std::int64_t Footprint() const { return buffer_.Footprint(); }
    // A copy that grew as it was written gives back the room beyond its size (nobody may be
    // sending from it: its bytes may move).
    void Fit() { buffer_.Fit(); }

    std::span<const char> BytesFrom(std::int64_t offset) const override { return buffer_.BytesFrom(offset); }
    std::span<char> RoomAt(std::int64_t offset, std::int64_t count) override { return buffer_.RoomAt(offset, count); }
    void Written(std::int64_t offset, std::int64_t count) override { buffer_.Written(offset, count); }

private:
    CacheMemoryBuffer buffer_;
};

}  // namespace corvane
