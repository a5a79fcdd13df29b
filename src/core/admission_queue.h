// The connections that hold a slot without having earned it yet (an FTP client not logged in,
// a browser whose request header is not whole), in the order they came. When every slot is
// taken, the one that has waited longest gives its place to a newcomer, and no address may keep
// more than a set number of them: a crowd that connects and says nothing cannot lock everyone
// else out. Adding, removing and finding the eldest cost the same however many clients there are.
#pragma once

#include <chrono>
#include <list>
#include <optional>
#include <string>
#include <unordered_map>

namespace corvane {

class AdmissionQueue {
public:
    using Clock = std::chrono::steady_clock;

    // Connections are added as they are accepted, so `since` never goes back in time.
    void Add(long long number, const std::string& address, Clock::time_point since);
    // On login (or a whole header) and on close; an unknown number is ignored.
    void Remove(long long number);
    bool Contains(long long number) const { return byNumber_.count(number) != 0; }
    int WaitingFrom(const std::string& address) const;
    std::size_t Size() const { return byNumber_.size(); }
    // The eldest waiting connection if it has waited since `cutoff` or earlier.
    std::optional<long long> EldestWaitingSince(Clock::time_point cutoff) const;

private:
    struct Waiting {
        long long number;
        std::string address;
        Clock::time_point since;
    };
    std::list<Waiting> order_;
    std::unordered_map<long long, std::list<Waiting>::iterator> byNumber_;
    std::unordered_map<std::string, int> perAddress_;
};

// A connection may be evicted once it has waited this long without logging in or sending a
// whole request header: long enough for a slow handshake, short enough that a newcomer is not
// kept waiting.
inline constexpr std::chrono::seconds kEvictableAfter{3};

}  // namespace corvane
