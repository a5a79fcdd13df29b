// TCustomWSocket: lifetime, properties, error reporting, state changes and the events.
// The other jobs live beside it: custom_wsocket_open (socket creation, connect, listen, accept),
// _send (the send path over TSendQueue), _receive, _readiness (what the loop reports for the
// handle), _close, _loop (the owner's loop and moving between threads), _lookup (name lookups
// and address texts), _addresses (the handle's endpoints) and _secure (the secure channel).

#include "net/custom_wsocket.h"

#include <cassert>
#include <stdexcept>

#include "common/text_trim.h"
#include "net/winsock_stack.h"
#include "net/wsocket_functions.h"
#include "platform/win_errors.h"

namespace corvane {

const char* SocketStateName(TSocketState state)
{
    switch (state) {
    case wsInvalidState: return "wsInvalidState";
    case wsOpened: return "wsOpened";
    case wsBound: return "wsBound";
    case wsConnecting: return "wsConnecting";
    case wsConnected: return "wsConnected";
    case wsAccepting: return "wsAccepting";
    case wsListening: return "wsListening";
    case wsClosed: return "wsClosed";
    }
    return "wsInvalidState";
}

TCustomWSocket::TCustomWSocket()
    : loop_(EventLoop::Current())
{
    if (loop_ == nullptr) throw ESocketException("Cannot create a hidden window for TWSocket");
    home_ = std::make_shared<SocketHome>(loop_);
    WSocketCountSocketCreated();
    AssignDefaultValue();
}

TCustomWSocket::~TCustomWSocket()
{
    destroying_ = true;
    *alive_ = false;
    try {
        CancelDnsLookup();
    } catch (...) {}
    home_->Abandon();
    try {
        if (state_ != wsClosed || fd_ >= 0) InternalClose(false, 0);
    } catch (...) {
        // A destructor reports nothing; the handle is gone either way.
    }
    if (fd_ >= 0) {
        StopWatching();
        sockapi::Close(fd_);
    }
    DropSecureChannel();
    WSocketCountSocketDestroyed();
}

bool TCustomWSocket::SetStoredText(std::string& field, bool& assigned, const std::string& value, const char* name)
{
    if (state_ != wsClosed) {
        RaiseException(std::string("Cannot change ") + name + " if not closed");
        return false;
    }
    const std::string trimmed = TrimSpaces(value);
    if (trimmed != field || !assigned) {
        field = trimmed;
        assigned = !trimmed.empty();
    }
    return true;
}

void TCustomWSocket::SetAddr(const std::string& value) { SetStoredText(addr_, addrAssigned_, value, "Addr"); }
void TCustomWSocket::SetPort(const std::string& value) { SetStoredText(port_, portAssigned_, value, "Port"); }
void TCustomWSocket::SetProto(const std::string& value) { SetStoredText(proto_, protoAssigned_, value, "Proto"); }

void TCustomWSocket::SetLocalAddr(const std::string& value)
{
    if (state_ != wsClosed) {
        RaiseException("Cannot change LocalAddr if not closed");
        return;
    }
    localAddr_ = value.empty() ? "0.0.0.0" : value;
}

void TCustomWSocket::SetLocalPort(const std::string& value)
{
    if (state_ != wsClosed) {
        RaiseException("Cannot change LocalPort if not closed");
        return;
    }
    localPort_ = value;
}

void TCustomWSocket::SetSendFlags(int flags)
{
    if (flags != wsSendNormal && flags != wsSendUrgent) {
        RaiseException("Invalid SendFlags");
        return;
    }
    sendFlags_ = static_cast<TSocketSendFlags>(flags);
}

void TCustomWSocket::AssignDefaultValue()
{
    addrAssigned_ = false;
    portAssigned_ = false;
    proto_ = "tcp";
    protoAssigned_ = true;
    localAddr_ = "0.0.0.0";
    localPort_ = "0";
    lingerOnOff_ = wsLingerOn;
    lingerTimeout_ = 0;
    readCount_ = 0;
    state_ = wsClosed;
    allSent_ = true;
    paused_ = false;
    readHeld_ = false;
    closeInvoked_ = false;
    listeningStream_ = false;
    nextConnectionMaker_ = nullptr;
    connectPending_ = false;
}

void TCustomWSocket::RaiseException(const std::string& message)
{
    if (OnError) {
        TriggerError();
        return;
    }
    throw ESocketException(message);
}

void TCustomWSocket::TriggerError()
{
    if (OnError) OnError(this);
}

void TCustomWSocket::SocketError(const std::string& function) { SocketErrorNumber(LastWinSockError(), function); }

void TCustomWSocket::SocketErrorNumber(int error, const std::string& function)
{
    const std::string message =
        "Error " + std::to_string(error) + " in function " + function + "\r\n" + WSocketErrorDesc(error);
    if (error == WSAECONNRESET || error == WSAENOTCONN) {
        if (fd_ >= 0) {
            StopWatching();
            sockapi::Close(fd_);
            fd_ = -1;
            sendingShut_ = false;
            sendQueue_.DropFile();
            DropSecureChannel();
        }
        if (state_ != wsClosed && !closeInvoked_) {
            closeInvoked_ = true;
            TriggerSessionClosed(static_cast<std::uint16_t>(error));
        }
        ChangeState(wsClosed);
    }
    lastError_ = error;
    RaiseException(message);
}

void TCustomWSocket::HandleBackGroundException(const std::exception& e)
{
    bool canClose = true;
    if (OnBgException) {
        try {
            OnBgException(this, e, canClose);
        } catch (...) {}
    }
    if (canClose) {
        try {
            Abort();
        } catch (...) {}
    }
}

void TCustomWSocket::Guarded(const std::function<void()>& body)
{
    try {
        body();
    } catch (const std::exception& e) {
        HandleBackGroundException(e);
    } catch (...) {
        HandleBackGroundException(std::runtime_error("unknown exception"));
    }
}

void TCustomWSocket::SetComponentOptions(TWSocketOptions options)
{
    const bool noDelayChanged = ((options ^ options_) & wsoTcpNoDelay) != 0;
    options_ = options;
    if (noDelayChanged && fd_ >= 0 && streamSocket_ && state_ == wsConnected)
        sockapi::SetNoDelay(fd_, (options & wsoTcpNoDelay) != 0);
}

void TCustomWSocket::PostSelf(std::function<void(TCustomWSocket*)> work)
{
    // The home runs it on whichever thread owns the socket by then, and drops it once the
    // socket is gone.
    home_->Post([this, work = std::move(work)] { work(this); });
}

bool TCustomWSocket::ChangeState(TSocketState newState)
{
    const TSocketState oldState = state_;
    state_ = newState;
    if (oldState != newState) TriggerChangeState(oldState, newState);
    return true;
}

void TCustomWSocket::TriggerChangeState(TSocketState oldState, TSocketState newState)
{
    if (OnChangeState) OnChangeState(this, oldState, newState);
}

void TCustomWSocket::TriggerSessionAvailable(std::uint16_t error)
{
    if (OnSessionAvailable) OnSessionAvailable(this, error);
}

void TCustomWSocket::TriggerSessionConnected(std::uint16_t error)
{
    if (OnSessionConnected) OnSessionConnected(this, error);
}

void TCustomWSocket::TriggerDataAvailable(std::uint16_t error)
{
    if (OnDataAvailable) OnDataAvailable(this, error);
}

void TCustomWSocket::TriggerDataSent(std::uint16_t error)
{
    if (OnDataSent) OnDataSent(this, error);
}

void TCustomWSocket::TriggerSendData(int bytesSent)
{
    if (OnSendData) OnSendData(this, bytesSent);
}

void TCustomWSocket::TriggerSessionClosed(std::uint16_t error)
{
    if (OnSessionClosed) OnSessionClosed(this, error);
}

}  // namespace corvane
