// TCustomWSocket: the send path. What the stack does not take at once waits in the send queue
// and leaves, in order, on the next write readiness; OnDataSent fires once all of it has gone.

#include "net/custom_wsocket.h"

#include <algorithm>
#include <cstdint>

#include "platform/win_errors.h"

namespace corvane {

void TCustomWSocket::HoldReadingWhileBacklogFull()
{
    if (readHeld_ || !SendBacklogFull() || fd_ < 0) return;
    readHeld_ = true;
    UpdateWriteInterest();
}

void TCustomWSocket::PutDataInSendBuffer(const void* data, int len)
{
    if (len <= 0) return;
    sendQueue_.Append(data, len);  // behind the file while one waits
    allSent_ = false;
}

int TCustomWSocket::Send(const void* data, int len) { return SendBytes(data, len, false); }

int TCustomWSocket::SendLast(const void* data, int len) { return SendBytes(data, len, true); }

int TCustomWSocket::SendBytes(const void* data, int len, bool last)
{
    AssertOwnerThread();
    if (state_ != wsConnected) {
        lastError_ = WSAENOTCONN;
        SocketErrorNumber(WSAENOTCONN, "Send");
        return -1;
    }
    if (!streamSocket_) return SendDatagram(data, len);
    allSent_ = false;
    if (len <= 0) return 0;
    const char* rest = static_cast<const char*>(data);
    int restLen = len;
    // The FIN can only join bytes that go straight to the stack, in the clear.
    const bool joinFin = last && secure_ == nullptr && sendFlags_ == wsSendNormal && !sendingShut_;
    if (sendQueue_.Empty() && !SecureHandshaking()) {
        // Nothing is queued ahead of these bytes: offer them to the stack straight from the
        // caller's memory, and copy into the send buffer only what it does not take.
        int sent = 0;
        const sockapi::Slice whole{rest, restLen};
        const int error = joinFin ? sockapi::SendMore(fd_, rest, restLen, sent)
                                  : StreamSend(&whole, 1, sendFlags_ == wsSendUrgent, sent);
        if (error == 0 && sent > 0) {
            rest += sent;
            restLen -= sent;
            TriggerSendData(sent);
            if (fd_ < 0) return len;  // a handler closed the socket
        }
        // A failure is met again, and handled, by TryToSend below.
    }
    PutDataInSendBuffer(rest, restLen);
    if (restLen == 0) allSent_ = sendQueue_.Empty();
    // All went at once: the shutdown releases the held end of the bytes with its FIN. Whatever
    // is left in the queue goes by the usual sends, and those push the held bytes out.
    if (joinFin && allSent_) Shutdown(1);
    TryToSend();
    HoldReadingWhileBacklogFull();
    if (allSent_) {
        // The data went at once: OnDataSent still fires only after the calling handler returns.
        PostSelf([](TCustomWSocket* self) { self->HandleWriteNotification(0); });
    } else {
        UpdateWriteInterest();
    }
    return len;
}

// A datagram is one message: it goes to the stack whole, in one call, never split into send
// blocks (which would turn one message into several).
int TCustomWSocket::SendDatagram(const void* data, int len)
{
    if (len <= 0) return 0;
    if (!sendQueue_.Empty()) TryToSend();  // what PutDataInSendBuffer queued goes first
    int sent = 0;
    if (const int error = sockapi::Send(fd_, data, len, sendFlags_ == wsSendUrgent, sent); error != 0) {
        lastError_ = error;
        return -1;
    }
    TriggerSendData(sent);
    PostSelf([](TCustomWSocket* self) { self->HandleWriteNotification(0); });
    return sent;
}

int TCustomWSocket::SendTo(const sockapi::Endpoint& dest, int flags, const void* data, int len)
{
    if (fd_ < 0) {
        lastError_ = WSAENOTSOCK;
        return -1;
    }
    if (flags != wsSendNormal && flags != wsSendUrgent) {
        lastError_ = WSAEINVAL;
        return -1;
    }
    if (len < 0) len = 0;
    int sent = 0;
    if (const int error = sockapi::SendTo(fd_, dest, data, len, flags == wsSendUrgent, sent); error != 0) {
        lastError_ = error;
        return -1;
    }
    if (sent > 0) TriggerSendData(sent);
    return sent;
}

int TCustomWSocket::SendStr(const std::string& text) { return Send(text.data(), static_cast<int>(text.size())); }

long long TCustomWSocket::SendFile(int fileHandle, long long offset, long long count)
{
    return SendStretch("SendFile", fileHandle >= 0 && offset >= 0, count,
                       [&] { sendQueue_.StartFile(fileHandle, offset, count); });
}

long long TCustomWSocket::SendHeld(std::shared_ptr<const void> keep, const char* data, long long count)
{
    return SendStretch("SendHeld", data != nullptr, count, [&] { sendQueue_.StartHeld(std::move(keep), data, count); });
}

long long TCustomWSocket::SendStretch(const char* caller, bool valid, long long count,
                                      const std::function<void()>& startInQueue)
{
    AssertOwnerThread();
    const auto refuse = [this, caller](int error) {
        lastError_ = error;
        SocketErrorNumber(error, caller);
        return -1LL;
    };
    if (state_ != wsConnected) return refuse(WSAENOTCONN);
    if (!streamSocket_ || sendFlags_ != wsSendNormal) return refuse(WSAEOPNOTSUPP);
    if (sendQueue_.FilePending()) return refuse(WSAEALREADY);
    sendQueue_.ResetFileBytesSent();
    if (!valid) return refuse(WSAEINVAL);
    if (count <= 0) return 0;
    allSent_ = false;
    startInQueue();
    TryToSend();
    if (allSent_) {
        // As for Send: OnDataSent fires only after the calling handler has returned.
        PostSelf([](TCustomWSocket* self) { self->HandleWriteNotification(0); });
    } else {
        UpdateWriteInterest();
    }
    return count;
}

void TCustomWSocket::TryToSend()
{
    if (fd_ < 0 || (!sendQueue_.HasBlocks() && !sendQueue_.FilePending())) return;
    if (secure_ != nullptr && secureState_ == SecureState::Handshaking) return;  // it waits for the handshake
    for (;;) {
        if (!SendQueuedBlocks()) return;
        if (!sendQueue_.FilePending()) {
            allSent_ = true;
            return;
        }
        if (!SendFileRange()) return;  // once it has gone, the blocks queued behind it are next
        if (fd_ < 0) return;
    }
}

// True once every queued block has gone to the stack; false while the stack is full, or when the
// connection failed or a handler closed the socket.
bool TCustomWSocket::SendQueuedBlocks()
{
    if (!sendQueue_.HasBlocks()) return true;
    for (;;) {
        // The unread blocks go to the stack together, in order, in one call: a large Send costs
        // one system call per 64 blocks instead of one per 1460 bytes, and the stack sees full
        // segments instead of small writes that the send delay would hold back.
        sockapi::Slice slices[sockapi::kMaxSlices];
        int offered = 0;
        const int count = sendQueue_.Gather(slices, sockapi::kMaxSlices, offered);
        if (count == 0) return true;
        const bool urgent = sendFlags_ == wsSendUrgent;
        int sent = 0;
        const int error = StreamSend(slices, count, urgent, sent);
        if (error == 0) {
            if (sent == 0) return false;
            sendQueue_.MarkSent(sent);
            TriggerSendData(sent);
            if (fd_ < 0 || !sendQueue_.HasBlocks()) return false;  // a handler closed the socket
            if (sent < offered) return false;  // the stack is full: the next write notification goes on
            continue;
        }
        if (error != WSAEWOULDBLOCK) SendFailed(error);
        return false;
    }
}

// True once the file part has gone to the stack (or the file ended before it); false while the
// stack is full, or when the connection failed or a handler closed the socket.
bool TCustomWSocket::SendFileRange()
{
    while (sendQueue_.FilePending()) {
        const TSendQueue::FileRange& file = sendQueue_.File();
        long long sent = 0;
        const int error = file.memory != nullptr ? SendHeldRange(sent)
                                                 : StreamSendFile(file.handle, file.offset, file.remaining, sent);
        if (error != 0) {
            if (error != WSAEWOULDBLOCK) SendFailed(error);
            return false;
        }
        if (sent == 0) break;  // the file is shorter than announced: the send ends with it
        sendQueue_.FileSent(sent);
        TriggerSendData(static_cast<int>(sent));
        if (fd_ < 0) return false;  // a handler closed the socket
    }
    sendQueue_.FinishFile();
    return true;
}

// Held bytes go as one large write, as much as one call takes.
int TCustomWSocket::SendHeldRange(long long& sent)
{
    constexpr long long kLargestWrite = 0x7ffff000;
    const TSendQueue::FileRange& held = sendQueue_.File();
    const sockapi::Slice slice{held.memory, static_cast<int>(std::min(held.remaining, kLargestWrite))};
    int taken = 0;
    const int error = StreamSend(&slice, 1, false, taken);
    sent = taken;
    if (error == 0 && taken == 0) return WSAEWOULDBLOCK;  // held bytes never end early
    return error;
}

void TCustomWSocket::SendFailed(int error)
{
    if (error == WSAEINVAL || error == WSAENOTSOCK || error == WSAECONNABORTED || error == WSAECONNRESET ||
        error == WSAENOTCONN) {
        const bool alreadyFired = closeInvoked_;
        closeInvoked_ = true;
        lastError_ = error;
        InternalClose(false, static_cast<std::uint16_t>(error));
        if (!alreadyFired) TriggerSessionClosed(static_cast<std::uint16_t>(error));
        return;
    }
    SocketErrorNumber(error, "TryToSend failed");
}

void TCustomWSocket::DeleteBufferedData()
{
    sendQueue_.Clear();
    allSent_ = true;
}

}  // namespace corvane
