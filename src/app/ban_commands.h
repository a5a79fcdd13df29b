// The "bans" command: the addresses banned for guessing passwords, and the lifting of a ban.
// Bans live in the running server's memory only: without a server there are none to show.
#pragma once

#include <string>
#include <vector>

#include "app/admin_commands.h"

namespace corvane {

class serverController;

// Window thread. `words`: "bans" or "bans unban ADDRESS".
AdminReply RunBansCommand(const std::vector<std::string>& words, serverController* controller,
                          const std::string& home);

}  // namespace corvane
