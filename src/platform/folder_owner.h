// Files written by root into a folder that belongs to another user (a service's home) are
// given to that user, so that the service can still read and replace them.
#pragma once

#include <string>

namespace corvane {

// When this process runs as root: every file directly in `folder` that another user owns
// than the folder's owner is given to the folder's owner and group. Nothing otherwise.
void GiveFilesToFolderOwner(const std::string& folder);

}  // namespace corvane
