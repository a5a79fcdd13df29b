// The session policy's connection handlers: the IP rules at connect, the login, the idle
// timeout and the disconnect, and the peer description that every log line carries.
#include <algorithm>
#include <vector>

#include "accounts/permissions.h"
#include "common/lookup_outcome.h"
#include "core/ftp_server_thread.h"
#include "core/ftp_session_policy.h"
#include "core/log_lines.h"
#include "core/session_table.h"
#include "ftp/ftp_server.h"
#include "platform/fs.h"

namespace corvane {

FtpSessionPolicy::FtpSessionPolicy(ftpServerThread& thread, permissionsClass& accounts)
    : cache_(thread.cacheHooks()),
      handOff_(thread.handOff()),
      sessions_(thread.sessionBook()),
      index_(thread.index()),
      afterLogin_(thread.afterLogin()),
      accounts_(accounts),
      lookups_([this](long long number, int error, const std::string& outcome) { PeerNamed(number, error, outcome); },
               [this](const std::string& line) { handOff_.log(line); }),
      bans_(thread.loginBans()),
      bansChanged_([&thread] { thread.PublishBans(); })
{}

FtpSessionPolicy::~FtpSessionPolicy() { *alive_ = false; }

std::string FtpSessionPolicy::AccountOf(serversClientClass& client) const
{
    const SessionRecordPtr record = sessions_.sessionOf(&client);
    return record ? record->AccountName() : client.UserName();
}

// A client whose name is not known yet (reverse DNS was switched on after it connected) gets
// its lookup now; the line waits for the answer and the handler goes on at once. Nothing is
// looked up for a log that nobody reads.
void FtpSessionPolicy::LogAbout(serversClientClass& client, const PeerLookups::PeerLine& line)
{
    if (!handOff_.logWanted()) return;
    lookups_.WriteAbout(client.ClientNumber(), client.PeerAddr(), client.PeerPort(),
                        accounts_.IpRules().GetReverseDnsCheck(), client.hostName, line);
}

void FtpSessionPolicy::ClientConnect(TFtpServer& server, serversClientClass& client)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (RefusedAsBanned(client)) return;
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
    if (!lookups_.Start(client.ClientNumber(), client.PeerAddr())) {
        DecideConnection(server, client);
        return;
    }
    decisionsWaiting_.insert(client.ClientNumber());
    server.HoldConnectionStart(&client);
    client.Pause();
}

void FtpSessionPolicy::PeerNamed(long long clientNumber, int error, const std::string& outcome)
{
    const bool deciding = decisionsWaiting_.erase(clientNumber) != 0;
    // The client may have gone meanwhile (it hung up, or the window disconnected it).
    auto* client =
        server_ == nullptr ? nullptr : static_cast<serversClientClass*>(server_->FindClientByNumber(clientNumber));
    if (client == nullptr) return;
    client->lookupResult = error + kLookupEndedOffset;
    client->hostName = outcome;
    if (!deciding) return;
    client->Resume();
    DecideConnection(*server_, *client);
}

// The name is known here when reverse DNS is on (the connect lookup came first); switched on
// just now, the rules see an unnamed peer rather than wait for one.
void FtpSessionPolicy::DecideConnection(TFtpServer& server, serversClientClass& client)
{
    const bool allowed =
        accounts_.IpRules().CheckClientAddress(client.PeerAddr(), 0, [&client] { return client.hostName; });
    if (allowed) {
        LogAbout(client, ConnectedLine);
        sessions_.addSession(&client);
        server.StartHeldConnection(&client);
        return;
    }
    client.SendStr(kIpRefusedLine);
    // The refusal must be read: an orderly close, never a reset that may destroy it.
    client.FinishSending();
    LogAbout(client, RefusedByIpRulesLine);
    server.Disconnect(&client);
}

void FtpSessionPolicy::GiveBackConnection(const std::string& user, const std::string& address)
{
    accounts_.SetConnectionCount(user, accounts_.GetConnectionCount(user) - 1);
    accounts_.SetIpConnectionCount(user, address, accounts_.GetIpConnectionCount(user, address) - 1);
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
    LogAbout(client, DisconnectedLine);
    if (client.authenticated) {
        client.authenticated = false;
        GiveBackConnection(client.admittedAccount, client.PeerAddr());
    }
    sessions_.deleteSession(&client);
}

}  // namespace corvane
