// The session policy's connection handlers: the IP rules at connect, the login, the idle
// timeout and the disconnect, and the peer description that every log line carries.
#include <algorithm>
#include <vector>

#include "accounts/permissions.h"
#include "core/ftp_server_thread.h"
#include "core/ftp_session_policy.h"
#include "core/log_lines.h"
#include "core/session_table.h"
#include "ftp/ftp_server.h"
#include "net/dns_lookup_request.h"
#include "net/line_wsocket.h"
#include "net/socket_home.h"
#include "net/reverse_lookup_wait.h"
#include "platform/fs.h"
#include "platform/win_errors.h"

namespace corvane {

FtpSessionPolicy::FtpSessionPolicy(ftpServerThread& thread, permissionsClass& accounts)
    : thread_(thread),
      handOff_(thread.handOff()),
      sessions_(thread.sessionBook()),
      index_(thread.index()),
      afterLogin_(thread.afterLogin()),
      accounts_(accounts)
{}

FtpSessionPolicy::~FtpSessionPolicy()
{
    EventLoop* loop = EventLoop::Current();
    for (auto& [number, pending] : pendingLookups_) {
        pending.request->Cancel();
        if (loop != nullptr) loop->CancelTimer(pending.timeLimit);
    }
    if (lookupHome_) lookupHome_->Abandon();
}

std::string FtpSessionPolicy::AccountOf(serversClientClass& client) const
{
    const SessionRecordPtr record = sessions_.sessionOf(&client);
    return record ? record->AccountName() : client.UserName();
}

// The first need starts an asynchronous reverse lookup and waits for it while the thread keeps
// serving everyone else. The client's own socket is paused meanwhile: what it sends stays in the
// stack's buffer and is read after the wait, so no command of a client runs before its connect
// decision, and none is lost. The client may still go while we wait (a disconnect from the
// window): then nothing of it is touched and the caller's liveness check ends the handler.
std::string FtpSessionPolicy::ReverseLookup(serversClientClass& client)
{
    if (!client.hostName.empty()) return client.hostName.rfind("Error #", 0) == 0 ? std::string() : client.hostName;
    const long long number = client.ClientNumber();
    client.Pause();
    const TReverseLookupResult found =
        WaitForReverseLookup(client.PeerAddr(), [this] { return thread_.ProgramClosing(); });
    if (!thread_.IsLiveClient(&client, number)) return std::string();
    client.Resume();
    client.lookupResult = static_cast<std::int32_t>(found.error) + 65536;
    if (found.done && found.error == 0 && !found.hostName.empty()) {
        client.hostName = found.hostName;
        return client.hostName;
    }
    client.hostName = "Error #" + std::to_string(found.error == 0 ? 11001 : found.error);
    return client.hostName;
}

std::string FtpSessionPolicy::Peer(serversClientClass& client)
{
    const bool withHostName = accounts_.IpRules().GetReverseDnsCheck();
    const std::string host = withHostName ? ReverseLookup(client) : std::string();
    return PeerDescription(client.PeerAddr(), client.PeerPort(), withHostName, host);
}

void FtpSessionPolicy::ClientConnect(TFtpServer& server, serversClientClass& client)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (accounts_.IpRules().GetReverseDnsCheck() && client.hostName.empty()) {
        StartConnectLookup(server, client);
        return;
    }
    DecideConnection(server, client);
}

// The decision waits for the peer's name without holding up anyone: the accept handler returns
// at once, the connection is not started (no banner) and its socket is paused, so what the
// client sends stays in the stack until the decision, and none of its commands runs before it.
void FtpSessionPolicy::StartConnectLookup(TFtpServer& server, serversClientClass& client)
{
    EventLoop* loop = EventLoop::Current();
    if (!lookupHome_) lookupHome_ = std::make_shared<SocketHome>(loop);
    const long long number = client.ClientNumber();
    PendingLookup pending;
    const int failed = DnsLookupRequest::Start(
        DnsLookupRequest::Kind::AddressToName, client.PeerAddr(), lookupHome_,
        [this, number](int error, const std::vector<std::string>& names) {
            FinishConnectLookup(number, error, error == 0 && !names.empty() ? names.front() : std::string());
        },
        pending.request);
    if (failed != 0) {
        client.lookupResult = failed + 65536;
        client.hostName = "Error #" + std::to_string(failed);
        DecideConnection(server, client);
        return;
    }
    server.HoldConnectionStart(&client);
    client.Pause();
    pending.timeLimit = loop->AddOneShot(kReverseLookupLimit, [this, number] {
        auto it = pendingLookups_.find(number);
        if (it == pendingLookups_.end()) return;
        it->second.timeLimit = 0;
        it->second.request->Cancel();
        FinishConnectLookup(number, WSAETIMEDOUT, std::string());
    });
    pendingLookups_[number] = std::move(pending);
}

