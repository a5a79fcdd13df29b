// The "tls" commands of the command line: "tls show" prints what a person needs to trust the
// certificate of a home (subject, validity, fingerprints, and the lines that make lftp, curl and
// rclone trust it); "tls reload" has the running server load its pair again for new
// connections. Window thread of a running server (controller given), or the command-line
// program on a home no server runs on (controller null).
#pragma once

#include "app/admin_commands.h"

namespace corvane {

// Whether the words are a "tls" command, which RunTlsCommand answers.
bool IsTlsCommand(const AdminRequest& request);
bool IsTlsCommandWord(const std::string& word);
// The commands' lines of the program's usage text.
const char* TlsUsageText();
AdminReply RunTlsCommand(const AdminRequest& request, const AdminContext& context);

}  // namespace corvane
