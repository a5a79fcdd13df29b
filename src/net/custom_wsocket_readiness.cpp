// TCustomWSocket: the handle's readiness. The interest asked of the loop follows the state (write
// interest only while connecting or while something waits to be sent), and each readiness is
// turned into the connect, data, write and close notifications.

#include "net/custom_wsocket.h"

#include <memory>

#include "platform/win_errors.h"

namespace corvane {

void TCustomWSocket::StopWatching(bool beforeClose)
{
    if (loop_ != nullptr && fd_ >= 0) loop_->UnwatchFd(fd_, beforeClose);
}

void TCustomWSocket::RequestNotifications()
{
    if (loop_ == nullptr) return;  // asked for again by ThreadAttach
    std::weak_ptr<bool> alive = alive_;
    loop_->WatchFd(fd_, EventLoop::IoReadable, [this, alive](std::uint32_t events) {
        auto token = alive.lock();
        if (token && *token) OnReadiness(events);
    });
    UpdateWriteInterest();
}

void TCustomWSocket::UpdateWriteInterest()
{
    if (fd_ < 0 || paused_ || loop_ == nullptr) return;
    bool wantWrite = state_ == wsConnecting || !allSent_;
    bool wantRead = !readHeld_;
    if (secure_ != nullptr && secureState_ == SecureState::Handshaking) {
        wantRead = true;
        wantWrite = secure_->WantsWritable();
    } else if (secure_ != nullptr && secure_->WantsWritable()) {
        wantWrite = true;  // the channel must answer the peer before it can read on
    }
    loop_->ModifyFd(fd_, (wantRead ? EventLoop::IoReadable : 0u) | (wantWrite ? EventLoop::IoWritable : 0u));
}

void TCustomWSocket::OnReadiness(std::uint32_t events)
{
    if (paused_ || fd_ < 0) return;
    std::weak_ptr<bool> alive = alive_;
    auto stillHere = [&alive] {
        auto token = alive.lock();
        return token && *token;
    };
    if (state_ == wsConnecting) {
        if ((events & (EventLoop::IoWritable | EventLoop::IoError | EventLoop::IoHangup | EventLoop::IoReadable)) == 0)
            return;
        int error = 0;
        sockapi::PendingError(fd_, error);
        Guarded([&] { HandleConnectComplete(static_cast<std::uint16_t>(error)); });
        return;
    }
    if (listeningStream_) {
        if (events & EventLoop::IoReadable) Guarded([&] { TriggerSessionAvailable(0); });
        return;
    }
    if (secure_ != nullptr && secureState_ == SecureState::Handshaking) {
        Guarded([&] { ContinueHandshake(); });
        return;
    }
    if (events & EventLoop::IoReadable ||
        (secure_ != nullptr && secure_->WantsWritable() && (events & EventLoop::IoWritable))) {
        const bool hangup = (events & EventLoop::IoHangup) != 0;
        HandleReadNotification(0, hangup);
        if (!stillHere() || fd_ < 0) return;
        if (secure_ != nullptr) {
            AfterSecureRead();
            if (!stillHere() || fd_ < 0) return;
        }
    }
    if ((events & EventLoop::IoWritable) && state_ == wsConnected) {
        Guarded([&] { HandleWriteNotification(0); });
        if (!stillHere() || fd_ < 0) return;
    }
    if (!streamSocket_) {
        // A datagram socket has no connection to lose: an error reported by the stack (an ICMP
        // unreachable after a send) is taken and kept, and the socket stays open.
        if (events & EventLoop::IoError) {
            int error = 0;
            sockapi::PendingError(fd_, error);
            if (error != 0) lastError_ = error;
        }
        return;
    }
    if (events & (EventLoop::IoHangup | EventLoop::IoError)) {
        int error = 0;
        if (events & EventLoop::IoError) sockapi::PendingError(fd_, error);
        // Data still held is delivered first; only an exhausted stream is a close. While reading
        // is held for the sending, the peer that has gone will read no answer: it is a close.
        if (GetRcvdCount() > 0 && !readHeld_) return;
        Guarded([&] { HandleCloseNotification(static_cast<std::uint16_t>(error)); });
    }
}

void TCustomWSocket::HandleConnectComplete(std::uint16_t error)
{
    if (state_ != wsConnected) {
        ChangeState(wsConnected);
        if (error == 0 && nextConnectionMaker_) {
            // The owner hears of the connection once its handshake is done.
            TSecureChannelMaker maker = std::move(nextConnectionMaker_);
            nextConnectionMaker_ = nullptr;
            connectPending_ = true;
            StartSecureChannel(maker(fd_), nextConnectionLimit_);
            return;
        }
        TriggerSessionConnectedSpecial(error);
        if (error != 0 && state_ != wsClosed) {
            Close();
            return;
        }
    }
    UpdateWriteInterest();
}

void TCustomWSocket::HandleWriteNotification(std::uint16_t error)
{
    if (fd_ < 0 || (secure_ != nullptr && secureState_ == SecureState::Handshaking)) return;
    TryToSend();
    if (fd_ >= 0 && secure_ != nullptr && secureState_ == SecureState::WaitingForQueue && allSent_) {
        BeginHandshake();  // the bytes that had to go out in the clear have gone
        return;
    }
    if (fd_ < 0) return;
    const bool resumed = readHeld_ && !SendBacklogFull();
    if (resumed) readHeld_ = false;
    UpdateWriteInterest();
    if (resumed) ReadingResumed();
    if (fd_ >= 0 && allSent_) TriggerDataSent(error);
}

void TCustomWSocket::HandleCloseNotification(std::uint16_t error)
{
    if (state_ == wsConnecting) return;
    HandleReadNotification(error, true);
    if (fd_ < 0 && state_ == wsClosed) return;
    if (!closeInvoked_) {
        closeInvoked_ = true;
        TriggerSessionClosed(error);
    }
    if (state_ != wsClosed) Close();
}

void TCustomWSocket::Pause()
{
    AssertOwnerThread();
    if (paused_) return;
    paused_ = true;
    StopWatching();
}

void TCustomWSocket::Resume()
{
    AssertOwnerThread();
    if (!paused_) return;
    paused_ = false;
    if (fd_ >= 0) RequestNotifications();
}

}  // namespace corvane
