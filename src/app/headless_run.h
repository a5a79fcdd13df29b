// The headless program: the server without the administration window, as a service runs it.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace corvane {

class HomeLock;

// The home's lock for a server, waiting a moment for an administration command that holds it;
// none (with the reason said on standard error) while another server runs there.
std::unique_ptr<HomeLock> TakeServerHome(const std::string& home);

// Takes the home (refused while another server holds it), starts the services, serves the
// control socket and the service signals (SIGINT and SIGTERM stop in order, SIGHUP reloads
// the settings, SIGUSR1 reopens the log file) and tells a service manager when it is ready
// and when it stops. Returns the exit status.
int RunHeadless(const std::string& homeOption, const std::vector<std::string>& controllerArguments);

}  // namespace corvane
