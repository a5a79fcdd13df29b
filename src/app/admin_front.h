// The command-line side of the administration commands: finds the home, reads a password,
// and either hands the command to the server that runs on the home (through its control
// socket) or, when none runs, carries it out on the home's files itself, holding the home's
// lock meanwhile.
#pragma once

#include <string>
#include <vector>

namespace corvane {

class permissionsClass;

// `words` are the command's words (options included); returns the program's exit status.
int RunAdministration(const std::string& homeOption, std::vector<std::string> words);

// Writes the account files and the IP rules of CorvaneServer.ini after a command changed the
// store. `keepLoaded`: the store goes on serving (a running server). False when a file could
// not be written.
bool WriteChangedStore(permissionsClass& store, bool keepLoaded);

}  // namespace corvane
