#include "net/custom_wsocket.h"

#include <algorithm>

#include "common/text_trim.h"
#include "net/winsock_stack.h"
#include "net/wsocket_functions.h"
#include "platform/send_file.h"
#include "platform/win_errors.h"

namespace corvane {
namespace {

constexpr int kProtocolTcp = 6;
constexpr int kProtocolUdp = 17;

}  // namespace

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

TCustomWSocket::TCustomWSocket() : loop_(EventLoop::Current())
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
    } catch (...) {
    }
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

void TCustomWSocket::StopWatching()
{
    if (loop_ != nullptr && fd_ >= 0) loop_->UnwatchFd(fd_);
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

// ---- error reporting --------------------------------------------------------------------------

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
            DropFileRange();
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
        } catch (...) {
        }
    }
    if (canClose) {
        try {
            Abort();
        } catch (...) {
        }
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

void TCustomWSocket::PostSelf(std::function<void(TCustomWSocket*)> work)
{
    // The home runs it on whichever thread owns the socket by then, and drops it once the
    // socket is gone.
    home_->Post([this, work = std::move(work)] { work(this); });
}

// ---- state and events -------------------------------------------------------------------------

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

// ---- addresses ----------------------------------------------------------------------------------

int TCustomWSocket::GetSockName(sockapi::Endpoint& local) { return fd_ < 0 ? WSAENOTSOCK : sockapi::LocalEndpoint(fd_, local); }
int TCustomWSocket::GetPeerName(sockapi::Endpoint& peer) { return fd_ < 0 ? WSAENOTSOCK : sockapi::PeerEndpoint(fd_, peer); }

std::string TCustomWSocket::GetPeerAddr()
{
    sockapi::Endpoint peer;
    if (state_ != wsConnected || GetPeerName(peer) != 0) return "error";
    return DottedAddress(peer.address);
}

std::string TCustomWSocket::GetPeerPort()
{
    sockapi::Endpoint peer;
    if (state_ != wsConnected || GetPeerName(peer) != 0) return "error";
    return std::to_string(peer.port);
}

std::string TCustomWSocket::GetXAddr()
{
    sockapi::Endpoint local;
    if ((state_ != wsBound && state_ != wsConnected && state_ != wsListening) || GetSockName(local) != 0)
        return "error";
    return DottedAddress(local.address);
}

std::string TCustomWSocket::GetXPort()
{
    sockapi::Endpoint local;
    if ((state_ != wsBound && state_ != wsConnected && state_ != wsListening) || GetSockName(local) != 0)
        return "error";
    return std::to_string(local.port);
}

int TCustomWSocket::GetRcvdCount()
{
    int count = 0;
    if (fd_ < 0 || sockapi::BytesReady(fd_, count) != 0) return -1;
    // Through a secure channel, the bytes the handle holds are records not yet decrypted: a
    // sign that more may come, and what the channel has decrypted already comes first.
    if (secure_ != nullptr && secure_->Pending() > 0) return secure_->Pending();
    return count;
}

// ---- opening -------------------------------------------------------------------------------------

bool TCustomWSocket::ResolveForUse(const char* what, const std::string& host, const std::string& port,
                                   sockapi::Endpoint& remote, int& protocol)
{
    try {
        protocol = WSocketResolveProto(proto_);
        remote.port = WSocketResolvePort(port, proto_);
        remote.address = WSocketResolveHost(host);
        return true;
    } catch (const ESocketException& e) {
        RaiseException(std::string(what) + ": " + e.what());
        return false;
    }
}

void TCustomWSocket::ApplyLinger()
{
    if (lingerOnOff_ == wsLingerNoSet) return;
    if (fd_ < 0) {
        RaiseException("Cannot set linger option at this time");
        return;
    }
    if (const int error = sockapi::SetLinger(fd_, lingerOnOff_ == wsLingerOn, lingerTimeout_); error != 0)
        SocketErrorNumber(error, "setsockopt(SO_LINGER)");
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

void TCustomWSocket::HoldReadingWhileBacklogFull()
{
    if (readHeld_ || !SendBacklogFull() || fd_ < 0) return;
    readHeld_ = true;
    UpdateWriteInterest();
}

void TCustomWSocket::Connect()
{
    if (fd_ >= 0 && state_ != wsClosed) {
        RaiseException("Connect: Socket already in use");
        return;
    }
    if (!portAssigned_) {
        RaiseException("Connect: No Port Specified");
        return;
    }
    if (!addrAssigned_) {
        RaiseException("Connect: No IP Address Specified");
        return;
    }
    if (!protoAssigned_) {
        RaiseException("Connect: No Protocol Specified");
        return;
    }
    sockapi::Endpoint remote;
    int protocol = kProtocolTcp;
    if (!ResolveForUse("connect", ConnectHostText(), ConnectPortText(), remote, protocol)) return;
    const bool stream = protocol == kProtocolTcp;
    const sockapi::Kind kind = stream                     ? sockapi::Kind::Stream
                               : protocol == kProtocolUdp ? sockapi::Kind::Datagram
                                                          : sockapi::Kind::Raw;
    sockapi::Endpoint local;
    try {
        local.address = WSocketResolveHost(localAddr_);
        local.port = WSocketResolvePort(localPort_.empty() ? "0" : localPort_, proto_);
    } catch (const ESocketException& e) {
        RaiseException(std::string("connect: ") + e.what());
        return;
    }
    DeleteBufferedData();
    streamSocket_ = stream;
    if (const int error = sockapi::Create(kind, kind == sockapi::Kind::Raw ? protocol : 0, fd_); error != 0) {
        fd_ = -1;
        SocketErrorNumber(error, "Connect (socket)");
        return;
    }
    ChangeState(wsOpened);
    if (state_ != wsOpened) {
        lastError_ = WSAEINVAL;
        SocketErrorNumber(WSAEINVAL, "Connect (Invalid operation in OnChangeState)");
        return;
    }
    if (stream) {
        if (const int error = sockapi::SetReuseAddress(fd_, true); error != 0) return SocketErrorNumber(error, "setsockopt(SO_REUSEADDR)");
        if ((options_ & wsoTcpNoDelay) != 0)
            if (const int error = sockapi::SetNoDelay(fd_, true); error != 0)
                return SocketErrorNumber(error, "setsockopt(IPPROTO_TCP, TCP_NODELAY)");
        ApplyLinger();
        if (const int error = sockapi::SetKeepAlive(fd_, true); error != 0) return SocketErrorNumber(error, "setsockopt(SO_KEEPALIVE)");
    }
    if (!stream || local.port != 0 || local.address != 0) {
        if (const int error = sockapi::Bind(fd_, local); error != 0) {
            lastError_ = error;
            RaiseException("winsock.bind failed, error #" + std::to_string(error));
            return;
        }
        sockapi::Endpoint bound;
        if (const int error = sockapi::LocalEndpoint(fd_, bound); error != 0) {
            lastError_ = error;
            RaiseException("winsock.getsockname failed, error #" + std::to_string(error));
            return;
        }
        localPort_ = std::to_string(bound.port);
    }
    if (!stream) {
        if (multiCast_ && multiCastIpTtl_ != 1)
            if (const int error = sockapi::SetMulticastTtl(fd_, multiCastIpTtl_); error != 0)
                return SocketErrorNumber(error, "setsockopt(IP_MULTICAST_TTL)");
        if (remote.address == 0xFFFFFFFFu)
            if (const int error = sockapi::SetBroadcast(fd_, true); error != 0) return SocketErrorNumber(error, "setsockopt(SO_BROADCAST)");
        sockapi::Connect(fd_, remote);
        RequestNotifications();
        ChangeState(wsConnected);
        TriggerSessionConnected(0);
        return;
    }
    const int error = sockapi::Connect(fd_, remote);
    if (error != 0 && error != WSAEWOULDBLOCK) {
        lastError_ = error;
        SocketErrorNumber(error, "Connect");
        return;
    }
    ChangeState(wsConnecting);
    RequestNotifications();
}

void TCustomWSocket::Listen()
{
    if (!portAssigned_) {
        lastError_ = WSAEINVAL;
        RaiseException("listen: port not assigned");
        return;
    }
    if (!protoAssigned_) {
        lastError_ = WSAEINVAL;
        RaiseException("listen: protocol not assigned");
        return;
    }
    if (!addrAssigned_) {
        lastError_ = WSAEINVAL;
        RaiseException("listen: address not assigned");
        return;
    }
    sockapi::Endpoint local;
    int protocol = kProtocolTcp;
    if (!ResolveForUse("listen", addr_, port_, local, protocol)) return;
    const bool stream = protocol != kProtocolUdp;
    DeleteBufferedData();
    streamSocket_ = stream;
    if (const int error = sockapi::Create(stream ? sockapi::Kind::Stream : sockapi::Kind::Datagram, 0, fd_); error != 0) {
        fd_ = -1;
        SocketErrorNumber(error, "socket");
        return;
    }
    // A listener restarted right after a stop must not wait out the old connections' TIME_WAIT.
    if (stream) sockapi::SetReuseAddress(fd_, true);
    if (!stream && reuseAddr_)
        if (const int error = sockapi::SetReuseAddress(fd_, true); error != 0)
            return SocketErrorNumber(error, "setsockopt(SO_REUSEADDR)");
    if (const int error = sockapi::Bind(fd_, local); error != 0) {
        lastError_ = error;
        const int saved = error;
        Close();
        SocketErrorNumber(saved, "Bind");
        return;
    }
    ChangeState(wsBound);
    if (!stream && multiCast_) {
        std::uint32_t group = 0;
        try {
            group = WSocketResolveHost(multiCastAddrStr_);
        } catch (const ESocketException& e) {
            RaiseException(std::string("listen: ") + e.what());
            return;
        }
        if (const int error = sockapi::JoinMulticastGroup(fd_, group); error != 0)
            return SocketErrorNumber(error, "setsockopt(IP MULTICAST)");
    }
    if (stream) {
        if (const int error = sockapi::Listen(fd_, listenBacklog_); error != 0) return SocketErrorNumber(error, "Listen");
        listeningStream_ = true;
        ChangeState(wsListening);
        RequestNotifications();
    } else {
        ChangeState(wsListening);
        ChangeState(wsConnected);
        RequestNotifications();
        TriggerSessionConnected(0);
    }
}

int TCustomWSocket::Accept()
{
    if (state_ != wsListening) {
        lastError_ = WSAEINVAL;
        RaiseException("not a listening socket");
        return -1;
    }
    int handle = -1;
    if (const int error = sockapi::Accept(fd_, handle, acceptedPeer_); error != 0) {
        lastError_ = error;
        if (error != WSAEWOULDBLOCK) SocketErrorNumber(error, "Accept");
        return -1;
    }
    return handle;
}

void TCustomWSocket::Dup(int handle)
{
    if (handle <= 0) {
        lastError_ = WSAEINVAL;
        SocketErrorNumber(WSAEINVAL, "Dup");
        return;
    }
    if (state_ != wsClosed || fd_ >= 0) {
        if (fd_ >= 0) {
            StopWatching();
            const int error = sockapi::Close(fd_);
            fd_ = -1;
            DropFileRange();
            DropSecureChannel();
            if (error != 0) {
                ChangeState(wsClosed);
                SocketErrorNumber(error, "Dup (closesocket)");
            }
        }
        ChangeState(wsClosed);
    }
    fd_ = handle;
    streamSocket_ = true;
    ApplyLinger();
    // An accepted connection honours the send-delay option too: a server that answers in whole
    // replies sets it, so that a short reply is not held back until the peer has acknowledged
    // the one before. It only changes timing, so a connection that refuses it is kept.
    if ((options_ & wsoTcpNoDelay) != 0) sockapi::SetNoDelay(fd_, true);
    RequestNotifications();
    ChangeState(wsConnected);
}

// ---- sending ------------------------------------------------------------------------------------

void TCustomWSocket::PutDataInSendBuffer(const void* data, int len)
{
    if (len <= 0) return;
    const char* bytes = static_cast<const char*>(data);
    // Bytes queued while a file waits go out after it.
    std::deque<TBuffer>& queue = fileRange_.remaining > 0 ? afterFile_ : sendBuffer_;
    if (queue.empty()) queue.emplace_back(kSendBlockSize);
    queuedBytes_ += len;
    while (len > 0) {
        const int taken = queue.back().Write(bytes, len);
        bytes += taken;
        len -= taken;
        if (len > 0) queue.emplace_back(kSendBlockSize);
    }
    allSent_ = false;
}

int TCustomWSocket::Send(const void* data, int len)
{
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
    if (SendBufferEmpty() && !SecureHandshaking()) {
        // Nothing is queued ahead of these bytes: offer them to the stack straight from the
        // caller's memory, and copy into the send buffer only what it does not take.
        int sent = 0;
        const sockapi::Slice whole{rest, restLen};
        if (StreamSend(&whole, 1, sendFlags_ == wsSendUrgent, sent) == 0 && sent > 0) {
            rest += sent;
            restLen -= sent;
            TriggerSendData(sent);
            if (fd_ < 0) return len;  // a handler closed the socket
        }
        // A failure is met again, and handled, by TryToSend below.
    }
    PutDataInSendBuffer(rest, restLen);
    if (restLen == 0) allSent_ = SendBufferEmpty();
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
    if (!SendBufferEmpty()) TryToSend();  // what PutDataInSendBuffer queued goes first
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
    const auto refuse = [this](int error) {
        lastError_ = error;
        SocketErrorNumber(error, "SendFile");
        return -1LL;
    };
    if (state_ != wsConnected) return refuse(WSAENOTCONN);
    if (!streamSocket_ || sendFlags_ != wsSendNormal) return refuse(WSAEOPNOTSUPP);
    if (fileRange_.remaining > 0) return refuse(WSAEALREADY);
    fileBytesSent_ = 0;
    if (fileHandle < 0 || offset < 0) return refuse(WSAEINVAL);
    if (count <= 0) return 0;
    allSent_ = false;
    fileRange_ = FileRange{fileHandle, offset, count};
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
    if (fd_ < 0 || (sendBuffer_.empty() && fileRange_.remaining == 0)) return;
    if (secure_ != nullptr && secureState_ == SecureState::Handshaking) return;  // it waits for the handshake
    for (;;) {
        if (!SendQueuedBlocks()) return;
        if (fileRange_.remaining == 0) {
            allSent_ = true;
            return;
        }
        if (!SendFileRange()) return;
        // The file has gone: the blocks queued behind it are next.
        for (TBuffer& block : afterFile_) sendBuffer_.push_back(std::move(block));
        afterFile_.clear();
        if (fd_ < 0) return;
    }
}

// True once every queued block has gone to the stack; false while the stack is full, or when the
// connection failed or a handler closed the socket.
bool TCustomWSocket::SendQueuedBlocks()
{
    if (sendBuffer_.empty()) return true;
    for (;;) {
        // Drained blocks at the front are freed while more follow; the last one stays for reuse.
        while (sendBuffer_.size() > 1 && sendBuffer_.front().Unread() == 0) sendBuffer_.pop_front();
        if (sendBuffer_.front().Unread() == 0) return true;
        // The unread blocks go to the stack together, in order, in one call: a large Send costs
        // one system call per 64 blocks instead of one per 1460 bytes, and the stack sees full
        // segments instead of small writes that the send delay would hold back.
        sockapi::Slice slices[sockapi::kMaxSlices];
        int count = 0, offered = 0;
        for (auto it = sendBuffer_.begin(); it != sendBuffer_.end() && count < sockapi::kMaxSlices; ++it) {
            int len = 0;
            const char* data = it->Peek(len);
            if (len == 0) continue;
            slices[count++] = sockapi::Slice{data, len};
            offered += len;
        }
        const bool urgent = sendFlags_ == wsSendUrgent;
        int sent = 0;
        const int error = StreamSend(slices, count, urgent, sent);
        if (error == 0) {
            if (sent == 0) return false;
            MarkSent(sent);
            TriggerSendData(sent);
            if (fd_ < 0 || sendBuffer_.empty()) return false;  // a handler closed the socket
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
    while (fileRange_.remaining > 0) {
        long long sent = 0;
        const int error = StreamSendFile(fileRange_.handle, fileRange_.offset, fileRange_.remaining, sent);
        if (error != 0) {
            if (error != WSAEWOULDBLOCK) SendFailed(error);
            return false;
        }
        if (sent == 0) break;  // the file is shorter than announced: the send ends with it
        fileRange_.offset += sent;
        fileRange_.remaining -= sent;
        fileBytesSent_ += sent;
        TriggerSendData(static_cast<int>(sent));
        if (fd_ < 0) return false;  // a handler closed the socket
    }
    fileRange_ = FileRange{};
    return true;
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

void TCustomWSocket::DropFileRange()
{
    fileRange_ = FileRange{};
    afterFile_.clear();
}

bool TCustomWSocket::SendBufferEmpty() const
{
    // Blocks drain front to back, so the buffer is empty exactly when its last block is; blocks
    // wait behind a file only while the file does.
    return (sendBuffer_.empty() || sendBuffer_.back().Unread() == 0) && fileRange_.remaining == 0;
}

void TCustomWSocket::MarkSent(int sent)
{
    queuedBytes_ -= sent;
    for (auto it = sendBuffer_.begin(); sent > 0 && it != sendBuffer_.end(); ++it) {
        const int taken = std::min(sent, it->Unread());
        it->Remove(taken);
        sent -= taken;
    }
}

void TCustomWSocket::DeleteBufferedData()
{
    sendBuffer_.clear();
    afterFile_.clear();
    queuedBytes_ = 0;
    DropFileRange();
    allSent_ = true;
}

// ---- receiving ----------------------------------------------------------------------------------

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

// ---- readiness ----------------------------------------------------------------------------------

void TCustomWSocket::OnReadiness(std::uint32_t events)
{
    if (paused_ || fd_ < 0) return;
    std::weak_ptr<bool> alive = alive_;
    auto stillHere = [&alive] {
        auto token = alive.lock();
        return token && *token;
    };
    if (state_ == wsConnecting) {
        if ((events & (EventLoop::IoWritable | EventLoop::IoError | EventLoop::IoHangup | EventLoop::IoReadable)) == 0) return;
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
    if (events & EventLoop::IoReadable || (secure_ != nullptr && secure_->WantsWritable() && (events & EventLoop::IoWritable))) {
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

// ---- closing ------------------------------------------------------------------------------------

void TCustomWSocket::InternalClose(bool shutdownFirst, std::uint16_t error)
{
    if (state_ == wsClosed && fd_ >= 0) return;
    if (fd_ >= 0) {
        // The closing alert tells the peer that the data ended here and was not cut off; a peer
        // that sent its own waits for it, also when the close is an abort.
        if (Secure() && state_ == wsConnected && (shutdownFirst || secure_->PeerClosed())) secure_->Shutdown();
        if (shutdownFirst && streamSocket_ && state_ == wsConnected) sockapi::Shutdown(fd_, 1);
        StopWatching();
        const int closeError = sockapi::Close(fd_);
        fd_ = -1;
        DropSecureChannel();
        // The file's owner may close it as soon as the connection is gone.
        DropFileRange();
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
        } catch (...) {
        }
        return;
    }
    if (state_ != wsClosed) {
        ChangeState(wsClosed);
        try {
            AssignDefaultValue();
        } catch (...) {
        }
    }
}

void TCustomWSocket::Close() { InternalClose(true, 0); }

void TCustomWSocket::CloseGracefully()
{
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
    CancelDnsLookup();
    DeleteBufferedData();
    lingerOnOff_ = wsLingerOff;
    if (fd_ >= 0 && streamSocket_ && state_ == wsConnected) sockapi::SetLinger(fd_, false, 0);
    InternalClose(false, 0);
}

void TCustomWSocket::CloseDelayed()
{
    PostSelf([](TCustomWSocket* self) { self->Close(); });
}

void TCustomWSocket::Release()
{
    PostSelf([](TCustomWSocket* self) { delete self; });
}

void TCustomWSocket::Shutdown(int how)
{
    if (fd_ >= 0) sockapi::Shutdown(fd_, how);
}

void TCustomWSocket::MessagePump() { ProcessMessages(); }

void TCustomWSocket::ProcessMessages()
{
    if (loop_ == nullptr) return;
    EventLoop* loop = loop_;
    loop->ProcessMessages();
    // The quit request is left for the MessageLoop that runs further up the stack, if any.
    if (loop->QuitRequested()) terminated_ = true;
}

void TCustomWSocket::MessageLoop()
{
    if (loop_ != nullptr) loop_->MessageLoop();
}

void TCustomWSocket::Flush()
{
    if (loop_ == nullptr) return;
    std::weak_ptr<bool> alive = alive_;
    loop_->RunUntil([&] {
        auto token = alive.lock();
        return !token || !*token || fd_ < 0 || allSent_;
    });
}

void TCustomWSocket::WaitForClose()
{
    if (loop_ == nullptr) return;
    std::weak_ptr<bool> alive = alive_;
    loop_->RunUntil([&] {
        auto token = alive.lock();
        return !token || !*token || state_ == wsClosed;
    });
}

void TCustomWSocket::Pause()
{
    if (paused_) return;
    paused_ = true;
    StopWatching();
}

void TCustomWSocket::Resume()
{
    if (!paused_) return;
    paused_ = false;
    if (fd_ >= 0) RequestNotifications();
}

// ---- name lookups --------------------------------------------------------------------------------

void TCustomWSocket::TriggerDNSLookupDone(std::uint16_t error)
{
    if (OnDnsLookupDone) OnDnsLookupDone(this, error);
}

void TCustomWSocket::DnsLookup(const std::string& hostName)
{
    if (hostName.empty()) {
        RaiseException("DNS lookup: invalid host name.");
        TriggerDNSLookupDone(WSAEINVAL);
        return;
    }
    if (loop_ == nullptr) {
        RaiseException("DnsLookup: Window not assigned");
        return;
    }
    CancelDnsLookup();
    dnsResult_.clear();
    dnsResultList_.clear();
    if (WSocketIsDottedIP(hostName)) {
        dnsResult_ = DottedAddress(WSocketResolveHost(hostName));
        dnsResultList_.push_back(dnsResult_);
        TriggerDNSLookupDone(0);
        return;
    }
    StartLookup(DnsLookupRequest::Kind::HostToAddresses, hostName, hostName.c_str());
}

void TCustomWSocket::ReverseDnsLookup(const std::string& hostAddr)
{
    if (hostAddr.empty() || hostAddr.size() > 256) {
        RaiseException("ReverseDnsLookup: Invalid host name.");
        TriggerDNSLookupDone(WSAEINVAL);
        return;
    }
    if (loop_ == nullptr) {
        RaiseException("ReverseDnsLookup: Window not assigned");
        return;
    }
    CancelDnsLookup();
    dnsResult_.clear();
    dnsResultList_.clear();
    StartLookup(DnsLookupRequest::Kind::AddressToName, hostAddr, "ReverseDnsLookup");
}

void TCustomWSocket::StartLookup(DnsLookupRequest::Kind kind, const std::string& query, const char* who)
{
    std::shared_ptr<DnsLookupRequest> request;
    // The completion runs only while this socket exists (the home drops it afterwards) and the
    // request is not cancelled, on the owner thread.
    const int error = DnsLookupRequest::Start(
        kind, query, home_, [this](int result, const std::vector<std::string>& found) { LookupFinished(result, found); },
        request);
    if (error != 0) {
        lastError_ = error;
        RaiseException(std::string(who) + ": can't start DNS lookup, error #" + std::to_string(error));
        return;
    }
    dnsRequest_ = std::move(request);
}

void TCustomWSocket::LookupFinished(int error, const std::vector<std::string>& results)
{
    dnsRequest_.reset();  // the handler may start the next lookup
    if (error == 0 && results.empty()) error = WSANO_DATA;
    if (error == 0) {
        dnsResultList_ = results;
        dnsResult_ = results.front();
    }
    Guarded([&] { TriggerDNSLookupDone(static_cast<std::uint16_t>(error)); });
}

void TCustomWSocket::CancelDnsLookup()
{
    if (!dnsRequest_) return;
    dnsRequest_->Cancel();
    dnsRequest_.reset();
    if (!destroying_) TriggerDNSLookupDone(WSAEINTR);
}

// ---- moving between threads ----------------------------------------------------------------------

void TCustomWSocket::ThreadDetach()
{
    if (loop_ == nullptr) return;  // already detached
    if (!loop_->IsInLoopThread()) {
        RaiseException("Cannot detach from other thread");
        return;
    }
    StopWatching();
    home_->Detach();
    loop_ = nullptr;
}

void TCustomWSocket::ThreadAttach()
{
    if (loop_ != nullptr) {
        RaiseException("Cannot attach when not detached");
        return;
    }
    EventLoop* loop = EventLoop::Current();
    if (loop == nullptr) {
        RaiseException("Cannot create a hidden window for TWSocket");
        return;
    }
    loop_ = loop;
    home_->Attach(loop);
    if (fd_ >= 0 && !paused_) RequestNotifications();
}

}  // namespace corvane
