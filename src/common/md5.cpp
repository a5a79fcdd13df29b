#include "common/md5.h"

#include <algorithm>
#include <cstring>

namespace corvane {
namespace {

inline std::uint32_t RotateLeft(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// The words of a block, little-endian whatever the host's byte order.
inline std::uint32_t LoadWord(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The four rounds of RFC 1321, section 3.4. F is written in the form with one operation
// fewer, and G's two halves never have a bit set in common, so they are added one at a time:
// the first half does not wait for b, which the step before is still computing. Both are equal
// to the RFC's functions for every input.
#define CORVANE_MD5_GSTEP(a, b, c, d, x, s, t)                                                                         \
    a += (x) + (t) + ((c) & ~(d));                                                                                     \
    a += (b) & (d);                                                                                                    \
    a = RotateLeft(a, s) + (b)
#define CORVANE_MD5_STEP(f, a, b, c, d, x, s, t)                                                                       \
    a += f(b, c, d) + (x) + (t);                                                                                       \
    a = RotateLeft(a, s) + (b)
#define CORVANE_MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define CORVANE_MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define CORVANE_MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

}  // namespace

void Md5::Reset()
{
    state_[0] = 0x67452301u;
    state_[1] = 0xefcdab89u;
    state_[2] = 0x98badcfeu;
    state_[3] = 0x10325476u;
    length_ = 0;
    pendingSize_ = 0;
}

void Md5::Blocks(const std::uint8_t* data, std::size_t count)
{
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (; count > 0; --count, data += 64) {
        std::uint32_t x[16];
        for (int i = 0; i < 16; ++i) x[i] = LoadWord(data + 4 * i);
        const std::uint32_t aa = a, bb = b, cc = c, dd = d;

        CORVANE_MD5_STEP(CORVANE_MD5_F, a, b, c, d, x[0], 7, 0xd76aa478u);
        CORVANE_MD5_STEP(CORVANE_MD5_F, d, a, b, c, x[1], 12, 0xe8c7b756u);
        CORVANE_MD5_STEP(CORVANE_MD5_F, c, d, a, b, x[2], 17, 0x242070dbu);
        CORVANE_MD5_STEP(CORVANE_MD5_F, b, c, d, a, x[3], 22, 0xc1bdceeeu);
        CORVANE_MD5_STEP(CORVANE_MD5_F, a, b, c, d, x[4], 7, 0xf57c0fafu);
        CORVANE_MD5_STEP(CORVANE_MD5_F, d, a, b, c, x[5], 12, 0x4787c62au);
        CORVANE_MD5_STEP(CORVANE_MD5_F, c, d, a, b, x[6], 17, 0xa8304613u);
        CORVANE_MD5_STEP(CORVANE_MD5_F, b, c, d, a, x[7], 22, 0xfd469501u);
        CORVANE_MD5_STEP(CORVANE_MD5_F, a, b, c, d, x[8], 7, 0x698098d8u);
        CORVANE_MD5_STEP(CORVANE_MD5_F, d, a, b, c, x[9], 12, 0x8b44f7afu);
        CORVANE_MD5_STEP(CORVANE_MD5_F, c, d, a, b, x[10], 17, 0xffff5bb1u);
        CORVANE_MD5_STEP(CORVANE_MD5_F, b, c, d, a, x[11], 22, 0x895cd7beu);
        CORVANE_MD5_STEP(CORVANE_MD5_F, a, b, c, d, x[12], 7, 0x6b901122u);
        CORVANE_MD5_STEP(CORVANE_MD5_F, d, a, b, c, x[13], 12, 0xfd987193u);
        CORVANE_MD5_STEP(CORVANE_MD5_F, c, d, a, b, x[14], 17, 0xa679438eu);
        CORVANE_MD5_STEP(CORVANE_MD5_F, b, c, d, a, x[15], 22, 0x49b40821u);

        CORVANE_MD5_GSTEP(a, b, c, d, x[1], 5, 0xf61e2562u);
        CORVANE_MD5_GSTEP(d, a, b, c, x[6], 9, 0xc040b340u);
        CORVANE_MD5_GSTEP(c, d, a, b, x[11], 14, 0x265e5a51u);
        CORVANE_MD5_GSTEP(b, c, d, a, x[0], 20, 0xe9b6c7aau);
        CORVANE_MD5_GSTEP(a, b, c, d, x[5], 5, 0xd62f105du);
        CORVANE_MD5_GSTEP(d, a, b, c, x[10], 9, 0x02441453u);
        CORVANE_MD5_GSTEP(c, d, a, b, x[15], 14, 0xd8a1e681u);
        CORVANE_MD5_GSTEP(b, c, d, a, x[4], 20, 0xe7d3fbc8u);
        CORVANE_MD5_GSTEP(a, b, c, d, x[9], 5, 0x21e1cde6u);
        CORVANE_MD5_GSTEP(d, a, b, c, x[14], 9, 0xc33707d6u);
        CORVANE_MD5_GSTEP(c, d, a, b, x[3], 14, 0xf4d50d87u);
        CORVANE_MD5_GSTEP(b, c, d, a, x[8], 20, 0x455a14edu);
        CORVANE_MD5_GSTEP(a, b, c, d, x[13], 5, 0xa9e3e905u);
        CORVANE_MD5_GSTEP(d, a, b, c, x[2], 9, 0xfcefa3f8u);
        CORVANE_MD5_GSTEP(c, d, a, b, x[7], 14, 0x676f02d9u);
        CORVANE_MD5_GSTEP(b, c, d, a, x[12], 20, 0x8d2a4c8au);

        CORVANE_MD5_STEP(CORVANE_MD5_H, a, b, c, d, x[5], 4, 0xfffa3942u);
        CORVANE_MD5_STEP(CORVANE_MD5_H, d, a, b, c, x[8], 11, 0x8771f681u);
        CORVANE_MD5_STEP(CORVANE_MD5_H, c, d, a, b, x[11], 16, 0x6d9d6122u);
        CORVANE_MD5_STEP(CORVANE_MD5_H, b, c, d, a, x[14], 23, 0xfde5380cu);
        CORVANE_MD5_STEP(CORVANE_MD5_H, a, b, c, d, x[1], 4, 0xa4beea44u);
        CORVANE_MD5_STEP(CORVANE_MD5_H, d, a, b, c, x[4], 11, 0x4bdecfa9u);
        CORVANE_MD5_STEP(CORVANE_MD5_H, c, d, a, b, x[7], 16, 0xf6bb4b60u);
        CORVANE_MD5_STEP(CORVANE_MD5_H, b, c, d, a, x[10], 23, 0xbebfbc70u);
        CORVANE_MD5_STEP(CORVANE_MD5_H, a, b, c, d, x[13], 4, 0x289b7ec6u);
        CORVANE_MD5_STEP(CORVANE_MD5_H, d, a, b, c, x[0], 11, 0xeaa127fau);
        CORVANE_MD5_STEP(CORVANE_MD5_H, c, d, a, b, x[3], 16, 0xd4ef3085u);
        CORVANE_MD5_STEP(CORVANE_MD5_H, b, c, d, a, x[6], 23, 0x04881d05u);
        CORVANE_MD5_STEP(CORVANE_MD5_H, a, b, c, d, x[9], 4, 0xd9d4d039u);
        CORVANE_MD5_STEP(CORVANE_MD5_H, d, a, b, c, x[12], 11, 0xe6db99e5u);
        CORVANE_MD5_STEP(CORVANE_MD5_H, c, d, a, b, x[15], 16, 0x1fa27cf8u);
        CORVANE_MD5_STEP(CORVANE_MD5_H, b, c, d, a, x[2], 23, 0xc4ac5665u);

        CORVANE_MD5_STEP(CORVANE_MD5_I, a, b, c, d, x[0], 6, 0xf4292244u);
        CORVANE_MD5_STEP(CORVANE_MD5_I, d, a, b, c, x[7], 10, 0x432aff97u);
        CORVANE_MD5_STEP(CORVANE_MD5_I, c, d, a, b, x[14], 15, 0xab9423a7u);
        CORVANE_MD5_STEP(CORVANE_MD5_I, b, c, d, a, x[5], 21, 0xfc93a039u);
        CORVANE_MD5_STEP(CORVANE_MD5_I, a, b, c, d, x[12], 6, 0x655b59c3u);
        CORVANE_MD5_STEP(CORVANE_MD5_I, d, a, b, c, x[3], 10, 0x8f0ccc92u);
        CORVANE_MD5_STEP(CORVANE_MD5_I, c, d, a, b, x[10], 15, 0xffeff47du);
        CORVANE_MD5_STEP(CORVANE_MD5_I, b, c, d, a, x[1], 21, 0x85845dd1u);
        CORVANE_MD5_STEP(CORVANE_MD5_I, a, b, c, d, x[8], 6, 0x6fa87e4fu);
        CORVANE_MD5_STEP(CORVANE_MD5_I, d, a, b, c, x[15], 10, 0xfe2ce6e0u);
        CORVANE_MD5_STEP(CORVANE_MD5_I, c, d, a, b, x[6], 15, 0xa3014314u);
        CORVANE_MD5_STEP(CORVANE_MD5_I, b, c, d, a, x[13], 21, 0x4e0811a1u);
        CORVANE_MD5_STEP(CORVANE_MD5_I, a, b, c, d, x[4], 6, 0xf7537e82u);
        CORVANE_MD5_STEP(CORVANE_MD5_I, d, a, b, c, x[11], 10, 0xbd3af235u);
        CORVANE_MD5_STEP(CORVANE_MD5_I, c, d, a, b, x[2], 15, 0x2ad7d2bbu);
        CORVANE_MD5_STEP(CORVANE_MD5_I, b, c, d, a, x[9], 21, 0xeb86d391u);

        a += aa;
        b += bb;
        c += cc;
        d += dd;
    }
    state_[0] = a;
    state_[1] = b;
    state_[2] = c;
    state_[3] = d;
}

#undef CORVANE_MD5_STEP
#undef CORVANE_MD5_F
#undef CORVANE_MD5_GSTEP
#undef CORVANE_MD5_H
#undef CORVANE_MD5_I

void Md5::Update(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    length_ += size;
    if (pendingSize_ > 0) {
        const std::size_t take = std::min(size, sizeof pending_ - pendingSize_);
        std::memcpy(pending_ + pendingSize_, bytes, take);
        pendingSize_ += take;
        bytes += take;
        size -= take;
        if (pendingSize_ < sizeof pending_) return;
        Blocks(pending_, 1);
        pendingSize_ = 0;
    }
    // Whole blocks straight from the caller's buffer: no copy for the bulk of a file.
    const std::size_t whole = size / 64;
    if (whole > 0) Blocks(bytes, whole);
    bytes += whole * 64;
    size -= whole * 64;
    if (size > 0) std::memcpy(pending_, bytes, size);
    pendingSize_ = size;
}

Md5::Digest Md5::Final()
{
    const std::uint64_t bits = length_ * 8;
    std::uint8_t tail[72] = {0x80};
    // Pads to 56 bytes past a block boundary, then the length in bits, little-endian.
    const std::size_t padding = pendingSize_ < 56 ? 56 - pendingSize_ : 120 - pendingSize_;
    for (int i = 0; i < 8; ++i) tail[padding + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    Update(tail, padding + 8);
    Digest digest{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (8 * j));
    Reset();
    return digest;
}

std::string Md5HexUpper(const Md5::Digest& digest)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(32, '0');
    for (std::size_t i = 0; i < digest.size(); ++i) {
        text[2 * i] = kDigits[digest[i] >> 4];
        text[2 * i + 1] = kDigits[digest[i] & 0x0f];
    }
    return text;
}

std::string Md5HexUpperOf(std::string_view text)
{
    Md5 md5;
    md5.Update(text);
    return Md5HexUpper(md5.Final());
}

}  // namespace corvane
