// Who keeps a web slot when the server is full: connections that have not sent a whole request
// header give way, the eldest first, and no address may hold more than a few of them.
#include <string>

#include "core/log_lines.h"
#include "core/web_request_policy.h"

namespace corvane {
namespace {

constexpr const char* kTooManyWaitingPage =
    "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";

}  // namespace

bool WebRequestPolicy::Admit(THttpServer& server, httpServersClientClass& client)
{
    const std::string& address = client.PeerAddr();
    if (maxWaitingPerAddress_ > 0 && waiting_.WaitingFrom(address) >= maxWaitingPerAddress_) {
        LogAbout(client, TooManyWaitingLine);
        client.SendLastStr(kTooManyWaitingPage);
        client.CloseAfterSending();
        return false;
    }
    // The newcomer is in the list already: the server is full when the list is past its limit.
    if (server.MaxClients > 0 && server.ClientCount() > server.MaxClients &&
        server.OpenClientCount() > server.MaxClients)
        EvictEldestWaiting(server);
    waiting_.Add(client.Number(), address, AdmissionQueue::Clock::now());
    return true;
}

void WebRequestPolicy::EvictEldestWaiting(THttpServer& server)
{
    const auto cutoff = AdmissionQueue::Clock::now() - kEvictableAfter;
    // A connection that has had its header since is no candidate any more: it leaves the queue
    // here, so each one is looked at only once however many accepts follow.
    while (const auto eldest = waiting_.EldestWaitingSince(cutoff)) {
        waiting_.Remove(*eldest);
        auto* connection = static_cast<httpServersClientClass*>(server.ClientByNumber(*eldest));
        if (connection == nullptr) continue;
        httpServersClientClass& victim = *connection;
        if (victim.State() != wsConnected || !victim.WaitingForHeader()) continue;
        LogAbout(victim, EvictedLine);
        victim.Abort();
        return;
    }
}

}  // namespace corvane
