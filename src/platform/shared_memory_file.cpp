#include "platform/shared_memory_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace corvane {
namespace {

// Closes the descriptor on every path out.
struct FdCloser {
    int fd;
    ~FdCloser()
    {
        if (fd >= 0) ::close(fd);
    }
};

bool EnsureSize(int fd, std::size_t size)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0) return false;
    if (static_cast<std::size_t>(info.st_size) >= size) return true;
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

}  // namespace

bool WriteSharedMemoryFile(const std::string& hostPath, std::size_t mappingSize, std::string_view bytes)
{
    if (mappingSize == 0) return false;
    FdCloser file{::open(hostPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)};
    if (file.fd < 0 || !EnsureSize(file.fd, mappingSize)) return false;
    void* view = ::mmap(nullptr, mappingSize, PROT_READ | PROT_WRITE, MAP_SHARED, file.fd, 0);
    if (view == MAP_FAILED) return false;
    const std::size_t count = std::min(bytes.size(), mappingSize);
    if (count > 0) std::memcpy(view, bytes.data(), count);
    const bool flushed = ::msync(view, mappingSize, MS_SYNC) == 0;
    ::munmap(view, mappingSize);
    return flushed;
}

}  // namespace corvane
