// CacheMemoryStream: the bytes of one cache entry, held in memory. A transfer writes into it at
// any offset (a resumed download fills from its restart offset) and any number of transfers
// read it at once, each seeking to its own position first.
//
// The stream never holds more than its limit: bytes written past it are dropped and the stream
// says it overflowed, so a source that grows while it is copied cannot grow the cache past
// the room it was given. A gap left by a write beyond the end reads as zero bytes; the cache's
// filled ranges say which bytes were really written.
//
// Owner thread: the server thread; the window thread only asks its size under the cache's lock.
#pragma once

#include <cstdint>
#include <iostream>
#include <streambuf>
#include <vector>

namespace corvane {

class CacheMemoryBuffer : public std::streambuf {
public:
    CacheMemoryBuffer(std::int64_t room, std::int64_t limit);

    std::int64_t Size() const { return static_cast<std::int64_t>(bytes_.size()); }
    std::int64_t Limit() const { return limit_; }
    bool Overflowed() const { return overflowed_; }

protected:
    std::streamsize xsputn(const char* data, std::streamsize count) override;
    int_type overflow(int_type c) override;
    std::streamsize xsgetn(char* data, std::streamsize count) override;
    int_type underflow() override;
    int_type uflow() override;
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override;
    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override;

private:
    void Grow(std::int64_t needed);

    std::vector<char> bytes_;
    std::int64_t limit_;
    std::int64_t readAt_ = 0;
    std::int64_t writeAt_ = 0;
    bool overflowed_ = false;
};

class CacheMemoryStream : public std::iostream {
public:
    // `room` bytes are reserved at once; at most `limit` bytes are ever held.
    CacheMemoryStream(std::int64_t room, std::int64_t limit);

    std::int64_t Size() const { return buffer_.Size(); }
    bool Overflowed() const { return buffer_.Overflowed(); }

private:
    CacheMemoryBuffer buffer_;
};

}  // namespace corvane
