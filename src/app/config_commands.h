// The "config" command: the server settings of CorvaneServer.ini by their keys. A running
// server applies a new value as its options dialog does (restarting the services it restarts);
// without one the value is written to the file, which the next start reads.
#pragma once

#include <string>
#include <vector>

#include "app/admin_commands.h"

namespace corvane {

// Window thread. `words`: "config" and then "list", "get KEY" or "set KEY VALUE".
// `controller` is null when no server runs on the home (ProgramFolder() names it).
AdminReply RunConfigCommand(const std::vector<std::string>& words, serverController* controller);

}  // namespace corvane
