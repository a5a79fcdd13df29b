// THttpServer: the web server's engine. It listens through a TWSocketServer (no greeting is
// sent), makes one THttpConnection (or the owner's subclass) per browser connection, binds each
// connection's request events to its own, and closes connections that stay silent or stall
// beyond the limits of THttpLimits (checked once a second).
//
// Owner thread: the thread that creates it; every event runs there.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "common/thread_owner.h"
#include "http/http_connection.h"
#include "net/wsocket_server.h"
#include "platform/event_loop.h"

namespace corvane {

class THttpServer {
public:
    using TServerEvent = std::function<void(THttpServer* sender)>;
    using TClientEvent = std::function<void(THttpServer* sender, THttpConnection* client, std::uint16_t error)>;
    using TDocumentEvent = std::function<void(THttpServer* sender, THttpConnection* client, THttpGetFlag& flags)>;
    using TConnectionFactory = std::function<std::unique_ptr<THttpConnection>()>;

    THttpServer();
    virtual ~THttpServer();
    THttpServer(const THttpServer&) = delete;
    THttpServer& operator=(const THttpServer&) = delete;

    // Setting Addr or Port to a new value while listening closes the listener and listens again.
    const std::string& Addr() const { return addr_; }
    void SetAddr(const std::string& addr);
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& port);
    std::string DocDir = "c:\\wwwroot";
    std::string DefaultDoc = "index.htm";
    int MaxClients = 0;
    TSocketLingerOnOff LingerOnOff = wsLingerNoSet;
    int LingerTimeout = 0;
    THttpLimits Limits;
    // Makes the connection objects; THttpConnection unless the owner substitutes its own class.
    TConnectionFactory ClientClass;

    TServerEvent OnServerStarted, OnServerStopped;
    TClientEvent OnClientConnect, OnClientDisconnect, OnPostedData;
    TDocumentEvent OnGetDocument, OnHeadDocument, OnPostDocument;

    // HTTPS: a second listener, on SecurePort (empty: none), whose connections go through a
    // secure channel from the maker before their first request; its handshake is bounded by
    // the header limit. The maker is asked at each connection, so a renewed certificate serves
    // the next one. Both listeners' connections are the engine's clients, plain ones first.
    const std::string& SecurePort() const { return securePort_; }
    void SetSecurePort(const std::string& port) { securePort_ = port; }
    void SetSecureChannelMaker(TSecureChannelMaker maker) { secureMaker_ = std::move(maker); }
    bool SecureListening() const;
    std::string BoundSecurePort() const;
    // Why the secure listener is not listening after a Start that asked for it; empty otherwise.
    const std::string& SecureFailure() const { return secureFailure_; }

    int ClientCount() const;
    // The connections that still hold a slot (see TCustomWSocketServer::OpenClientCount).
    int OpenClientCount() const { return listener_ ? listener_->OpenClientCount() : 0; }
    THttpConnection* Client(int index) const;
    bool IsClient(const THttpConnection* client) const;
    // The connected connection of that number (THttpConnection::Number), or nullptr once it has
    // gone: an answer that arrives late finds its connection without a walk over all of them.
    THttpConnection* ClientByNumber(long long number) const;
    bool Listening() const;
    // The port the listener is bound to ("0" asks the stack for a free one).
    std::string BoundPort() const;

    // Trigger operations, in the system's slot order.
    virtual void TriggerServerStarted();
    virtual void TriggerServerStopped();
    virtual void TriggerClientConnect(THttpConnection* client, std::uint16_t error);
    virtual void TriggerClientDisconnect(THttpConnection* client, std::uint16_t error);
    virtual void TriggerGetDocument(THttpConnection* client, THttpGetFlag& flags);
    virtual void TriggerHeadDocument(THttpConnection* client, THttpGetFlag& flags);
    virtual void TriggerPostDocument(THttpConnection* client, THttpGetFlag& flags);
    virtual void TriggerPostedData(THttpConnection* client, std::uint16_t error);
    // Raises ESocketException when the listener cannot listen.
    virtual void Start();
    // Closes the listener, then aborts every connection, last to first.
    virtual void Stop();

private:
    void SetUpListener(TWSocketServer& listener, const std::string& port, bool secure);
    void StartSecureListener();
    void SecureConnection(THttpConnection& client);
    void AbortClients(TWSocketServer& listener);
    void PrepareConnection(THttpConnection& client);
    void SweepTimeouts();
    void StopSweep();

    std::string addr_ = "0.0.0.0";
    std::string port_ = "80";
    std::unique_ptr<TWSocketServer> listener_;
    std::string securePort_;
    TSecureChannelMaker secureMaker_;
    std::unique_ptr<TWSocketServer> secureListener_;
    std::string secureFailure_;
    EventLoop* loop_ = nullptr;
    // The connections between their connect and disconnect events, by number.
    std::unordered_map<long long, THttpConnection*> byNumber_;
    EventLoop::TimerId sweepTimer_ = 0;
    bool sweeping_ = false;
    ThreadOwner owner_;
};

}  // namespace corvane
