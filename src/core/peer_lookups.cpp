#include "core/peer_lookups.h"

#include "common/lookup_outcome.h"
#include "core/log_lines.h"
#include "net/dns_lookup_request.h"
#include "net/socket_home.h"
#include "platform/win_errors.h"

namespace corvane {

PeerLookups::PeerLookups(Answered answered, WriteLine write)
    : answered_(std::move(answered)),
      write_(std::move(write))
{}

PeerLookups::~PeerLookups()
{
    for (auto& [number, lookup] : running_) {
        lookup.request->Cancel();
        if (loop_ != nullptr && lookup.timeLimit != 0) loop_->CancelTimer(lookup.timeLimit);
        WriteWaiting(lookup, std::string(kLookupFailureMarker));
    }
    if (home_) home_->Abandon();
}

bool PeerLookups::Start(long long number, const std::string& address)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (Running(number)) return true;
    EventLoop* loop = EventLoop::Current();
    int error = WSANOTINITIALISED;
    Lookup lookup;
    if (loop != nullptr) {
        if (!home_) {
            loop_ = loop;
            home_ = std::make_shared<SocketHome>(loop);
        }
        error = DnsLookupRequest::Start(
            DnsLookupRequest::Kind::AddressToName, address, home_,
            [this, number](int failed, const std::vector<std::string>& names) {
                Finish(number, failed, failed == 0 && !names.empty() ? names.front() : std::string());
            },
            lookup.request);
    }
    if (error != 0) {
        answered_(number, error, LookupOutcome(error, std::string()));
        return false;
    }
    lookup.timeLimit = loop_->AddOneShot(kReverseLookupLimit, [this, number] {
        auto it = running_.find(number);
        if (it == running_.end()) return;
        it->second.timeLimit = 0;
        it->second.request->Cancel();
        Finish(number, WSAETIMEDOUT, std::string());
    });
    running_.emplace(number, std::move(lookup));
    return true;
}

void PeerLookups::WriteAbout(long long number, const std::string& address, const std::string& port, bool withHostName,
                             const std::string& outcome, PeerLine line)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (!withHostName || !outcome.empty() || !Start(number, address)) {
        write_(line(PeerDescription(address, port, withHostName, ShownHostName(outcome))));
        return;
    }
    Lookup& lookup = running_.at(number);
    if (lookup.waiting.empty()) {
        lookup.address = address;
        lookup.port = port;
    }
    lookup.waiting.push_back(std::move(line));
}

// The waiting lines go first: they were made before anything the owner does with the answer.
void PeerLookups::Finish(long long number, int error, const std::string& hostName)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    auto it = running_.find(number);
    if (it == running_.end()) return;
    Lookup lookup = std::move(it->second);
    running_.erase(it);
    if (lookup.timeLimit != 0) loop_->CancelTimer(lookup.timeLimit);
    const std::string outcome = LookupOutcome(error, hostName);
    WriteWaiting(lookup, outcome);
    answered_(number, error, outcome);
}

void PeerLookups::WriteWaiting(Lookup& lookup, const std::string& outcome)
{
    const std::string peer = PeerDescription(lookup.address, lookup.port, true, ShownHostName(outcome));
    for (const PeerLine& line : lookup.waiting) write_(line(peer));
    lookup.waiting.clear();
}

}  // namespace corvane
