// TCustomWSocket: the local and remote endpoints of the handle, as the stack reports them.

#include "net/custom_wsocket.h"

#include "net/wsocket_functions.h"
#include "platform/win_errors.h"

namespace corvane {

int TCustomWSocket::GetSockName(sockapi::Endpoint& local)
{
    return fd_ < 0 ? WSAENOTSOCK : sockapi::LocalEndpoint(fd_, local);
}

int TCustomWSocket::GetPeerName(sockapi::Endpoint& peer)
{
    return fd_ < 0 ? WSAENOTSOCK : sockapi::PeerEndpoint(fd_, peer);
}

std::string TCustomWSocket::GetPeerAddr()
{
    sockapi::Endpoint peer;
    if (state_ != wsConnected || GetPeerName(peer) != 0) return "error";
    return EndpointAddressText(peer);
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
    return EndpointAddressText(local);
}

std::string TCustomWSocket::GetXPort()
{
    sockapi::Endpoint local;
    if ((state_ != wsBound && state_ != wsConnected && state_ != wsListening) || GetSockName(local) != 0)
        return "error";
    return std::to_string(local.port);
}

}  // namespace corvane
