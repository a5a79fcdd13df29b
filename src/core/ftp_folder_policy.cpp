// The session policy's folder and file checks: where a user may go, what a user may read,
// write, delete and rename, and the download credit. Listings have their own file.
#include <cmath>

#include "accounts/permissions.h"
#include "common/byte_size_text.h"
#include "common/path_text.h"
#include "core/ftp_server_thread.h"
#include "core/ftp_session_policy.h"
#include "core/session_table.h"
#include "platform/fs.h"

namespace corvane {
namespace {

bool HasSearchTag(const std::string& text) { return text.find(kSearchResultsTag) != std::string::npos; }

// The folder that holds a path, with its ".." parts resolved first, so that a check is made on
// the folder the file system will really touch (C:\Pub\..\Private\x is decided on C:\Private).
std::string ResolvedFolderOf(const std::string& path)
{
    const std::string full = FullRealPath(path);
    return full.empty() ? std::string() : FolderOfPath(full);
}

// The folder above a folder path, ".." resolved ("C:\Pub\old\" -> "C:\Pub\"); the root is its
// own parent.
std::string FolderAbove(const std::string& folderPath)
{
    const std::string full = FullRealPath(folderPath);
    const std::string parent = ParentFolderOf(full);
    return parent.empty() ? full : parent;
}

}  // namespace

// The checks run right before the engine changes the folder, on the same turn of the thread,
// so no listing can be made in between: its cached listings go now. A folder's own time would
// not tell of a file rewritten in place, nor of a change within the resolution of that time.
void FtpSessionPolicy::ListingsChange(const std::string& folder)
{
    const std::string full = FullRealPath(folder);
    if (!full.empty()) cache_.InvalidateListings(full);
}

bool FtpSessionPolicy::Allowed(serversClientClass& client, const std::string& folder, const char* op) const
{
    return !folder.empty() && accounts_.Folders().CheckFolderPermission(AccountOf(client), folder, op);
}

// A folder above the home folder may be passed through on the way to it: clients such as lftp
// walk the path "/C:/My Downloads/sub" a name at a time, from the drive's root. Nothing is
// shown or touched there: listings fall back to the home folder and every file operation asks
// its own right.
bool FtpSessionPolicy::LeadsToHome(serversClientClass& client, const std::string& folder) const
{
    const std::string home = accounts_.Folders().GetHomeFolder(AccountOf(client));
    if (home.empty()) return false;
    const std::string above = RemoveTrailingBackslash(FullRealPath(folder));
    return !above.empty() && IsInsideFolder(AddTrailingBackslash(home), above);
}

void FtpSessionPolicy::ChangeDirectory(serversClientClass& client, std::string& directory, bool& allowed)
{
    std::string target = directory;
    const std::size_t lastBackslash = target.rfind('\\');
    if (lastBackslash != std::string::npos && lastBackslash > 2 && target.back() == '\\') target.pop_back();
    if (HasSearchTag(target)) {
        allowed = true;
        sessions_.setSessionAction(&client, saSearch);
        return;
    }
    if (target.find('\\') == std::string::npos) target = JoinPath(client.Directory(), target);
    if (Allowed(client, target, "CWD") || LeadsToHome(client, target)) {
        directory = target;
        client.SetDirectory(target);
        allowed = true;
        client.webLinkGranted = false;
        sessions_.setSessionAction(&client, saDirectoryChanged);
        return;
    }
    allowed = false;
}

void FtpSessionPolicy::MakeDirectory(serversClientClass& client, const std::string& directory, bool& allowed)
{
    const std::string parent = FolderOfPath(RemoveTrailingBackslash(directory));
    allowed = Allowed(client, parent, "mkDir") && fs::RealFolderExists(parent);
    if (!allowed) return;
    ListingsChange(parent);
    sessions_.setSessionAction(&client, saDirectoryMade);
}

bool FtpSessionPolicy::CreditAllows(std::int64_t credit, float ratio, std::int64_t size)
{
    if (ratio == 0) return true;
    const double cost = -std::trunc(static_cast<double>(size) * ratio);
    return static_cast<double>(credit) + cost >= 0;
}

void FtpSessionPolicy::RefuseForCredit(serversClientClass& client, float ratio)
{
    const double shown = std::trunc(static_cast<double>(client.credit) * ratio);
    const std::uint64_t bytes = shown > 0 ? static_cast<std::uint64_t>(shown) : 0;
    // No line end: the engine's own refusal follows on the same line.
    client.SendStr("599 You do not have enough credit (" + FormatByteSize(bytes, true) +
                   ") to download this file. Try uploading some useful files first. ");
}

void FtpSessionPolicy::ValidateGet(serversClientClass& client, const std::string& filePath, bool& allowed)
{
    const std::string account = AccountOf(client);
    const std::string folder = FolderOfPath(filePath);
    allowed = Allowed(client, folder, "get");
    if (!allowed) return;
    const auto info = fs::StatReal(filePath);
    const bool exists = info.has_value() && !info->isDirectory;
    const float ratio = accounts_.GetUdRatio(account);
    const bool creditOk = exists && CreditAllows(client.credit, ratio, info->size);
    allowed = exists && creditOk;
    if (allowed && !accounts_.Folders().GetWebLink(account, folder).empty() && afterLogin_.webLinkRequired())
        allowed = client.webLinkGranted;
    if (exists && !creditOk) RefuseForCredit(client, ratio);
    if (allowed) sessions_.setSessionAction(&client, saDownloadAllowed);
}

// SIZE and MDTM tell what a listing line tells, so only a logged-in account that may download
// from the file's folder, or list it, hears them; anyone else could map every mapped drive.
bool FtpSessionPolicy::MayDescribe(serversClientClass& client, const std::string& filePath) const
{
    if (!client.authenticated) return false;
    const std::string folder = ResolvedFolderOf(filePath);
    return Allowed(client, folder, "get") || (Allowed(client, folder, "list") && Allowed(client, folder, "CWD"));
}

void FtpSessionPolicy::ValidateSize(serversClientClass& client, const std::string& filePath, bool& allowed)
{
    allowed = MayDescribe(client, filePath);
}

void FtpSessionPolicy::ValidatePut(serversClientClass& client, const std::string& filePath, bool& allowed)
{
    allowed = Allowed(client, ResolvedFolderOf(filePath), "put");
    if (allowed) sessions_.setSessionAction(&client, saUploadAllowed);
}

void FtpSessionPolicy::ValidateMfmt(serversClientClass& client, const std::string& filePath, bool& allowed)
{
    allowed = Allowed(client, ResolvedFolderOf(filePath), "put");
    if (!allowed) return;
    // A listing kept in the cache shows the old time.
    cache_.Invalidate(filePath);
    ListingsChange(FolderOfPath(filePath));
}

void FtpSessionPolicy::ValidateDele(serversClientClass& client, const std::string& filePath, bool& allowed)
{
    allowed = Allowed(client, FolderOfPath(filePath), "dele") && fs::RealFileExists(filePath);
    if (!allowed) return;
    cache_.Invalidate(filePath);
    ListingsChange(FolderOfPath(filePath));
    sessions_.setSessionAction(&client, saFileDeleted);
}

void FtpSessionPolicy::ValidateRmd(serversClientClass& client, const std::string& folderPath, bool& allowed)
{
    allowed = Allowed(client, FolderAbove(folderPath), "rmd");
    if (!allowed) return;
    cache_.Invalidate(folderPath);
    ListingsChange(folderPath);
    ListingsChange(FolderAbove(folderPath));
    sessions_.setSessionAction(&client, saDirectoryRemoved);
}

void FtpSessionPolicy::ValidateRnFr(serversClientClass& client, const std::string& path, bool& allowed)
{
    const bool isFile = fs::RealFileExists(RemoveTrailingBackslash(path));
    // A folder that is renamed leaves the folder that holds it, as one that RMD removes does:
    // that folder must allow it too. Decided on the folder alone, "RNFR ." renamed the home
    // itself away from a folder where the account has no right at all.
    const bool folderMayLeave = !isFile && fs::RealFolderExists(path) && Allowed(client, FolderAbove(path), "dele");
    allowed = Allowed(client, FolderOfPath(path), "dele") && (isFile || folderMayLeave);
    if (!allowed) return;
    if (isFile) cache_.Invalidate(path);
    ListingsChange(isFile ? FolderOfPath(path) : path);
    if (!isFile) ListingsChange(FolderAbove(path));
    sessions_.setSessionAction(&client, saRename);
}

void FtpSessionPolicy::ValidateRnTo(serversClientClass& client, const std::string& path, bool& allowed)
{
    allowed = Allowed(client, FolderOfPath(path), "put");
    if (!allowed) return;
    cache_.Invalidate(path);
    ListingsChange(FolderOfPath(path));
    sessions_.setSessionAction(&client, saRename);
}

}  // namespace corvane
