#include "net/tbuffer.h"

#include <algorithm>
#include <cstring>

namespace corvane {
namespace {
constexpr int kDefaultBlockSize = 1514;
int EffectiveSize(int size) { return size <= 0 ? kDefaultBlockSize : size; }
}  // namespace

TBuffer::TBuffer(int size)
    : data_(static_cast<std::size_t>(EffectiveSize(size)))
{}

int TBuffer::Write(const void* data, int len)
{
    const int room = BufSize() - wrCount_;
    const int count = std::clamp(len, 0, room);
    if (count > 0) {
        std::memcpy(data_.data() + wrCount_, data, static_cast<std::size_t>(count));
        wrCount_ += count;
    }
    return count;
}

int TBuffer::Read(void* data, int len)
{
    const int count = std::clamp(len, 0, Unread());
    if (count > 0) std::memcpy(data, data_.data() + rdCount_, static_cast<std::size_t>(count));
    rdCount_ += count;
    ResetWhenDrained();
    return count;
}

const char* TBuffer::Peek(int& len) const
{
    len = Unread();
    return len > 0 ? data_.data() + rdCount_ : nullptr;
}

void TBuffer::Remove(int len)
{
    rdCount_ += std::clamp(len, 0, Unread());
    ResetWhenDrained();
}

void TBuffer::SetBufSize(int size)
{
    const int newSize = EffectiveSize(size);
    const int keep = std::min(Unread(), newSize);
    std::vector<char> fresh(static_cast<std::size_t>(newSize));
    if (keep > 0) std::memcpy(fresh.data(), data_.data() + rdCount_, static_cast<std::size_t>(keep));
    data_.swap(fresh);
    rdCount_ = 0;
    wrCount_ = keep;
}

void TBuffer::ResetWhenDrained()
{
    if (rdCount_ >= wrCount_) rdCount_ = wrCount_ = 0;
}

}  // namespace corvane
