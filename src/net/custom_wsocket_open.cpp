// TCustomWSocket: making the handle. Connect and Listen create and configure it from the
// socket's properties; Accept takes a waiting connection off a listener and Dup adopts one.

#include "net/custom_wsocket.h"

#include "net/wsocket_functions.h"
#include "platform/win_errors.h"

namespace corvane {

namespace {

constexpr int kProtocolTcp = 6;
constexpr int kProtocolUdp = 17;

bool IsUnspecified(const sockapi::Endpoint& e)
{
    if (!e.v6) return e.address == 0;
    for (std::uint8_t b : e.address6)
        if (b != 0) return false;
    return true;
}

// The unspecified local address of the remote's family, for "any local address" texts.
sockapi::Endpoint AnyOfFamily(bool v6, int port)
{
    sockapi::Endpoint any;
    any.v6 = v6;
    any.port = port;
    return any;
}

}  // namespace

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

void TCustomWSocket::Connect()
{
    AssertOwnerThread();
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
        const int localPort = WSocketResolvePort(localPort_.empty() ? "0" : localPort_, proto_);
        local = IsAnyAddressText(localAddr_) ? AnyOfFamily(remote.v6, 0) : WSocketResolveEndpoint(localAddr_);
        local.port = localPort;
    } catch (const ESocketException& e) {
        RaiseException(std::string("connect: ") + e.what());
        return;
    }
    if (local.v6 != remote.v6) {
        lastError_ = WSAEAFNOSUPPORT;
        RaiseException("connect: local address " + localAddr_ + " is not of the remote address's family");
        return;
    }
    DeleteBufferedData();
    streamSocket_ = stream;
    sendingShut_ = false;
    if (const int error = sockapi::Create(kind, kind == sockapi::Kind::Raw ? protocol : 0, fd_, remote.v6);
        error != 0) {
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
        if (const int error = sockapi::SetReuseAddress(fd_, true); error != 0)
            return SocketErrorNumber(error, "setsockopt(SO_REUSEADDR)");
        if ((options_ & wsoTcpNoDelay) != 0)
            if (const int error = sockapi::SetNoDelay(fd_, true); error != 0)
                return SocketErrorNumber(error, "setsockopt(IPPROTO_TCP, TCP_NODELAY)");
        ApplyLinger();
        if (const int error = sockapi::SetKeepAlive(fd_, true); error != 0)
            return SocketErrorNumber(error, "setsockopt(SO_KEEPALIVE)");
    }
    if (!stream || local.port != 0 || !IsUnspecified(local)) {
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
        if (!remote.v6 && remote.address == 0xFFFFFFFFu)
            if (const int error = sockapi::SetBroadcast(fd_, true); error != 0)
                return SocketErrorNumber(error, "setsockopt(SO_BROADCAST)");
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
    AssertOwnerThread();
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
    // "Every address" is both families for a stream listener: one IPv6 socket that takes IPv4
    // clients too, or an IPv4 socket alone where the host has no IPv6.
    const bool anyAddress = IsAnyAddressText(addr_);
    if (!ResolveForUse("listen", anyAddress ? std::string("0.0.0.0") : addr_, port_, local, protocol)) return;
    const bool stream = protocol != kProtocolUdp;
    DeleteBufferedData();
    streamSocket_ = stream;
    sendingShut_ = false;
    const sockapi::Kind kind = stream ? sockapi::Kind::Stream : sockapi::Kind::Datagram;
    int created = WSAEAFNOSUPPORT;
    if (stream && anyAddress) {
        created = sockapi::Create(kind, 0, fd_, true);
        if (created == 0) local = AnyOfFamily(true, local.port);
    }
    if (created != 0) created = sockapi::Create(kind, 0, fd_, local.v6);
    if (created != 0) {
        fd_ = -1;
        SocketErrorNumber(created, "socket");
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
        if (const int error = sockapi::Listen(fd_, listenBacklog_); error != 0)
            return SocketErrorNumber(error, "Listen");
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
    AssertOwnerThread();
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
            sendingShut_ = false;
            sendQueue_.DropFile();
            DropSecureChannel();
            if (error != 0) {
                ChangeState(wsClosed);
                SocketErrorNumber(error, "Dup (closesocket)");
            }
        }
        ChangeState(wsClosed);
    }
    fd_ = handle;
    sendingShut_ = false;
    streamSocket_ = true;
    ApplyLinger();
    // An accepted connection honours the send-delay option too: a server that answers in whole
    // replies sets it, so that a short reply is not held back until the peer has acknowledged
    // the one before. It only changes timing, so a connection that refuses it is kept.
    if ((options_ & wsoTcpNoDelay) != 0) sockapi::SetNoDelay(fd_, true);
    RequestNotifications();
    ChangeState(wsConnected);
}

}  // namespace corvane
