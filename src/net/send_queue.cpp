#include "net/send_queue.h"

#include <algorithm>

namespace corvane {

TSendQueue::TSendQueue(int blockSize)
    : blockSize_(blockSize)
{}

void TSendQueue::Append(const void* data, int len)
{
    if (len <= 0) return;
    AppendTo(FilePending() ? afterFile_ : blocks_, static_cast<const char*>(data), len);
}

void TSendQueue::AppendTo(std::deque<TBuffer>& chain, const char* bytes, int len)
{
    if (chain.empty()) chain.emplace_back(blockSize_);
    queuedBytes_ += len;
    while (len > 0) {
        const int taken = chain.back().Write(bytes, len);
        bytes += taken;
        len -= taken;
        if (len > 0) chain.emplace_back(blockSize_);
    }
}

int TSendQueue::Gather(sockapi::Slice* slices, int maxSlices, int& offered)
{
    offered = 0;
    if (blocks_.empty()) return 0;
    while (blocks_.size() > 1 && blocks_.front().Unread() == 0) blocks_.pop_front();
    int count = 0;
    for (auto it = blocks_.begin(); it != blocks_.end() && count < maxSlices; ++it) {
        int len = 0;
        const char* data = it->Peek(len);
        if (len == 0) continue;
        slices[count++] = sockapi::Slice{data, len};
        offered += len;
    }
    return count;
}

void TSendQueue::MarkSent(int count)
{
    for (auto it = blocks_.begin(); count > 0 && it != blocks_.end(); ++it) {
        const int taken = std::min(count, it->Unread());
        it->Remove(taken);
        queuedBytes_ -= taken;
        count -= taken;
    }
}

void TSendQueue::StartFile(int handle, long long offset, long long count) { file_ = FileRange{handle, offset, count, nullptr, {}}; }

void TSendQueue::StartHeld(std::shared_ptr<const void> keep, const char* data, long long count)
{
    file_ = FileRange{-1, 0, count, data, std::move(keep)};
}

void TSendQueue::FileSent(long long count)
{
    if (file_.memory != nullptr) file_.memory += count;
    file_.offset += count;
    file_.remaining -= count;
    fileBytesSent_ += count;
}

void TSendQueue::FinishFile()
{
    file_ = FileRange{};
    for (TBuffer& block : afterFile_) blocks_.push_back(std::move(block));
    afterFile_.clear();
}

void TSendQueue::DropFile()
{
    file_ = FileRange{};
    for (const TBuffer& block : afterFile_) queuedBytes_ -= block.Unread();
    afterFile_.clear();
}

void TSendQueue::Clear()
{
    blocks_.clear();
    afterFile_.clear();
    file_ = FileRange{};
    queuedBytes_ = 0;
}

}  // namespace corvane
