// FileStream: an open host file, with 64-bit offsets, closed when the object goes.
//
// Share modes: the host has none, so a process-wide registry of files open for writing stands
// in for them. Opening a file for writing that is already open for writing in this process
// (through any path or hard link: files are told apart by device and inode) fails as a denied
// open would, and LastFsError() is AccessDenied. Readers never block and are never blocked.
// The check happens before anything is truncated, so a refused writer never harms the file.
//
// Owner: whoever holds the object; one thread at a time. The registry is guarded by its own
// mutex, so streams on different threads may be opened and closed concurrently.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace corvane {

class FileStream {
public:
    enum class Mode {
        Read,           // existing file, read only
        ReadWrite,      // existing file, read and write, position 0, content kept
        Create,         // create or empty the file, read and write
        CreateNew,      // create a file that must not exist yet, read and write
        OpenOrCreate,   // open, creating it when missing, content kept, read and write
        Append,         // open or create, content kept, position at the end, read and write
        AppendPrivate,  // as Append, but a file it creates is the owner's only (0600)
    };
    enum class Origin { Begin, Current, End };

    FileStream() = default;
    ~FileStream();
    FileStream(FileStream&& other) noexcept;
    FileStream& operator=(FileStream&& other) noexcept;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    // Opens a real path (translated through DriveMap) or a host path. Closes what was open
    // first. False on failure, with fs::LastFsError() telling why; folders never open.
    bool OpenReal(std::string_view realPath, Mode mode);
    bool OpenHost(const std::string& hostPath, Mode mode);

    bool IsOpen() const { return fd_ >= 0; }
    // The host descriptor, for the calls that send a file's bytes straight to a socket; -1 when
    // not open. It stays this object's: never closed or moved by anyone else.
    int Handle() const { return fd_; }
    bool IsWriter() const { return writer_; }
    void Close();

    // Reads up to `count` bytes at the position; returns the number read (0 at the end), or -1
    // on error. Interrupted calls are retried.
    std::int64_t Read(void* buffer, std::size_t count);
    // Writes every byte (partial writes are continued); false on error.
    bool Write(const void* data, std::size_t count);
    bool Write(std::string_view data) { return Write(data.data(), data.size()); }
    // Moves the position; returns the new position, or -1 on error (a negative result position
    // is an error). Seeking past the end is allowed, as on the host.
    std::int64_t Seek(std::int64_t offset, Origin origin = Origin::Begin);
    std::int64_t Position() const;  // -1 when not open
    std::int64_t Size() const;      // -1 when not open
    // The size and last modification time (whole seconds since the epoch) the file had when it
    // was opened, without a further look; false when not open.
    bool SizeAndTimeAtOpen(std::int64_t& size, std::time_t& modified) const;
    // Reads up to `count` bytes at `offset` without moving the position; as Read otherwise.
    std::int64_t ReadAt(void* buffer, std::size_t count, std::int64_t offset);
    bool Truncate(std::int64_t size);
    // Pushes written data to the disk (fsync).
    bool Flush();

    // Whether both streams are open on the same host file (device and inode).
    bool SameFileAs(const FileStream& other) const;

    // How many files this process has open for writing (for tests and diagnostics).
    static std::size_t OpenWriterCount();

private:
    bool OpenHostPath(const std::string& hostPath, Mode mode);

    int fd_ = -1;
    bool writer_ = false;
    std::uint64_t device_ = 0;
    std::uint64_t inode_ = 0;
    std::int64_t openedSize_ = 0;
    std::time_t openedTime_ = 0;
};

}  // namespace corvane
