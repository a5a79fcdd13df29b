// TCustomWSocket: reading, and the receive loop that delivers OnDataAvailable.

#include "net/custom_wsocket.h"

#include <cstdint>

#include "platform/win_errors.h"

namespace corvane {

int TCustomWSocket::GetRcvdCount()
{
    int count = 0;
    if (fd_ < 0 || sockapi::BytesReady(fd_, count) != 0) return -1;
    // Through a secure channel, the bytes the handle holds are records not yet decrypted: a
    // sign that more may come, and what the channel has decrypted already comes first.
    if (secure_ != nullptr && secure_->Pending() > 0) return secure_->Pending();
    return count;
}

int TCustomWSocket::DoRecv(void* buffer, int len, bool peek)
{
    if (fd_ < 0) {
        lastError_ = WSAENOTSOCK;
        return -1;
    }
    int received = 0;
    if (const int error = StreamReceive(buffer, len, peek, received); error != 0) {
        lastError_ = error;
        return -1;
    }
    return received;
}

int TCustomWSocket::DoRecvFrom(void* buffer, int len, sockapi::Endpoint& from)
{
    if (fd_ < 0) {
        lastError_ = WSAENOTSOCK;
        return -1;
    }
    int received = 0;
    if (const int error = sockapi::ReceiveFrom(fd_, buffer, len, from, received); error != 0) {
        lastError_ = error;
        return -1;
    }
    return received;
}

int TCustomWSocket::ReceiveFrom(void* buffer, int len, sockapi::Endpoint& from)
{
    const int count = DoRecvFrom(buffer, len, from);
    if (count > 0) readCount_ += count;
    return count;
}

int TCustomWSocket::Receive(void* buffer, int len)
{
    AssertOwnerThread();
    const int count = DoRecv(buffer, len, false);
    if (count > 0) readCount_ += count;
    return count;
}

std::string TCustomWSocket::ReceiveStr()
{
    int ready = GetRcvdCount();
    if (ready <= 0) ready = 255;
    std::string text(static_cast<std::size_t>(ready), '\0');
    const int count = Receive(text.data(), ready);
    if (count <= 0) return {};
    text.resize(static_cast<std::size_t>(count));
    return text;
}

int TCustomWSocket::PeekData(void* buffer, int len) { return DoRecv(buffer, len, true); }

void TCustomWSocket::ReceiveLoop(std::uint16_t error, bool forceLoop)
{
    int lastReady = -1;
    for (;;) {
        lastError_ = 0;
        bool escaped = false;
        try {
            if (OnDataAvailable) {
                TriggerDataAvailable(error);
            } else {
                char discard[1024];
                if (DoRecv(discard, sizeof discard, false) < 0) return;
            }
        } catch (const std::exception& e) {
            escaped = true;
            HandleBackGroundException(e);
        }
        if (escaped || fd_ < 0 || state_ != wsConnected) return;
        if ((options_ & wsoNoReceiveLoop) != 0 && !forceLoop) return;
        if (lastError_ != 0) return;
        const int ready = GetRcvdCount();
        // A handler that leaves the data unread would otherwise be called for ever.
        if (ready <= 0 || ready == lastReady) return;
        lastReady = ready;
    }
}

void TCustomWSocket::HandleReadNotification(std::uint16_t error, bool forceLoop) { ReceiveLoop(error, forceLoop); }

}  // namespace corvane
