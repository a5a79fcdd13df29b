// Who keeps an FTP slot when the server is full: connections that have not logged in give way,
// the eldest first, and no address may hold more than a few of them.
#include <chrono>
#include <string>

#include "core/ftp_session_policy.h"
#include "core/log_lines.h"
#include "ftp/ftp_server.h"

namespace corvane {
namespace {

constexpr const char* kTooManyWaitingLine = "421 Too many connections from your address; log in on one first.\r\n";
constexpr const char* kEvictedLine = "421 Your place was given to a newer client: you did not log in.\r\n";

}  // namespace

bool FtpSessionPolicy::Admit(TFtpServer& server, serversClientClass& client)
{
    const std::string& address = client.PeerAddr();
    if (maxWaitingPerAddress_ > 0 && waiting_.WaitingFrom(address) >= maxWaitingPerAddress_) {
        client.SendStr(kTooManyWaitingLine);
        client.FinishSending();
        LogAbout(client, TooManyWaitingLine);
        server.Disconnect(&client);
        return false;
    }
    const auto now = AdmissionQueue::Clock::now();
    // The newcomer is in the list already: the server is full when the list is past its limit.
    if (server.MaxClients() > 0 && server.ClientCount() > server.MaxClients()) {
        if (const auto eldest = waiting_.EldestWaitingSince(now - kEvictableAfter)) {
            waiting_.Remove(*eldest);
            if (auto* victim = static_cast<serversClientClass*>(server.FindClientByNumber(*eldest))) {
                LogAbout(*victim, EvictedLine);
                victim->SendStr(kEvictedLine);
                victim->FinishSending();
                server.Disconnect(victim);
            }
        }
    }
    waiting_.Add(client.ClientNumber(), address, now);
    return true;
}

}  // namespace corvane
