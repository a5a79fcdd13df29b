#include "http/http_server.h"

#include <exception>

namespace corvane {

THttpServer::THttpServer()
{
    ClientClass = [] { return std::make_unique<THttpConnection>(); };
}

THttpServer::~THttpServer()
{
    StopSweep();
    for (TWSocketServer* listener : {listener_.get(), secureListener_.get()}) {
        if (listener == nullptr) continue;
        listener->OnSessionClosed = nullptr;
        listener->OnClientDisconnect = nullptr;
    }
}

void THttpServer::SetAddr(const std::string& addr)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (addr == addr_) return;
    addr_ = addr;
    if (Listening()) {
        listener_->Close();
        if (secureListener_) secureListener_->Close();
        Start();
    }
}

void THttpServer::SetPort(const std::string& port)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (port == port_) return;
    port_ = port;
    if (Listening()) {
        listener_->Close();
        Start();
    }
}

int THttpServer::ClientCount() const
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    return (listener_ ? listener_->ClientCount() : 0) + (secureListener_ ? secureListener_->ClientCount() : 0);
}

THttpConnection* THttpServer::Client(int index) const
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    const int plain = listener_ ? listener_->ClientCount() : 0;
    if (index < plain) return static_cast<THttpConnection*>(listener_->Client(index));
    return secureListener_ ? static_cast<THttpConnection*>(secureListener_->Client(index - plain)) : nullptr;
}

bool THttpServer::IsClient(const THttpConnection* client) const
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    return (listener_ && listener_->IsClient(client)) || (secureListener_ && secureListener_->IsClient(client));
}

THttpConnection* THttpServer::ClientByNumber(long long number) const
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    const auto found = byNumber_.find(number);
    return found == byNumber_.end() ? nullptr : found->second;
}

bool THttpServer::Listening() const { return listener_ && listener_->State() == wsListening; }

std::string THttpServer::BoundPort() const { return Listening() ? listener_->GetXPort() : std::string(); }

bool THttpServer::SecureListening() const { return secureListener_ && secureListener_->State() == wsListening; }

std::string THttpServer::BoundSecurePort() const
{
    return SecureListening() ? secureListener_->GetXPort() : std::string();
}

void THttpServer::SetUpListener(TWSocketServer& listener, const std::string& port, bool secure)
{
    listener.ClientClass = [this] {
        std::unique_ptr<THttpConnection> connection = ClientClass();
        // The linger setting applies when the connection is taken over, so it is given here:
        // a socket's own default (on, 0 s) would end every close with a reset.
        connection->SetLingerOnOff(LingerOnOff);
        connection->SetLingerTimeout(LingerTimeout);
        return std::unique_ptr<TWSocketClient>(std::move(connection));
    };
    listener.OnClientConnect = [this, secure](TCustomWSocketServer*, TWSocketClient* client, std::uint16_t error) {
        auto* connection = static_cast<THttpConnection*>(client);
        PrepareConnection(*connection);
        if (connection->Number() != 0) byNumber_[connection->Number()] = connection;
        // The channel comes before the owner hears of the connection: whatever it answers at
        // once (a refusal) goes encrypted, after the handshake.
        if (secure && error == 0) SecureConnection(*connection);
        TriggerClientConnect(connection, error);
    };
    listener.OnClientDisconnect = [this](TCustomWSocketServer*, TWSocketClient* client, std::uint16_t) {
        auto* connection = static_cast<THttpConnection*>(client);
        byNumber_.erase(connection->Number());
        TriggerClientDisconnect(connection, connection->CloseError());
    };
    listener.SetBanner("");
    listener.SetProto("tcp");
    listener.SetPort(port);
    listener.SetAddr(addr_);
    listener.SetMaxClients(MaxClients);
    // Browsers open several connections at once, and a busy server sees bursts of them.
    listener.SetListenBacklog(1024);
}

void THttpServer::SecureConnection(THttpConnection& client)
{
    std::unique_ptr<TSecureChannel> channel = secureMaker_ ? secureMaker_(client.HSocket()) : nullptr;
    // Without a channel nothing can be said to the peer that it could read.
    if (channel == nullptr) {
        client.Abort();
        return;
    }
    client.StartSecureChannel(std::move(channel), Limits.headerTimeout);
}

