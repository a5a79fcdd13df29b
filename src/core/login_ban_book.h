// LoginBanBook: the failed logins of each client address, and the addresses banned for them.
//
// N failed logins from one address within a window of T seconds ban the address for B
// seconds; a ban ends by itself, or when the administrator lifts it. While an address is not
// banned, each failure is answered after a pause that grows with the failures counted in the
// window, so a guesser gets few tries a second from each connection. Exempt addresses (the
// loopback ones, when the rules say so, and those the owner's test names) are never counted.
//
// Kept in memory only, keyed by the address text the per-address connection counts use.
// One owner thread, the server thread; every lookup is by address (a hash map). What the
// window and the command line show is Snapshot(), handed to them by the owner.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/thread_owner.h"

namespace corvane {

struct LoginBanRules {
    int failures = 10;                     // 0: no bans
    std::chrono::seconds window{600};      // the failures counted are those this recent
    std::chrono::seconds ban{900};         // how long a ban lasts
    bool exemptLoopback = true;            // 127.0.0.0/8 and ::1 are never banned
    std::chrono::milliseconds pauseStep{250};  // the pause after a failure, per failure counted
    std::chrono::milliseconds longestPause{3000};
};

// A loopback address: 127.x.x.x, ::1, or 127.x.x.x written as an IPv4-mapped IPv6 address.
bool IsLoopbackAddress(const std::string& address);

class LoginBanBook {
public:
    using Clock = std::chrono::steady_clock;
    // True for an address that is never counted nor banned (on top of the loopback rule).
    using ExemptTest = std::function<bool(const std::string& address)>;

    struct Failure {
        int counted = 0;  // failures of the address in the window, this one included
        std::chrono::milliseconds pause{0};
        bool banStarted = false;  // this failure banned the address
    };
    struct Ban {
        std::string address;
        std::chrono::seconds left{0};
        int failures = 0;
    };

    explicit LoginBanBook(LoginBanRules rules = {}, ExemptTest exempt = nullptr);

    // The book has moved to the calling thread, its owner from now on.
    void Adopt() { owner_.Adopt(); }
    void SetRules(const LoginBanRules& rules) { rules_ = rules; }
    const LoginBanRules& Rules() const { return rules_; }
    void SetExemptTest(ExemptTest exempt) { exempt_ = std::move(exempt); }

    bool Exempt(const std::string& address) const;
    // True while the address is banned; an ended ban is forgotten here.
    bool Banned(const std::string& address, Clock::time_point now);
    Failure NoteFailure(const std::string& address, Clock::time_point now);
    // False when the address was not banned.
    bool Unban(const std::string& address);
    // The bans in force, the longest-lasting first.
    std::vector<Ban> Snapshot(Clock::time_point now) const;
    // Forgets ended bans and failures older than the window (the owner calls it now and then,
    // so that addresses that stopped trying take no memory).
    void Prune(Clock::time_point now);
    std::size_t AddressCount() const { return addresses_.size(); }

private:
    struct Record {
        std::deque<Clock::time_point> failures;  // the last `failures` of them, oldest first
        Clock::time_point bannedUntil{};
        bool banned = false;
    };
    void DropOldFailures(Record& record, Clock::time_point now) const;

    LoginBanRules rules_;
    ExemptTest exempt_;
    std::unordered_map<std::string, Record> addresses_;
    ThreadOwner owner_;
};

}  // namespace corvane
