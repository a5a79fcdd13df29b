// TCustomWSocket: closing, in its forms (graceful, abortive, delayed, half) and self-release.

#include "net/custom_wsocket.h"

#include "net/wsocket_functions.h"
#include "platform/win_errors.h"

namespace corvane {

void TCustomWSocket::InternalClose(bool shutdownFirst, std::uint16_t error)
{
    if (state_ == wsClosed && fd_ >= 0) return;
    if (fd_ >= 0) {
        // The closing alert tells the peer that the data ended here and was not cut off; a peer
        // that sent its own waits for it, also when the close is an abort.
        if (Secure() && state_ == wsConnected && (shutdownFirst || secure_->PeerClosed())) secure_->Shutdown();
        if (shutdownFirst && streamSocket_ && state_ == wsConnected && !sendingShut_) sockapi::Shutdown(fd_, 1);
        // Every handle here is the only one of its socket (made close-on-exec, never
        // duplicated): closing it takes it out of the loop's epoll set.
        StopWatching(true);
        const int closeError = sockapi::Close(fd_);
        fd_ = -1;
        sendingShut_ = false;
        DropSecureChannel();
        // The file's owner may close it as soon as the connection is gone.
        sendQueue_.DropFile();
        if (closeError != 0 && closeError != WSANOTINITIALISED) {
            lastError_ = closeError;
            RaiseException("Error " + std::to_string(closeError) + " in function Disconnect (closesocket)\r\n" +
                           WSocketErrorDesc(closeError));
            return;
        }
        ChangeState(wsClosed);
        if (!destroying_ && !closeInvoked_) {
            closeInvoked_ = true;
            TriggerSessionClosed(error);
        }
        try {
            AssignDefaultValue();
        } catch (...) {}
        return;
    }
    if (state_ != wsClosed) {
        ChangeState(wsClosed);
        try {
            AssignDefaultValue();
        } catch (...) {}
    }
}

void TCustomWSocket::Close()
{
    AssertOwnerThread();
    InternalClose(true, 0);
}

void TCustomWSocket::CloseGracefully()
{
    AssertOwnerThread();
    lingerOnOff_ = wsLingerOff;
    if (fd_ >= 0 && streamSocket_) {
        sockapi::SetLinger(fd_, false, 0);
        DropUnreadInput();
    }
    Close();
}

void TCustomWSocket::FinishSending()
{
    if (fd_ < 0 || !streamSocket_ || state_ != wsConnected) return;
    TryToSend();
    if (fd_ < 0) return;
    lingerOnOff_ = wsLingerOff;
    sockapi::SetLinger(fd_, false, 0);
    if (Secure()) secure_->Shutdown();
    sockapi::Shutdown(fd_, 1);
    DropUnreadInput();
}

void TCustomWSocket::DropUnreadInput()
{
    // Bounded: a peer that keeps sending is not read for ever; what it sends later is its reset.
    char sink[16 * 1024];
    for (int i = 0; i < 64; ++i) {
        int received = 0;
        if (sockapi::Receive(fd_, sink, sizeof sink, false, received) != 0 || received <= 0) return;
    }
}

void TCustomWSocket::Abort()
{
    AssertOwnerThread();
    CancelDnsLookup();
    DeleteBufferedData();
    lingerOnOff_ = wsLingerOff;
    if (fd_ >= 0 && streamSocket_ && state_ == wsConnected) sockapi::SetLinger(fd_, false, 0);
    InternalClose(false, 0);
}

void TCustomWSocket::CloseDelayed()
{
    AssertOwnerThread();
    PostSelf([](TCustomWSocket* self) { self->Close(); });
}

void TCustomWSocket::Release()
{
    PostSelf([](TCustomWSocket* self) { delete self; });
}

void TCustomWSocket::Shutdown(int how)
{
    AssertOwnerThread();
    if (fd_ < 0) return;
    if (how == 1 && sendingShut_) return;  // SendLast ended it already
    // The close that follows does not end the sending direction a second time.
    if (sockapi::Shutdown(fd_, how) == 0 && how >= 1) sendingShut_ = true;
}

}  // namespace corvane
