// The administration commands of the command line (user, group, folder, home, weblink, ip,
// show, list, sessions, disconnect, status), carried out on the account store and the
// controller exactly as the administration window carries them out.
//
// Window thread only: in a running server the control socket hands each command to the
// window thread; without a server the command-line program runs it on a store it loaded.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvane {

class permissionsClass;
class serverController;

struct AdminRequest {
    std::vector<std::string> words;       // the command and its arguments ("user", "add", "bob")
    std::optional<std::string> password;  // read by the command line, for the commands that set one
};

// Exit statuses: 0 done, 1 refused or failed, 2 not a command, 3 status of a server that does
// not run.
enum AdminStatus { kAdminDone = 0, kAdminRefused = 1, kAdminUsage = 2, kAdminNotRunning = 3 };

struct AdminReply {
    int status = kAdminDone;
    std::string out;       // standard output
    std::string err;       // standard error
    bool changed = false;  // the store changed: its files are to be written
};

struct AdminContext {
    permissionsClass& accounts;
    serverController* controller = nullptr;  // null when no server runs on the home
    std::string home;
};

AdminReply RunAdminCommand(const AdminRequest& request, AdminContext& context);
// Whether the command sets a password (which the command line reads first), and for whom.
bool CommandSetsPassword(const std::vector<std::string>& words, std::string* account = nullptr);
// The words that start an administration command.
bool IsAdminCommandWord(const std::string& word);
// The commands' part of the program's usage text.
const char* AdminUsageText();

}  // namespace corvane