void THttpServer::Start()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (!listener_) listener_ = std::make_unique<TWSocketServer>();
    if (listener_->State() == wsListening) return;
    SetUpListener(*listener_, port_, false);
    listener_->OnSessionClosed = [this](TCustomWSocket*, std::uint16_t) { TriggerServerStopped(); };
    listener_->Listen();
    StartSecureListener();
    loop_ = EventLoop::Current();
    if (loop_ != nullptr && !sweeping_) {
        sweepTimer_ = loop_->AddTimer(std::chrono::seconds(1), std::chrono::seconds(1), [this] { SweepTimeouts(); });
        sweeping_ = true;
    }
    TriggerServerStarted();
}

// A secure port that cannot listen leaves the plain one serving; the owner reads why.
void THttpServer::StartSecureListener()
{
    secureFailure_.clear();
    if (securePort_.empty()) return;
    if (!secureMaker_) {
        secureFailure_ = "no certificate is available";
        return;
    }
    if (!secureListener_) secureListener_ = std::make_unique<TWSocketServer>();
    if (secureListener_->State() == wsListening) return;
    SetUpListener(*secureListener_, securePort_, true);
    try {
        secureListener_->Listen();
    } catch (const std::exception& e) {
        secureFailure_ = e.what();
        secureListener_.reset();
    }
}

void THttpServer::Stop()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    StopSweep();
    if (secureListener_) {
        secureListener_->Close();
        AbortClients(*secureListener_);
        secureListener_.reset();
    }
    if (!listener_) return;
    listener_->Close();
    AbortClients(*listener_);
    listener_->OnSessionClosed = nullptr;
    listener_.reset();
    byNumber_.clear();
}

// Each connection is ended and reported here, not from the listener's posted events: the owner
// usually frees the engine right after Stop, and those events would then be lost.
void THttpServer::AbortClients(TWSocketServer& listener)
{
    for (int i = listener.ClientCount() - 1; i >= 0; --i) {
        auto* client = static_cast<THttpConnection*>(listener.Client(i));
        if (client == nullptr) continue;
        try {
            client->Abort();
            byNumber_.erase(client->Number());
            TriggerClientDisconnect(client, client->CloseError());
        } catch (...) {
            // A connection that fails to go is destroyed with the listener all the same.
        }
    }
}

void THttpServer::StopSweep()
{
    if (sweeping_ && loop_ != nullptr) loop_->CancelTimer(sweepTimer_);
    sweeping_ = false;
}

void THttpServer::PrepareConnection(THttpConnection& client)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    client.SetLineMode(true);
    client.SetLineEdit(false);
    client.SetLineEnd("\n");
    client.Limits = Limits;
    client.SetLineLimit(Limits.lineLimit);
    client.DocDir = DocDir;
    client.DefaultDoc = DefaultDoc;
    client.OnGetDocument = [this](THttpConnection* c, THttpGetFlag& flags) { TriggerGetDocument(c, flags); };
    client.OnHeadDocument = [this](THttpConnection* c, THttpGetFlag& flags) { TriggerHeadDocument(c, flags); };
    client.OnPostDocument = [this](THttpConnection* c, THttpGetFlag& flags) { TriggerPostDocument(c, flags); };
    client.OnPostedData = [this](THttpConnection* c, std::uint16_t error) { TriggerPostedData(c, error); };
}

void THttpServer::SweepTimeouts()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    const auto now = THttpConnection::Clock::now();
    for (int i = ClientCount() - 1; i >= 0; --i) {
        if (THttpConnection* client = Client(i)) client->CheckTimeouts(now);
    }
}

void THttpServer::TriggerServerStarted()
{
    if (OnServerStarted) OnServerStarted(this);
}
void THttpServer::TriggerServerStopped()
{
    if (OnServerStopped) OnServerStopped(this);
}
void THttpServer::TriggerClientConnect(THttpConnection* client, std::uint16_t error)
{
    if (OnClientConnect) OnClientConnect(this, client, error);
}
void THttpServer::TriggerClientDisconnect(THttpConnection* client, std::uint16_t error)
{
    if (OnClientDisconnect) OnClientDisconnect(this, client, error);
}
void THttpServer::TriggerGetDocument(THttpConnection* client, THttpGetFlag& flags)
{
    if (OnGetDocument) OnGetDocument(this, client, flags);
}
void THttpServer::TriggerHeadDocument(THttpConnection* client, THttpGetFlag& flags)
{
    if (OnHeadDocument) OnHeadDocument(this, client, flags);
}
void THttpServer::TriggerPostDocument(THttpConnection* client, THttpGetFlag& flags)
{
    if (OnPostDocument) OnPostDocument(this, client, flags);
}
void THttpServer::TriggerPostedData(THttpConnection* client, std::uint16_t error)
{
    if (OnPostedData) OnPostedData(this, client, error);
}

}  // namespace corvane
