#include "gui/session_filter.h"

#include "core/session_table.h"

namespace corvane {

bool ActionFilterShows(int position, std::int32_t action)
{
    switch (position) {
    case 1: return action == saLoggedIn;
    case 2: return action == saDirectoryChanged;
    case 3: return action == saFileDeleted;
    case 4: return action == saDirectoryListed;
    case 5: return action == saDownloadAllowed;
    case 6: return action == saDirectoryMade;
    case 7: return action == saDirectoryRemoved;
    case 8: return action == saRename;
    case 9: return action == saSearch || action == saMd5Request;
    case 10: return action == saUploadAllowed;
    default: return true;
    }
}

}  // namespace corvane
