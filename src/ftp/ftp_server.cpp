// TFtpServer: construction, listening, accepting clients and the client list.
#include "ftp/ftp_server.h"

#include <algorithm>
#include <exception>

namespace corvane {
namespace {

constexpr char kTooManyUsers[] = "421 Too many users connected.";
constexpr long long kControlSendBacklog = 64 * 1024;

}  // namespace

TFtpServer::TFtpServer()
    : loop_(EventLoop::Current())
{
    if (loop_ == nullptr) throw FtpServerException("TFtpServer needs an event loop on its thread");
    serverWSocket_ = std::make_unique<TWSocket>();
    serverWSocket_->SetName("ServerWSocket");
    ClientClass = [] { return std::make_unique<TFtpCtrlSocket>(); };
    FillCommandTable();
    FillExtensionTable();
}

TFtpServer::~TFtpServer()
{
    destroying_ = true;
    *alive_ = false;
    try {
        // The clients go first and silently: none of their events may reach a half-gone server.
        for (auto& client : clientList_) {
            client->OnCommand = nullptr;
            client->OnSessionClosed = nullptr;
            client->OnDataSent = nullptr;
        }
        clientList_.clear();
        clientObjects_.clear();
        retiredClients_.clear();
        serverWSocket_->OnChangeState = nullptr;
        serverWSocket_->OnSessionAvailable = nullptr;
        serverWSocket_.reset();
    } catch (...) {
        // A destructor reports nothing.
    }
}

// ---- listening ------------------------------------------------------------------------------------

void TFtpServer::Start()
{
    loop_->AssertOwnerThread();
    TWSocket& server = *serverWSocket_;
    if (server.State() == wsListening) return;
    if (server.State() != wsClosed) server.Close();  // left half-open by an earlier failed start
    server.SetPort(port_);
    server.SetProto("tcp");
    server.SetAddr(addr_);
    server.OnSessionAvailable = [this](TCustomWSocket*, std::uint16_t error) { ServerSessionAvailable(error); };
    server.OnChangeState = [this](TCustomWSocket*, TSocketState oldState, TSocketState newState) {
        ServerChangeState(oldState, newState);
    };
    server.SetComponentOptions(wsoNoReceiveLoop);
    // A burst of logins (or a hostile crowd) must not overflow the stack's accept queue: the
    // overflow's clients would retry only after a second or more.
    server.SetListenBacklog(kControlListenBacklog);
    server.Listen();
}

void TFtpServer::Stop()
{
    loop_->AssertOwnerThread();
    serverWSocket_->Close();
}

bool TFtpServer::Active() const { return serverWSocket_->State() == wsListening; }

void TFtpServer::SetActive(bool active)
{
    loop_->AssertOwnerThread();
    if (active) Start();
    else Stop();
}

void TFtpServer::ServerChangeState(TSocketState /*oldState*/, TSocketState newState)
{
    if (newState == wsListening) TriggerServerStart();
    else if (newState == wsClosed && !destroying_) TriggerServerStop();
}

// ---- accepting ------------------------------------------------------------------------------------

void TFtpServer::ServerSessionAvailable(std::uint16_t error)
{
    loop_->AssertOwnerThread();
    if (error != 0) throw FtpServerException("Session available error #" + std::to_string(error));
    const int handle = serverWSocket_->Accept();
    if (handle < 0) return;  // the waiting connection went away meanwhile
    ++connectionCounter_;
    const long long number = connectionCounter_;
    std::unique_ptr<TFtpCtrlSocket> created;
    try {
        created = ClientClass();
    } catch (...) {
        sockapi::Close(handle);
        throw;
    }
    if (!created) {
        sockapi::Close(handle);
        throw FtpServerException("The client class made no control connection");
    }
    TFtpCtrlSocket* client = created.get();
    clientList_.push_back(std::move(created));
    clientObjects_.insert(client);
    const std::string suffix = std::to_string(number);
    client->SetName("ClientWSocket" + suffix);
    client->DataWSocket()->SetName("DataWSocket" + suffix);
    client->SetClientNumber(number);
    client->SetBanner(banner_);
    // Every reply is one whole text: none may wait for the client to acknowledge the one before
    // (a "226" right after a "150" would otherwise wait for the client's delayed acknowledgement).
    client->SetComponentOptions(client->ComponentOptions() | wsoTcpNoDelay);
    // A client that sends commands and reads no reply is not read any more once this much of
    // its replies waits: its memory stays bounded whatever it sends.
    client->SetSendBacklogLimit(kControlSendBacklog);
    try {
        client->Dup(handle);
    } catch (...) {
        // One connection that cannot be taken over must not stop the listener; the object owns
        // the handle by now (or never took it) and closes it as it goes.
        auto it =
            std::find_if(clientList_.begin(), clientList_.end(), [client](const auto& c) { return c.get() == client; });
        if (it != clientList_.end()) clientList_.erase(it);
        clientObjects_.erase(client);
        return;
    }
    AttachClientHandlers(client);
    try {
        TriggerClientConnect(client, error);
    } catch (...) {
        // A failing connect handler ends this client only, not the listener.
        if (FindClientByNumber(number) == client) {
            try {
                ClientClosedProcedure(client);
            } catch (...) {}
        }
        return;
    }
    if (FindClientByNumber(number) != client || client->State() != wsConnected) return;
    if (heldStarts_.count(number) != 0) return;  // the owner starts it when it has decided
    StartAcceptedConnection(client);
}

void TFtpServer::StartAcceptedConnection(TFtpCtrlSocket* client)
{
    if (maxClients_ > 0 && ClientCount() > maxClients_) {
        client->SetBanner(kTooManyUsers);
        client->StartConnection();
        // Linger off: the default abortive close could drop the refusal before it leaves.
        client->CloseGracefully();
    } else {
        client->StartConnection();
    }
}

void TFtpServer::HoldConnectionStart(TFtpCtrlSocket* client)
{
    loop_->AssertOwnerThread();
    if (IsClient(client)) heldStarts_.insert(client->ClientNumber());
}

void TFtpServer::StartHeldConnection(TFtpCtrlSocket* client)
{
    loop_->AssertOwnerThread();
    if (!IsClient(client) || heldStarts_.erase(client->ClientNumber()) == 0) return;
    if (client->State() == wsConnected) StartAcceptedConnection(client);
}

void TFtpServer::AttachClientHandlers(TFtpCtrlSocket* client)
{
    client->OnCommand = [this](TFtpCtrlSocket* sender, const char* cmdBuf, int cmdLen) {
        ClientCommand(sender, cmdBuf, cmdLen);
    };
    client->OnSessionClosed = [this](TCustomWSocket* sender, std::uint16_t) {
        PostClientEvent(TFtpPostedEvent::ClientClosed, static_cast<TFtpCtrlSocket*>(sender));
    };
    client->OnDataSent = [this](TCustomWSocket* sender, std::uint16_t) {
        ClientDataSent(static_cast<TFtpCtrlSocket*>(sender));
    };
}

// ---- the client list --------------------------------------------------------------------------------

TFtpCtrlSocket* TFtpServer::GetClient(int index) const
{
    loop_->AssertOwnerThread();
    if (index < 0 || index >= static_cast<int>(clientList_.size())) return nullptr;
    return clientList_[static_cast<std::size_t>(index)].get();
}

bool TFtpServer::IsClient(const void* object) const
{
    loop_->AssertOwnerThread();
    return clientObjects_.count(object) != 0;
}

void TFtpServer::ContinueClientNumbersAfter(long long number)
{
    loop_->AssertOwnerThread();
    connectionCounter_ = std::max(connectionCounter_, number);
}

TFtpCtrlSocket* TFtpServer::FindClientByNumber(long long clientNumber) const
{
    loop_->AssertOwnerThread();
    // Clients join at the end with a growing number and leave without reordering the rest, so
    // ClientList stays sorted by ClientNumber.
    auto it = std::lower_bound(clientList_.begin(), clientList_.end(), clientNumber,
                               [](const auto& client, long long number) { return client->ClientNumber() < number; });
    if (it == clientList_.end() || (*it)->ClientNumber() != clientNumber) return nullptr;
    return it->get();
}

void TFtpServer::Disconnect(TFtpCtrlSocket* client)
{
    loop_->AssertOwnerThread();
    if (!IsClient(client)) throw FtpServerException("Disconnect: Not one of our clients");
    ClientClosedProcedure(client);
}

void TFtpServer::DisconnectAll()
{
    loop_->AssertOwnerThread();
    std::exception_ptr firstFailure;
    while (!clientList_.empty()) {
        try {
            ClientClosedProcedure(clientList_.front().get());
        } catch (...) {
            if (!firstFailure) firstFailure = std::current_exception();
        }
    }
    if (firstFailure) std::rethrow_exception(firstFailure);
}

void TFtpServer::ClientClosedProcedure(TFtpCtrlSocket* client)
{
    std::exception_ptr failure;
    TWSocket* data = client->DataWSocket();
    if (client->DataChannel().DataConnected() && data->OnSessionClosed) {
        try {
            // The transfer in progress ends as failed, with its reply and its closed event.
            data->OnSessionClosed(data, 10057);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    if (!IsClient(client)) {
        if (failure) std::rethrow_exception(failure);
        return;  // the transfer's handlers ended the client already
    }
    // ClientList is sorted by number (see FindClientByNumber).
    const auto it = std::lower_bound(clientList_.begin(), clientList_.end(), client->ClientNumber(),
                                     [](const auto& c, long long number) { return c->ClientNumber() < number; });
    // Whatever is left of its data connection goes with the client: a listener, a connection
    // waiting for a command, a held block, the passive port.
    EndDataOfLeavingClient(client);
    std::unique_ptr<TFtpCtrlSocket> owned = std::move(*it);
    clientList_.erase(it);
    clientObjects_.erase(client);
    heldStarts_.erase(client->ClientNumber());
    try {
        TriggerClientDisconnect(client, 0);
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    RetireClient(std::move(owned));
    if (failure) std::rethrow_exception(failure);
}

void TFtpServer::RetireClient(std::unique_ptr<TFtpCtrlSocket> client)
{
    // This may run inside one of the client's own events (a command handler that disconnects
    // it): the object stays until a posted event frees it, deaf to its sockets meanwhile.
    client->OnCommand = nullptr;
    client->OnSessionClosed = nullptr;
    client->OnDataSent = nullptr;
    client->Pause();
    client->DataWSocket()->Pause();
    retiredClients_.push_back(std::move(client));
    if (retiredClients_.size() > 1) return;  // a free is already on its way
    std::weak_ptr<bool> alive = alive_;
    loop_->Post([this, alive] {
        auto token = alive.lock();
        if (!token || !*token) return;
        auto doomed = std::move(retiredClients_);
        retiredClients_.clear();
        doomed.clear();
    });
}

}  // namespace corvane
