#include "cache/cache_memory_stream.h"

#include <algorithm>
#include <cstring>

namespace corvane {

CacheMemoryBuffer::CacheMemoryBuffer(std::int64_t room, std::int64_t limit)
    : limit_(std::max<std::int64_t>(limit, 0))
{
    // Refused, the copy holds nothing: what is written to it is dropped as overflow, and the
    // cache lets the entry go.
    const std::int64_t first = std::clamp<std::int64_t>(room, 0, limit_);
    if (!bytes_.Reserve(first, first == limit_)) overflowed_ = first > 0;
}

bool CacheMemoryBuffer::Grow(std::int64_t needed)
{
    const std::int64_t room = bytes_.Room();
    if (needed <= room) return true;
    return bytes_.Grow(std::min(limit_, std::max(needed, 2 * room)));
}

std::span<const char> CacheMemoryBuffer::BytesFrom(std::int64_t offset) const
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (offset < 0 || offset >= size_) return {};
    return {bytes_.Data() + offset, static_cast<std::size_t>(size_ - offset)};
}

std::span<char> CacheMemoryBuffer::RoomAt(std::int64_t offset, std::int64_t count)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (!bytes_.Fixed() || offset < 0 || count <= 0 || offset >= bytes_.Room()) return {};
    return {bytes_.Data() + offset, static_cast<std::size_t>(std::min(count, bytes_.Room() - offset))};
}

void CacheMemoryBuffer::Written(std::int64_t offset, std::int64_t count)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (offset < 0 || count <= 0) return;
    const std::int64_t end = std::min(offset + count, bytes_.Room());
    size_ = std::max(size_, end);
    writeAt_ = offset + count;
}

std::streamsize CacheMemoryBuffer::xsputn(const char* data, std::streamsize count)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (count <= 0) return 0;
    const std::int64_t end = writeAt_ + count;
    std::int64_t kept = std::max<std::int64_t>(0, std::min(end, limit_) - writeAt_);
    if (kept > 0 && !Grow(writeAt_ + kept)) kept = 0;
    if (kept < count) overflowed_ = true;
    if (kept > 0) {
        std::memcpy(bytes_.Data() + writeAt_, data, static_cast<std::size_t>(kept));
        size_ = std::max(size_, writeAt_ + kept);
    }
    // The writer is told that everything went: what the limit dropped is the cache's loss, not
    // a failure of the transfer that copies into it.
    writeAt_ = end;
    return count;
}

CacheMemoryBuffer::int_type CacheMemoryBuffer::overflow(int_type c)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    xsputn(&byte, 1);
    return c;
}

std::streamsize CacheMemoryBuffer::xsgetn(char* data, std::streamsize count)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    const std::int64_t available = std::max<std::int64_t>(0, Size() - readAt_);
    const std::int64_t got = std::min<std::int64_t>(available, count);
    if (got > 0) std::memcpy(data, bytes_.Data() + readAt_, static_cast<std::size_t>(got));
    readAt_ += got;
    return static_cast<std::streamsize>(got);
}

CacheMemoryBuffer::int_type CacheMemoryBuffer::underflow()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (readAt_ >= Size()) return traits_type::eof();
    return traits_type::to_int_type(bytes_.Data()[readAt_]);
}

CacheMemoryBuffer::int_type CacheMemoryBuffer::uflow()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    const int_type c = underflow();
    if (!traits_type::eq_int_type(c, traits_type::eof())) ++readAt_;
    return c;
}

CacheMemoryBuffer::pos_type CacheMemoryBuffer::seekoff(off_type off, std::ios_base::seekdir dir,
                                                       std::ios_base::openmode which)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
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
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    return seekoff(off_type(pos), std::ios_base::beg, which);
}

CacheMemoryStream::CacheMemoryStream(std::int64_t room, std::int64_t limit)
    : std::iostream(nullptr),
      buffer_(room, limit)
{
    rdbuf(&buffer_);
    OfferLendableBytes(*this, this);
}

}  // namespace corvane
