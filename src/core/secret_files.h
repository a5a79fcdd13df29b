// The home's files that hold passwords, keys or tokens stay their owner's: a copy left readable
// by others (by hand, or by an older build) is tightened at start.
#pragma once

#include <functional>
#include <string>

namespace corvane {

// The account files (usersgroups.ini and each account's .kcf), the settings file and the TLS
// key `tlsKeyFile` (empty: the home's own) are made 0600 when others may read them; each change
// is told to `log`.
void TightenSecretFiles(const std::string& home, const std::string& tlsKeyFile,
                        const std::function<void(const std::string&)>& log);

}  // namespace corvane
