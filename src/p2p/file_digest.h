// The MD5 digest of a shared file as the index carries it: 32 upper-case hexadecimal digits,
// read in blocks of the caller's buffer, with a stop test after each block.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// The digest of the real file. The placeholder kNoDigest when the file does not exist, cannot
// be opened or read, or changed (size or time) while it was read: a digest of a file half old
// and half new would describe nothing. Empty when `stopRequested` said yes after a block.
// The file is opened for reading only, so writers elsewhere are never blocked.
std::string DigestOfRealFile(std::string_view realPath, std::vector<char>& buffer,
                             const std::function<bool()>& stopRequested);

}  // namespace corvane
