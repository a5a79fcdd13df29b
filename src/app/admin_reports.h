// What the administration commands show: an account, the account list, the IP rules, the
// sessions and the server's status, as aligned text for people or as JSON (--json).
#pragma once

#include <string>

#include "accounts/account.h"

namespace corvane {

class permissionsClass;
class serverController;

std::string AccountReport(const permissionsClass& store, const accountClass& account, bool json);
std::string AccountListReport(const permissionsClass& store, bool json);
std::string IpListReport(const permissionsClass& store, bool json);
// `controller` is null when no server runs: no sessions, and a status of "not running".
std::string SessionsReport(serverController* controller, bool json);
std::string StatusReport(serverController* controller, const std::string& home, bool json);

}  // namespace corvane
