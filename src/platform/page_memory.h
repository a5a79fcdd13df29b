// Memory taken straight from the host in whole pages, outside the allocator: what is released
// goes back to the host at once, so a large buffer that comes and goes leaves no free space
// behind in this process.
#pragma once

#include <cstddef>

namespace corvane {

// The host's page size in bytes.
std::size_t PageSize();
// `bytes` rounded up to whole pages.
std::size_t PageRounded(std::size_t bytes);

// Maps `bytes` (rounded up to whole pages) of zero-filled, readable and writable memory. A page
// takes room only once it is written. nullptr when the host refuses.
char* MapPages(std::size_t bytes);
// Moves or resizes a mapping of `oldBytes` to `newBytes`, its content kept (new pages zero);
// nullptr (and the old mapping intact) when the host refuses.
char* RemapPages(char* pages, std::size_t oldBytes, std::size_t newBytes);
// Gives a mapping of `bytes` back to the host.
void UnmapPages(char* pages, std::size_t bytes);

}  // namespace corvane
