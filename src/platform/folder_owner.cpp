#include "platform/folder_owner.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

void GiveFilesToFolderOwner(const std::string& folder)
{
    if (::geteuid() != 0) return;
    struct stat owner {};
    if (::stat(folder.c_str(), &owner) != 0 || owner.st_uid == 0) return;
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) return;
    const int folderFd = ::dirfd(listing);
    while (const dirent* entry = ::readdir(listing)) {
        struct stat file {};
        if (::fstatat(folderFd, entry->d_name, &file, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(file.st_mode)) continue;
        if (file.st_uid == owner.st_uid && file.st_gid == owner.st_gid) continue;
        // A file that cannot be given stays as it is; the service then says it cannot read it.
        if (::fchownat(folderFd, entry->d_name, owner.st_uid, owner.st_gid, AT_SYMLINK_NOFOLLOW) != 0) continue;
    }
    ::closedir(listing);
}

}  // namespace corvane
