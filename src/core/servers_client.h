// serversClientClass: the FTP engine's client class in this server. It carries what the
// session policy keeps per control connection besides what the engine keeps: the reverse
// lookup, the download credit, the last activity, the search results, and the throttle.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/sm_throttle.h"
#include "ftp/ftp_ctrl_socket.h"

namespace corvane {

class serversClientClass : public TFtpCtrlSocket {
public:
    serversClientClass() = default;

    // 0 while a reverse lookup runs; error code + 65 536 once it has ended (0 = success).
    std::int32_t lookupResult = 0;
    // The peer's host name, or "Error #" + code after a failed lookup; empty before one.
    std::string hostName;
    // Download credit of this connection in bytes; not kept across connections. 64-bit: the
    // transfers that feed it pass 4 GiB.
    std::int64_t credit = 0;
    std::chrono::system_clock::time_point lastActivity = std::chrono::system_clock::now();
    // When the connection was accepted: the login time limit counts from here.
    std::chrono::steady_clock::time_point connectedAt = std::chrono::steady_clock::now();
    std::vector<std::string> searchResults;
    std::int32_t searchMode = 0;
    // The login succeeded: the disconnect gives the connection counts back.
    bool authenticated = false;
    // The account and address whose connection counts the login took, given back once.
    std::string admittedAccount;
    std::unique_ptr<TSMThrottle> throttle = std::make_unique<TSMThrottle>();
};

}  // namespace corvane
