#include "http/http_server.h"

namespace corvane {

THttpServer::THttpServer()
{
    ClientClass = [] { return std::make_unique<THttpConnection>(); };
}

THttpServer::~THttpServer()
{
    StopSweep();
    if (listener_) {
        listener_->OnSessionClosed = nullptr;
        listener_->OnClientDisconnect = nullptr;
    }
}

void THttpServer::SetAddr(const std::string& addr)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (addr == addr_) return;
    addr_ = addr;
    if (Listening()) {
        listener_->Close();
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
    return listener_ ? listener_->ClientCount() : 0;
}

THttpConnection* THttpServer::Client(int index) const
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    return listener_ ? static_cast<THttpConnection*>(listener_->Client(index)) : nullptr;
}

bool THttpServer::IsClient(const THttpConnection* client) const
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    return listener_ && listener_->IsClient(client);
}

THttpConnection* THttpServer::ClientByNumber(long long number) const
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    const auto found = byNumber_.find(number);
    return found == byNumber_.end() ? nullptr : found->second;
}

bool THttpServer::Listening() const { return listener_ && listener_->State() == wsListening; }

std::string THttpServer::BoundPort() const { return Listening() ? listener_->GetXPort() : std::string(); }

void THttpServer::Start()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (!listener_) listener_ = std::make_unique<TWSocketServer>();
    if (listener_->State() == wsListening) return;
    listener_->ClientClass = [this] {
        std::unique_ptr<THttpConnection> connection = ClientClass();
        // The linger setting applies when the connection is taken over, so it is given here:
        // a socket's own default (on, 0 s) would end every close with a reset.
        connection->SetLingerOnOff(LingerOnOff);
        connection->SetLingerTimeout(LingerTimeout);
        return std::unique_ptr<TWSocketClient>(std::move(connection));
    };
    listener_->OnClientConnect = [this](TCustomWSocketServer*, TWSocketClient* client, std::uint16_t error) {
        auto* connection = static_cast<THttpConnection*>(client);
        PrepareConnection(*connection);
        if (connection->Number() != 0) byNumber_[connection->Number()] = connection;
        TriggerClientConnect(connection, error);
    };
    listener_->OnClientDisconnect = [this](TCustomWSocketServer*, TWSocketClient* client, std::uint16_t) {
        auto* connection = static_cast<THttpConnection*>(client);
        byNumber_.erase(connection->Number());
        TriggerClientDisconnect(connection, connection->CloseError());
    };
    listener_->OnSessionClosed = [this](TCustomWSocket*, std::uint16_t) { TriggerServerStopped(); };
    listener_->SetBanner("");
    listener_->SetProto("tcp");
    listener_->SetPort(port_);
    listener_->SetAddr(addr_);
    listener_->SetMaxClients(MaxClients);
    // Browsers open several connections at once, and a busy server sees bursts of them.
    listener_->SetListenBacklog(1024);
    listener_->Listen();
    loop_ = EventLoop::Current();
    if (loop_ != nullptr && !sweeping_) {
        sweepTimer_ = loop_->AddTimer(std::chrono::seconds(1), std::chrono::seconds(1), [this] { SweepTimeouts(); });
        sweeping_ = true;
    }
    TriggerServerStarted();
}

void THttpServer::Stop()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    StopSweep();
    if (!listener_) return;
    listener_->Close();
    // Each connection is ended and reported here, not from the listener's posted events: the
    // owner usually frees the engine right after Stop, and those events would then be lost.
    for (int i = listener_->ClientCount() - 1; i >= 0; --i) {
        auto* client = static_cast<THttpConnection*>(listener_->Client(i));
        if (client == nullptr) continue;
        try {
            client->Abort();
            byNumber_.erase(client->Number());
            TriggerClientDisconnect(client, client->CloseError());
        } catch (...) {
            // A connection that fails to go is destroyed with the listener all the same.
        }
    }
    listener_->OnSessionClosed = nullptr;
    listener_.reset();
    byNumber_.clear();
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
