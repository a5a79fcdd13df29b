#include "cache/cache_memory_stream.h"

#include <algorithm>
#include <cstring>

namespace corvane {

namespace {

// Room is taken as the bytes come, never past the limit: a large file's entry does not hold
// memory for bytes that no transfer has written yet.
constexpr std::int64_t kFirstRoom = 1 << 20;

}  // namespace

CacheMemoryBuffer::CacheMemoryBuffer(std::int64_t room, std::int64_t limit)
    : limit_(std::max<std::int64_t>(limit, 0))
{
    bytes_.reserve(static_cast<std::size_t>(std::clamp<std::int64_t>(room, 0, std::min(limit_, kFirstRoom))));
}

void CacheMemoryBuffer::Grow(std::int64_t needed)
{
    const auto have = static_cast<std::int64_t>(bytes_.capacity());
    if (needed > have) bytes_.reserve(static_cast<std::size_t>(std::min(limit_, std::max(needed, 2 * have))));
    bytes_.resize(static_cast<std::size_t>(needed));
}

std::streamsize CacheMemoryBuffer::xsputn(const char* data, std::streamsize count)
{
    if (count <= 0) return 0;
    const std::int64_t end = writeAt_ + count;
    const std::int64_t kept = std::max<std::int64_t>(0, std::min(end, limit_) - writeAt_);
    if (kept < count) overflowed_ = true;
    if (kept > 0) {
        if (Size() < writeAt_ + kept) Grow(writeAt_ + kept);
        std::memcpy(bytes_.data() + writeAt_, data, static_cast<std::size_t>(kept));
    }
    // The writer is told that everything went: what the limit dropped is the cache's loss, not
    // a failure of the transfer that copies into it.
    writeAt_ = end;
    return count;
}

CacheMemoryBuffer::int_type CacheMemoryBuffer::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    xsputn(&byte, 1);
    return c;
}

std::streamsize CacheMemoryBuffer::xsgetn(char* data, std::streamsize count)
{
    const std::int64_t available = std::max<std::int64_t>(0, Size() - readAt_);
    const std::int64_t got = std::min<std::int64_t>(available, count);
    if (got > 0) std::memcpy(data, bytes_.data() + readAt_, static_cast<std::size_t>(got));
    readAt_ += got;
    return static_cast<std::streamsize>(got);
}

CacheMemoryBuffer::int_type CacheMemoryBuffer::underflow()
{
    if (readAt_ >= Size()) return traits_type::eof();
    return traits_type::to_int_type(bytes_[static_cast<std::size_t>(readAt_)]);
}

CacheMemoryBuffer::int_type CacheMemoryBuffer::uflow()
{
    const int_type c = underflow();
    if (!traits_type::eq_int_type(c, traits_type::eof())) ++readAt_;
    return c;
}

CacheMemoryBuffer::pos_type CacheMemoryBuffer::seekoff(off_type off, std::ios_base::seekdir dir,
                                                       std::ios_base::openmode which)
{
    const bool in = (which & std::ios_base::in) != 0;
    const bool out = (which & std::ios_base::out) != 0;
    std::int64_t base = 0;
    if (dir == std::ios_base::cur) {
        if (in && out) return pos_type(off_type(-1));
        base = in ? readAt_ : writeAt_;
    } else if (dir == std::ios_base::end) {
        base = Size();
    }
    const std::int64_t target = base + off;
    if (target < 0) return pos_type(off_type(-1));
    if (in) readAt_ = target;
    if (out) writeAt_ = target;
    return pos_type(off_type(target));
}

CacheMemoryBuffer::pos_type CacheMemoryBuffer::seekpos(pos_type pos, std::ios_base::openmode which)
{
    return seekoff(off_type(pos), std::ios_base::beg, which);
}

CacheMemoryStream::CacheMemoryStream(std::int64_t room, std::int64_t limit)
    : std::iostream(nullptr),
      buffer_(room, limit)
{
    rdbuf(&buffer_);
}

}  // namespace corvane
