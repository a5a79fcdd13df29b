#include "platform/page_memory.h"

#include <sys/mman.h>
#include <unistd.h>

namespace corvane {

std::size_t PageSize()
{
    static const std::size_t size = [] {
        const long page = ::sysconf(_SC_PAGESIZE);
        return page > 0 ? static_cast<std::size_t>(page) : std::size_t{4096};
    }();
    return size;
}

std::size_t PageRounded(std::size_t bytes)
{
    const std::size_t page = PageSize();
    return (bytes + page - 1) / page * page;
}

char* MapPages(std::size_t bytes)
{
    if (bytes == 0) return nullptr;
    // No swap is set aside ahead: the pages are taken as they are written, and a large file's
    // copy must not fail for room that its bytes may never need.
    void* pages =
        ::mmap(nullptr, PageRounded(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return pages == MAP_FAILED ? nullptr : static_cast<char*>(pages);
}

char* RemapPages(char* pages, std::size_t oldBytes, std::size_t newBytes)
{
    if (pages == nullptr || newBytes == 0) return nullptr;
    void* moved = ::mremap(pages, PageRounded(oldBytes), PageRounded(newBytes), MREMAP_MAYMOVE);
    return moved == MAP_FAILED ? nullptr : static_cast<char*>(moved);
}

void UnmapPages(char* pages, std::size_t bytes)
{
    if (pages != nullptr && bytes > 0) ::munmap(pages, PageRounded(bytes));
}

}  // namespace corvane
