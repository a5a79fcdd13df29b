// The session policy's answers for the machine listings (MLSD, MLST): the account's rights
// that the perm facts tell, which single entries MLST may show, and the search results in the
// form of a machine listing. The rules are LIST's: nothing outside the home folder, nothing in
// a folder the account may not look into, no hidden entries.
#include "accounts/permissions.h"
#include "common/path_text.h"
#include "core/ftp_session_policy.h"
#include "platform/fs.h"

namespace corvane {
namespace {

bool HasSearchTag(const std::string& text) { return text.find(kSearchResultsTag) != std::string::npos; }

// A search-results line: the type letter and "r--r--r--   1 ftp      ftp" (27 characters), the
// size after blanks, the three words of the listing date, one blank, and the virtual path,
// which may itself hold blanks.
constexpr std::size_t kSearchLinePrefix = 27;

std::string SearchLinePath(const std::string& line, std::string& size)
{
    std::size_t at = kSearchLinePrefix;
    for (int word = 0; word < 4 && at < line.size(); ++word) {
        while (at < line.size() && line[at] == ' ') ++at;
        const std::size_t end = std::min(line.find(' ', at), line.size());
        if (word == 0) size = line.substr(at, end - at);
        at = end;
    }
    return at < line.size() ? line.substr(at + 1) : std::string();
}

}  // namespace

std::string MachineSearchResultLine(const std::string& listingLine)
{
    std::string size;
    const std::string path = SearchLinePath(listingLine, size);
    if (path.empty()) return std::string();
    const bool folder = !listingLine.empty() && listingLine[0] == 'd';
    return std::string(folder ? "type=dir;" : "type=file;size=" + size + ";") + " " + path + "\r\n";
}

bool FtpSessionPolicy::InsideHome(serversClientClass& client, const std::string& folder) const
{
    const std::string home = AddTrailingBackslash(FullRealPath(accounts_.Folders().GetHomeFolder(AccountOf(client))));
    return !folder.empty() && home.size() > 1 &&
           IsInsideFolder(AddTrailingBackslash(folder), RemoveTrailingBackslash(home));
}

void FtpSessionPolicy::ValidateMlst(serversClientClass& client, const std::string& path, bool& allowed)
{
    allowed = false;
    if (!client.authenticated || HasSearchTag(client.Directory()) || HasSearchTag(path)) return;
    const std::string full = FullRealPath(path);
    if (full.empty()) return;
    const std::string folder = AddTrailingBackslash(full);
    // A folder that a listing of its own would show: the home itself, or one the account may list.
    if (fs::RealFolderExists(full) && InsideHome(client, folder) && Allowed(client, folder, "list") &&
        Allowed(client, folder, "CWD")) {
        allowed = true;
        return;
    }
    if (fs::RealFolderExists(full) && !InsideHome(client, folder) && LeadsToHome(client, folder)) {
        allowed = true;
        return;
    }
    // Any entry that its folder's listing would show, or that the account may download.
    const std::string parent = ParentFolderOf(full);
    allowed = InsideHome(client, parent) &&
              (Allowed(client, parent, "get") || (Allowed(client, parent, "list") && Allowed(client, parent, "CWD")));
}

void FtpSessionPolicy::FolderRights(serversClientClass& client, const std::string& folder, TFtpFolderRights& rights)
{
    rights.get = Allowed(client, folder, "get");
    rights.put = Allowed(client, folder, "put");
    rights.list = Allowed(client, folder, "list");
    rights.cwd = Allowed(client, folder, "CWD") || LeadsToHome(client, folder);
    rights.mkDir = Allowed(client, folder, "mkDir");
    rights.dele = Allowed(client, folder, "dele");
    rights.rmd = Allowed(client, folder, "rmd");
}

}  // namespace corvane
