#include "net/wsocket_server.h"

#include <algorithm>

#include "net/wsocket_functions.h"

namespace corvane {

void TWSocketClient::StartConnection()
{
    if (!banner_.empty()) SendStr(banner_ + LineEnd());
}

void TWSocketClient::Dup(int handle)
{
    TWSocket::Dup(handle);
    // Both halves of the peer's address from one question to the stack, or from none when the
    // accept named the peer already.
    sockapi::Endpoint peer;
    const bool known = acceptedPeer_.has_value();
    if (known) peer = *acceptedPeer_;
    acceptedPeer_.reset();
    if (State() == wsConnected && (known || GetPeerName(peer) == 0)) {
        peerAddr_ = EndpointAddressText(peer);
        peerPort_ = std::to_string(peer.port);
    } else {
        peerAddr_ = peerPort_ = "error";
    }
}

void TWSocketClient::TriggerSessionClosed(std::uint16_t error)
{
    if (!closedPosted_ && server_ != nullptr) {
        closedPosted_ = true;
        TCustomWSocketServer* server = server_;
        server->PostSelf(
            [this](TCustomWSocket* self) { static_cast<TCustomWSocketServer*>(self)->ClientClosed(this); });
    }
    TWSocket::TriggerSessionClosed(error);
}

TCustomWSocketServer::TCustomWSocketServer()
{
    ClientClass = [] { return std::make_unique<TWSocketClient>(); };
}

TCustomWSocketServer::~TCustomWSocketServer()
{
    while (!clients_.empty()) {
        try {
            clients_.back()->SetServer(nullptr);
            clients_.pop_back();
        } catch (...) {}
    }
}

TWSocketClient* TCustomWSocketServer::GetClient(int index) const
{
    if (index < 0 || index >= static_cast<int>(clients_.size())) return nullptr;
    return clients_[static_cast<std::size_t>(index)].get();
}

bool TCustomWSocketServer::IsClient(const TWSocketClient* client) const
{
    return std::any_of(clients_.begin(), clients_.end(), [client](const auto& c) { return c.get() == client; });
}

void TCustomWSocketServer::TriggerClientCreate(TWSocketClient* client)
{
    if (OnClientCreate) OnClientCreate(this, client);
}
void TCustomWSocketServer::TriggerClientConnect(TWSocketClient* client, std::uint16_t error)
{
    if (OnClientConnect) OnClientConnect(this, client, error);
}
void TCustomWSocketServer::TriggerClientDisconnect(TWSocketClient* client, std::uint16_t error)
{
    if (OnClientDisconnect) OnClientDisconnect(this, client, error);
}

void TCustomWSocketServer::TriggerSessionAvailable(std::uint16_t error)
{
    TWSocket::TriggerSessionAvailable(error);
    if (error != 0 || State() != wsListening) return;
    const int handle = Accept();
    if (handle < 0) return;  // the waiting connection went away meanwhile
    ++connectionCounter_;
    clients_.push_back(ClientClass());
    TWSocketClient* client = clients_.back().get();
    TriggerClientCreate(client);
    client->SetName(Name() + "Client" + std::to_string(connectionCounter_));
    client->SetBanner(banner_);
    client->SetServer(this);
    client->SetAcceptedPeer(AcceptedPeer());
    client->Dup(handle);
    TriggerClientConnect(client, error);
    if (!IsClient(client) || client->State() != wsConnected) return;
    if (maxClients_ >= 1 && ClientCount() > maxClients_ && OpenClientCount() > maxClients_) {
        client->SetBanner(bannerToBusy_);
        client->StartConnection();
        client->CloseGracefully();
    } else {
        client->StartConnection();
    }
}

int TCustomWSocketServer::OpenClientCount() const
{
    return static_cast<int>(
        std::count_if(clients_.begin(), clients_.end(), [](const auto& c) { return c->State() != wsClosed; }));
}

void TCustomWSocketServer::ClientClosed(TWSocketClient* client)
{
    if (!IsClient(client)) return;
    try {
        TriggerClientDisconnect(client, 0);
    } catch (...) {
        // The client is destroyed whatever its disconnect handler did.
    }
    DestroyClient(client);
}

void TCustomWSocketServer::DestroyClient(TWSocketClient* client)
{
    auto it = std::find_if(clients_.begin(), clients_.end(), [client](const auto& c) { return c.get() == client; });
    if (it == clients_.end()) return;
    std::unique_ptr<TWSocketClient> doomed = std::move(*it);
    clients_.erase(it);
    doomed->SetServer(nullptr);
}

}  // namespace corvane
