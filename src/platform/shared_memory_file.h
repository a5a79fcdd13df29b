// The shared-memory hand-off to a companion process: a file beside the program, mapped into
// memory with a fixed size, whose first bytes carry a text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

// Opens (creates when missing) the host file, makes it at least `mappingSize` bytes long, maps
// the first `mappingSize` bytes shared and writable, copies `bytes` to the start of the mapping
// (at most `mappingSize` of them: the mapping never overflows), flushes the view to the file
// and unmaps it. Bytes beyond the text keep what the file held (zeros in a new file).
// False, and nothing written, when the file cannot be opened, sized or mapped.
bool WriteSharedMemoryFile(const std::string& hostPath, std::size_t mappingSize, std::string_view bytes);

}  // namespace corvane
