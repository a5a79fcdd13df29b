#pragma once
// IpAccessRules: the IP access rules of the account store (the rule list, the list's mode,
// the reverse-DNS switch and the rule count the settings held when read) and the test of a
// client's address against them.
//
// Threads: the window thread edits, loads and saves; the server thread tests clients. The
// rule list has its own lock, held for one add, clear or copy; each setting is a LockedValue.
// A test works on a copy of the list, so an edit during a test is seen by the next one.
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "accounts/account.h"
#include "common/ini_image.h"

namespace corvane {

class IpAccessRules {
public:
    // The client's reverse lookup outcome (common/lookup_outcome.h: a host name or a failure).
    using ReverseLookup = std::function<std::string()>;

    // kind: 0 FTP client, 1 HTTP client (the caller passes that client's reverse lookup).
    // Mode 0 admits only listed clients, any other mode refuses them; with the reverse-DNS
    // switch on, the host name must pass the same test (a failed lookup passes).
    bool CheckClientAddress(const std::string& address, int kind, const ReverseLookup& lookup) const;

    // Stores the rule without blanks and control characters at its ends; false (nothing stored)
    // when nothing is left, a line break remains inside, or an IPv6 rule (one holding a ":") is
    // not an address or prefix that can match a client ("::", "::/0", "/129").
    bool AddIpRule(const std::string& text);
    void ClearIpRules();
    std::vector<std::string> ListIpRules() const;
    void SetIpRuleMode(int mode);
    int GetIpRuleMode() const;
    void SetReverseDnsCheck(bool on);
    bool GetReverseDnsCheck() const;
    int StoredIpRuleCount() const;
    void SetStoredIpRuleCount(int count);

    // The rules and both settings from section "ServerData" of the server settings, and back.
    void LoadIpRules(const IniImage& serverSettings);
    void SaveIpRules(IniImage& serverSettings);

private:
    mutable std::mutex rulesLock_;
    std::vector<std::string> rules_;  // guarded by rulesLock_
    LockedValue<int> mode_{1};
    LockedValue<int> storedCount_{0};
    LockedValue<bool> reverseDnsCheck_{false};
};

}  // namespace corvane
