// The service manager's reload (SIGHUP): CorvaneServer.ini is read again and applied as the
// options dialog applies its groups, and the IP rules as the IP page's "Save && Apply".
#pragma once

#include <string>

namespace corvane {

class serverController;

// Window thread. A file that cannot be read, is empty, lacks section "ServerData" or ends in
// the middle of a line (half-written) is refused and nothing is applied; `message` tells what
// was done or why not. True when the file was applied.
bool ReloadSettings(serverController& controller, std::string& message);

}  // namespace corvane
