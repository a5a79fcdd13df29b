// A command from the control socket, carried out on the running server's store and controller.
#pragma once

#include <string>

#include "app/admin_commands.h"

namespace corvane {

class serverController;

// Window thread. What the command changed is written at once, so that nothing depends on an
// orderly shut-down; a write that fails is said in the reply (the change stays in force).
AdminReply RunControlCommand(serverController& controller, const std::string& home, const AdminRequest& request);

}  // namespace corvane
