// Test content whose bytes differ from their neighbours and do not repeat within a block, so a
// byte lost, doubled or moved anywhere in a transfer shows in a comparison.
#pragma once

#include <cstddef>
#include <string>

namespace corvane::testing {

inline std::string BytePattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    return bytes;
}

}  // namespace corvane::testing