void FtpSessionPolicy::FinishConnectLookup(long long clientNumber, int error, const std::string& hostName)
{
    auto it = pendingLookups_.find(clientNumber);
    if (it == pendingLookups_.end()) return;
    if (it->second.timeLimit != 0) EventLoop::Current()->CancelTimer(it->second.timeLimit);
    pendingLookups_.erase(it);
    // The client may have gone meanwhile (it hung up, or the window disconnected it).
    auto* client =
        server_ == nullptr ? nullptr : static_cast<serversClientClass*>(server_->FindClientByNumber(clientNumber));
    if (client == nullptr) return;
    client->lookupResult = error + 65536;
    client->hostName =
        error == 0 && !hostName.empty() ? hostName : "Error #" + std::to_string(error == 0 ? 11001 : error);
    client->Resume();
    DecideConnection(*server_, *client);
}

void FtpSessionPolicy::DecideConnection(TFtpServer& server, serversClientClass& client)
{
    const long long number = client.ClientNumber();
    const bool allowed =
        accounts_.IpRules().CheckClientAddress(client.PeerAddr(), 0, [this, &client] { return ReverseLookup(client); });
    // A lookup's wait served other events: the client may have gone meanwhile.
    if (!thread_.IsLiveClient(&client, number)) return;
    const std::string peer = Peer(client);
    if (!thread_.IsLiveClient(&client, number)) return;
    if (allowed) {
        handOff_.log(ConnectedLine(peer));
        sessions_.addSession(&client);
        server.StartHeldConnection(&client);
        return;
    }
    client.SendStr(kIpRefusedLine);
    // The refusal must be read: an orderly close, never a reset that may destroy it.
    client.FinishSending();
    handOff_.log(RefusedByIpRulesLine(peer));
    server.Disconnect(&client);
}

void FtpSessionPolicy::GiveBackConnection(const std::string& user, const std::string& address)
{
    accounts_.SetConnectionCount(user, accounts_.GetConnectionCount(user) - 1);
    accounts_.SetIpConnectionCount(user, address, accounts_.GetIpConnectionCount(user, address) - 1);
}

void FtpSessionPolicy::Authenticate(serversClientClass& client, const std::string& user, const std::string& password,
                                    bool& authenticated, std::string& answer)
{
    authenticated = false;
    // A second login on the same connection gives the first one's counts back before it
    // takes its own, so the counts never grow with repeated logins.
    if (client.authenticated) {
        client.authenticated = false;
        GiveBackConnection(client.admittedAccount, client.PeerAddr());
    }
    if (accounts_.Authenticate(user, password)) {
        if (!accounts_.AdmitConnection(user, client.PeerAddr())) {
            answer = kTooManyForAccount;
        } else {
            const std::string home = accounts_.Folders().GetHomeFolder(user);
            if (home.empty() || !fs::RealFolderExists(home)) {
                GiveBackConnection(user, client.PeerAddr());
                answer = kNoHomePath;
            } else {
                handOff_.log(AuthenticatedLine(Peer(client), user));
                client.SetHomeDirectory(home);
                sessions_.setSessionAction(&client, saLoggedIn);
                authenticated = true;
                client.authenticated = true;
                client.admittedAccount = user;
            }
        }
    }
    if (!authenticated) {
        handOff_.log(RejectedLine(Peer(client), user, answer));
        client.SetUserName("");
        client.SetPassWord("");
        return;
    }
    if (afterLogin_.afterLoginEnabled()) answer = afterLogin_.afterLoginText();
}

void FtpSessionPolicy::IdleCheck(TFtpServer& server)
{
    const auto now = std::chrono::system_clock::now();
    const auto loginDeadline = std::chrono::steady_clock::now() - std::chrono::seconds(loginTimeoutSeconds_);
    std::vector<TFtpCtrlSocket*> idle;
    std::vector<serversClientClass*> tooLateToLogIn;
    for (int i = 0; i < server.ClientCount(); ++i) {
        auto* client = static_cast<serversClientClass*>(server.Client(i));
        // Connections that never log in would otherwise hold their places for ever, and enough
        // of them lock every other client out.
        if (!client->authenticated && loginTimeoutSeconds_ > 0 && client->connectedAt < loginDeadline) {
            tooLateToLogIn.push_back(client);
            continue;
        }
        const int timeout = accounts_.GetIdleTimeout(client->UserName());
        if (timeout == 0) continue;
        const auto silent = std::chrono::duration_cast<std::chrono::seconds>(now - client->lastActivity).count();
        if (silent > timeout) idle.push_back(client);
    }
    for (TFtpCtrlSocket* client : idle)
        if (server.IsClient(client)) server.Disconnect(client);
    for (serversClientClass* client : tooLateToLogIn) {
        if (!server.IsClient(client)) continue;
        client->SendStr(kLoginTimeoutLine);
        client->FinishSending();
        server.Disconnect(client);
    }
}

void FtpSessionPolicy::ClientDisconnect(serversClientClass& client)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    handOff_.log(DisconnectedLine(Peer(client)));
    if (client.authenticated) {
        client.authenticated = false;
        GiveBackConnection(client.admittedAccount, client.PeerAddr());
    }
    sessions_.deleteSession(&client);
}

}  // namespace corvane
