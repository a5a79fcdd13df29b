// PeerLookups: the reverse lookups of one service's peers, for its IP rules and its log lines.
//
// No handler waits for a lookup: it is started, the handler returns, and the answer comes back
// later as an event of this thread, after kReverseLookupLimit at the latest (then as failed,
// WSAETIMEDOUT). A connection is named by a number that its service never reuses, so the owner
// finds out from the number whether the connection is still there when the answer comes.
//
// A log line that names a peer whose lookup is still running waits here, behind that peer's
// earlier lines, and is written when the answer comes, whether or not the connection is still
// there by then (the line of its disconnect, say).
//
// Server thread only.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/thread_owner.h"
#include "platform/event_loop.h"

namespace corvane {

class DnsLookupRequest;
class SocketHome;

// How long a peer's reverse lookup may take; a longer one counts as failed ("Error #10060").
inline constexpr std::chrono::milliseconds kReverseLookupLimit{5000};

class PeerLookups {
public:
    // The lookup of connection `number` has ended: its error (0 for a name) and its outcome
    // (common/lookup_outcome.h).
    using Answered = std::function<void(long long number, int error, const std::string& outcome)>;
    // Makes a log line from the peer's description (core/log_lines.h's PeerDescription).
    using PeerLine = std::function<std::string(const std::string& peer)>;
    using WriteLine = std::function<void(const std::string& line)>;

    PeerLookups(Answered answered, WriteLine write);
    // Cancels the lookups; their waiting lines are written naming no host, as after a failure.
    ~PeerLookups();
    PeerLookups(const PeerLookups&) = delete;
    PeerLookups& operator=(const PeerLookups&) = delete;

    // Starts the lookup of `address` for connection `number` (nothing when one runs for it).
    // False when none could start (no loop on this thread, no resolver thread): the failure is
    // then answered at once, before this returns.
    bool Start(long long number, const std::string& address);
    bool Running(long long number) const { return running_.count(number) != 0; }

    // Writes the line naming the peer: at once when the host name is not wanted or `outcome`
    // (the connection's remembered one) already tells it, else once the lookup answers, which
    // starts here unless it runs.
    void WriteAbout(long long number, const std::string& address, const std::string& port, bool withHostName,
                    const std::string& outcome, PeerLine line);

private:
    struct Lookup {
        std::shared_ptr<DnsLookupRequest> request;
        EventLoop::TimerId timeLimit = 0;
        std::string address, port;  // of the waiting lines
        std::vector<PeerLine> waiting;
    };
    void Finish(long long number, int error, const std::string& hostName);
    void WriteWaiting(Lookup& lookup, const std::string& outcome);

    Answered answered_;
    WriteLine write_;
    EventLoop* loop_ = nullptr;
    std::shared_ptr<SocketHome> home_;  // where the resolver's answers come back
    std::unordered_map<long long, Lookup> running_;
    ThreadOwner owner_;  // the thread whose loop answers the lookups
};

}  // namespace corvane
