// The service manager's readiness protocol: when the manager started the program with
// NOTIFY_SOCKET set, state lines ("READY=1", "RELOADING=1", "STOPPING=1", "STATUS=...") go to
// that datagram socket. Without it nothing is sent.
#pragma once

#include <string>

namespace corvane {

// Sends the state text; false when there is no manager to tell or the send failed.
bool NotifyServiceManager(const std::string& state);

}  // namespace corvane
