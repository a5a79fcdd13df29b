// MD5 message digest (RFC 1321): the file digests of the P2P index. Incremental: feed the bytes
// in pieces of any size with Update, then read the digest once with Final.
//
// Owner: whoever holds the object; one thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

class Md5 {
public:
    using Digest = std::array<std::uint8_t, 16>;

    Md5() { Reset(); }
    void Reset();
    void Update(const void* data, std::size_t size);
    void Update(std::string_view text) { Update(text.data(), text.size()); }
    // Pads, finishes and returns the digest; the object then starts over (Reset).
    Digest Final();

private:
    void Blocks(const std::uint8_t* data, std::size_t count);

    std::uint32_t state_[4];
    std::uint64_t length_ = 0;  // bytes fed so far
    std::uint8_t pending_[64];
    std::size_t pendingSize_ = 0;
};

// The digest as 32 upper-case hexadecimal digits, the bytes in order.
std::string Md5HexUpper(const Md5::Digest& digest);
// The digest of a text, in that form.
std::string Md5HexUpperOf(std::string_view text);

}  // namespace corvane
