// TCustomWSocket: the secure channel. Its handshake runs on the handle's readiness like any
// other event, so one slow or silent peer never holds the thread; a timer of the owner's loop
// bounds it. Once it is done, the three stream calls below are the only way bytes pass.
#include <algorithm>
#include <cstring>

#include "net/custom_wsocket.h"
#include "platform/send_file.h"
#include "platform/win_errors.h"

namespace corvane {

void TCustomWSocket::StartSecureChannel(std::unique_ptr<TSecureChannel> channel, std::chrono::milliseconds timeLimit)
{
    if (fd_ < 0 || state_ != wsConnected || !streamSocket_ || secure_ != nullptr || channel == nullptr) {
        lastError_ = WSAEINVAL;
        // The owner hears of it as of any failed handshake, after the calling handler.
        PostSelf([](TCustomWSocket* self) { self->FinishHandshake(WSAEINVAL); });
        return;
    }
    secure_ = std::move(channel);
    handshakeLimit_ = timeLimit;
    std::weak_ptr<bool> alive = alive_;
    if (loop_ != nullptr && timeLimit.count() > 0) {
        handshakeTimer_ = loop_->AddOneShot(timeLimit, [this, alive] {
            auto token = alive.lock();
            if (token && *token) HandshakeTimedOut();
        });
    }
    TryToSend();  // still in the clear: the bytes queued before the call
    if (fd_ < 0) return;
    if (!sendQueue_.Empty()) {
        secureState_ = SecureState::WaitingForQueue;
        UpdateWriteInterest();
        return;
    }
    BeginHandshake();
}

void TCustomWSocket::SecureNextConnection(TSecureChannelMaker maker, std::chrono::milliseconds timeLimit)
{
    nextConnectionMaker_ = std::move(maker);
    nextConnectionLimit_ = timeLimit;
}

void TCustomWSocket::BeginHandshake()
{
    secureState_ = SecureState::Handshaking;
    ContinueHandshake();
}

void TCustomWSocket::ContinueHandshake()
{
    if (secure_ == nullptr || secureState_ != SecureState::Handshaking || fd_ < 0) return;
    switch (secure_->Handshake()) {
    case TSecureChannel::Step::Done: FinishHandshake(0); return;
    case TSecureChannel::Step::Failed: FinishHandshake(WSAECONNABORTED); return;
    case TSecureChannel::Step::WantRead:
    case TSecureChannel::Step::WantWrite: UpdateWriteInterest(); return;
    }
}

void TCustomWSocket::HandshakeTimedOut()
{
    handshakeTimer_ = 0;
    if (secure_ != nullptr && secureState_ != SecureState::Ready) FinishHandshake(WSAETIMEDOUT);
}

void TCustomWSocket::FinishHandshake(std::uint16_t error)
{
    if (loop_ != nullptr && handshakeTimer_ != 0) loop_->CancelTimer(handshakeTimer_);
    handshakeTimer_ = 0;
    const bool announceConnect = connectPending_;
    connectPending_ = false;
    std::weak_ptr<bool> alive = alive_;
    const auto stillHere = [&alive] {
        auto token = alive.lock();
        return token && *token;
    };
    if (error == 0) {
        secureState_ = SecureState::Ready;
        UpdateWriteInterest();
        TriggerSecureChannelReady(0);
        if (!stillHere() || fd_ < 0) return;
        if (announceConnect) TriggerSessionConnectedSpecial(0);
        if (!stillHere() || fd_ < 0) return;
        // What the owner queued meanwhile goes now, encrypted.
        if (!allSent_) HandleWriteNotification(0);
        if (stillHere() && fd_ >= 0) ReadPendingPlaintext();
        return;
    }
    lastError_ = error;
    TriggerSecureChannelReady(error);
    if (!stillHere()) return;
    if (announceConnect) TriggerSessionConnectedSpecial(error);
    if (!stillHere()) return;
    // Nothing was agreed: there is no closing alert to send, and nothing queued may go out.
    // The close carries the error, so that a transfer hears it as a failure.
    DeleteBufferedData();
    if (fd_ >= 0 || state_ != wsClosed) InternalClose(false, error);
}

void TCustomWSocket::DropSecureChannel()
{
    if (loop_ != nullptr && handshakeTimer_ != 0) loop_->CancelTimer(handshakeTimer_);
    handshakeTimer_ = 0;
    secure_.reset();
    secureState_ = SecureState::Ready;
}

void TCustomWSocket::AfterSecureRead()
{
    if (secure_ == nullptr || fd_ < 0) return;
    if (secure_->PeerClosed()) {
        // The peer's closing alert ends the stream as a hang-up would; the peer waits for ours,
        // which the close sends.
        Guarded([&] { HandleCloseNotification(0); });
        return;
    }
    ReadPendingPlaintext();
}

void TCustomWSocket::ReadPendingPlaintext()
{
    // Decrypted bytes that the channel holds raise no readiness of the handle: they are offered
    // again from a posted event, as long as the reader takes some each time.
    if (secure_ == nullptr || secure_->Pending() <= 0 || paused_ || readHeld_) return;
    const int before = secure_->Pending();
    PostSelf([before](TCustomWSocket* self) {
        if (self->secure_ == nullptr || self->fd_ < 0 || self->paused_ || self->readHeld_) return;
        if (self->secure_->Pending() <= 0) return;
        std::weak_ptr<bool> alive = self->alive_;
        self->HandleReadNotification(0, false);
        auto token = alive.lock();
        if (!token || !*token) return;  // a reader's handler destroyed the socket
        if (self->secure_ == nullptr || self->fd_ < 0) return;
        if (self->secure_->PeerClosed() || self->secure_->Pending() < before) self->AfterSecureRead();
    });
}

void TCustomWSocket::TriggerSecureChannelReady(std::uint16_t error)
{
    if (OnSecureChannelReady) OnSecureChannelReady(this, error);
}

// ---- the stream calls ----------------------------------------------------------------------------

int TCustomWSocket::StreamSend(const sockapi::Slice* slices, int count, bool urgent, int& sent)
{
    if (secure_ == nullptr || secureState_ == SecureState::WaitingForQueue) {
        return count == 1 ? sockapi::Send(fd_, slices[0].data, slices[0].len, urgent, sent)
                          : sockapi::SendGather(fd_, slices, count, urgent, sent);
    }
    sent = 0;
    if (secureState_ != SecureState::Ready) return WSAEWOULDBLOCK;
    // Urgent data has no meaning inside an encrypted stream: it goes in order with the rest.
    (void)urgent;
    if (count == 1) return secure_->Send(slices[0].data, slices[0].len, sent);
    // The queued blocks are joined first: one record per block would cost a record's framing
    // and a system call for every 1460 bytes. A send left unfinished is repeated with the same
    // front blocks, so the joined bytes start the same way again.
    constexpr int kJoined = 64 * 1024;
    thread_local char joined[kJoined];
    int length = 0;
    for (int i = 0; i < count && length < kJoined; ++i) {
        const int part = std::min(slices[i].len, kJoined - length);
        std::memcpy(joined + length, slices[i].data, static_cast<std::size_t>(part));
        length += part;
    }
    return secure_->Send(joined, length, sent);
}

int TCustomWSocket::StreamSendFile(int fileHandle, long long offset, long long count, long long& sent)
{
    if (secure_ == nullptr) {
        lastFileSendPath_ = FileSendPath::Direct;
        return sockapi::SendFile(fd_, fileHandle, offset, count, sent);
    }
    sent = 0;
    if (secureState_ != SecureState::Ready) return WSAEWOULDBLOCK;
    if (secure_->KernelSends()) {
        lastFileSendPath_ = FileSendPath::KernelEncrypted;
        return secure_->SendFile(fileHandle, offset, count, sent);
    }
    // Read here and encrypted by the channel. A block the channel did not finish is read again
    // from the same offset next time: the channel is handed the same bytes, as it must be.
    lastFileSendPath_ = FileSendPath::CopiedThroughChannel;
    constexpr int kBlock = 64 * 1024;
    thread_local char block[kBlock];
    int got = 0;
    const int want = static_cast<int>(std::min<long long>(count, kBlock));
    if (const int error = sockapi::ReadFileAt(fileHandle, block, want, offset, got); error != 0) return error;
    if (got == 0) return 0;
    int taken = 0;
    const int error = secure_->Send(block, got, taken);
    sent = taken;
    return taken > 0 ? 0 : error;
}

int TCustomWSocket::StreamReceive(void* buffer, int len, bool peek, int& received)
{
    if (secure_ == nullptr) return sockapi::Receive(fd_, buffer, len, peek, received);
    received = 0;
    if (secureState_ != SecureState::Ready) return WSAEWOULDBLOCK;
    return secure_->Receive(buffer, len, peek, received);
}

}  // namespace corvane
