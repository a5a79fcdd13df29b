// The listening server socket and its per-connection client objects.
//
// TCustomWSocketServer accepts each connection into a new client object (of the class its owner
// chooses through ClientClass), keeps the list of live clients, refuses clients above MaxClients
// with BannerToBusy, and destroys each client after its connection has ended, from a posted
// event, so that a client is never destroyed inside one of its own events.
// Owner thread: the creating thread, like every socket; the clients belong to the same thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/line_wsocket.h"

namespace corvane {

class TCustomWSocketServer;

class TWSocketClient : public TWSocket {
public:
    const std::string& Banner() const { return banner_; }
    void SetBanner(const std::string& banner) { banner_ = banner; }
    TCustomWSocketServer* Server() const { return server_; }
    void SetServer(TCustomWSocketServer* server) { server_ = server; }
    // The peer as it was when the connection was taken over; stays readable after it has gone.
    std::string GetPeerAddr() override { return peerAddr_; }
    std::string GetPeerPort() override { return peerPort_; }

    // Sends Banner followed by LineEnd, when Banner is not empty.
    virtual void StartConnection();
    void Dup(int handle) override;
    // The peer as the listener's accept named it: the next Dup takes it instead of asking the
    // stack again.
    void SetAcceptedPeer(const sockapi::Endpoint& peer) { acceptedPeer_ = peer; }

protected:
    void TriggerSessionClosed(std::uint16_t error) override;

private:
    std::string banner_;
    TCustomWSocketServer* server_ = nullptr;
    std::string peerAddr_, peerPort_;
    std::optional<sockapi::Endpoint> acceptedPeer_;
    bool closedPosted_ = false;
};

class TCustomWSocketServer : public TWSocket {
public:
    using TClientFactory = std::function<std::unique_ptr<TWSocketClient>()>;
    using TClientEvent = std::function<void(TCustomWSocketServer* sender, TWSocketClient* client)>;
    using TClientErrorEvent =
        std::function<void(TCustomWSocketServer* sender, TWSocketClient* client, std::uint16_t error)>;

    TCustomWSocketServer();
    ~TCustomWSocketServer() override;

    const std::string& Banner() const { return banner_; }
    void SetBanner(const std::string& banner) { banner_ = banner; }
    const std::string& BannerToBusy() const { return bannerToBusy_; }
    void SetBannerToBusy(const std::string& banner) { bannerToBusy_ = banner; }
    int MaxClients() const { return maxClients_; }
    void SetMaxClients(int max) { maxClients_ = max; }
    // Makes the client objects; TWSocketClient by default.
    TClientFactory ClientClass;

    virtual int GetClientCount() const { return static_cast<int>(clients_.size()); }
    int ClientCount() const { return GetClientCount(); }
    // The clients that still hold a slot: one closed already waits only to be freed.
    int OpenClientCount() const;
    // The client at an index, or nullptr for an index outside the list.
    virtual TWSocketClient* GetClient(int index) const;
    TWSocketClient* Client(int index) const { return GetClient(index); }
    bool IsClient(const TWSocketClient* client) const;

    TClientEvent OnClientCreate;
    TClientErrorEvent OnClientConnect;
    TClientErrorEvent OnClientDisconnect;

protected:
    friend class TWSocketClient;
    void TriggerSessionAvailable(std::uint16_t error) override;
    virtual void TriggerClientCreate(TWSocketClient* client);
    virtual void TriggerClientConnect(TWSocketClient* client, std::uint16_t error);
    virtual void TriggerClientDisconnect(TWSocketClient* client, std::uint16_t error);
    // Posted by a client whose session has ended.
    void ClientClosed(TWSocketClient* client);

private:
    void DestroyClient(TWSocketClient* client);

    std::string banner_ = "Welcome to TcpSrv";
    std::string bannerToBusy_ = "Sorry, too many clients";
    int maxClients_ = 0;
    unsigned long long connectionCounter_ = 0;
    std::vector<std::unique_ptr<TWSocketClient>> clients_;
};

class TWSocketServer : public TCustomWSocketServer {};

}  // namespace corvane
