// One block of a socket's send buffer: a fixed byte array with a write count and a read count.
// Owner: the socket that holds it (its owner thread only).
#pragma once

#include <cstddef>
#include <vector>

namespace corvane {

class TBuffer {
public:
    // A size of 0 or less means 1514 bytes.
    explicit TBuffer(int size = 0);

    // Copies as much as fits after the write count; returns that number (0 when full).
    int Write(const void* data, int len);
    // Copies out up to len unread bytes; when everything written has been read, both counts
    // return to 0 so the block can be filled again.
    int Read(void* data, int len);
    // The first unread byte and the number of unread bytes (nullptr and 0 when empty).
    const char* Peek(int& len) const;
    // Marks up to len bytes read, with the same return to 0.
    void Remove(int len);
    // A new size keeps the unread bytes (as many as fit).
    void SetBufSize(int size);

    int BufSize() const { return static_cast<int>(data_.size()); }
    int WrCount() const { return wrCount_; }
    int RdCount() const { return rdCount_; }
    int Unread() const { return wrCount_ - rdCount_; }

private:
    void ResetWhenDrained();

    std::vector<char> data_;
    int wrCount_ = 0;
    int rdCount_ = 0;
};

}  // namespace corvane
