// The session policy's listing handler: what a LIST or NLST may show. A listing never shows
// anything outside the home folder (a folder above it shows only the way down to the home, any
// other folder outside it lists the home instead), and inside the home it shows a folder only
// to an account that may both list it and change into it.
#include <sstream>

#include "accounts/permissions.h"
#include "common/path_text.h"
#include "core/ftp_server_thread.h"
#include "core/ftp_session_policy.h"
#include "core/session_table.h"
#include "ftp/ftp_listing.h"
#include "ftp/ftp_mlsx_facts.h"
#include "ftp/ftp_paths.h"
#include "ftp/ftp_stream_capability.h"
#include "platform/fs.h"

namespace corvane {
namespace {

bool HasSearchTag(const std::string& text) { return text.find(kSearchResultsTag) != std::string::npos; }

bool HasWildcard(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

// What a listing names, with ".." resolved: the full path handed to the engine, and the folder
// whose rights decide (the path itself for a folder, the folder holding it for a file or a
// pattern such as *.txt).
struct ListingTarget {
    std::string path;
    std::string folder;
};

// Empty fields when the names cannot be resolved (a relative name on another drive, a UNC
// path): such a listing is treated as one outside the home.
ListingTarget ResolveListingTarget(const std::string& currentDirectory, const std::string& names)
{
    std::string requested = currentDirectory;
    if (!names.empty()) {
        try {
            requested = ResolveClientPath(currentDirectory, names).named;
        } catch (const std::exception&) {
            return {};
        }
    }
    const std::string full = FullRealPath(requested);
    if (full.empty()) return {};
    // A folder lists its contents, also when it is named without a final backslash (LIST -a sub).
    if (full.back() == '\\' || fs::RealFolderExists(full))
        return {AddTrailingBackslash(full), AddTrailingBackslash(full)};
    const std::size_t cut = full.rfind('\\');
    const std::string last = full.substr(cut + 1);
    if (!HasWildcard(last) && !fs::RealFileExists(full)) return {full, AddTrailingBackslash(full)};
    return {full, full.substr(0, cut + 1)};
}

// The name of the folder right below `folder` on the way down to `home` (both full, with their
// final backslash); empty when the home does not lie below it.
std::string NextNameTowards(const std::string& folder, const std::string& home)
{
    if (folder.size() < 3 || home.size() <= folder.size() || !IsInsideFolder(home, RemoveTrailingBackslash(folder)))
        return std::string();
    return home.substr(folder.size(), home.find('\\', folder.size()) - folder.size());
}

bool SameFolder(const std::string& a, const std::string& b)
{
    return AddTrailingBackslash(FullRealPath(a)) == AddTrailingBackslash(FullRealPath(b));
}

}  // namespace

std::size_t ListingNameStart(const std::string& params)
{
    std::size_t at = 0;
    for (;;) {
        while (at < params.size() && params[at] == ' ') ++at;
        if (at >= params.size() || params[at] != '-') return at;
        const std::size_t blank = params.find(' ', at);
        if (blank == std::string::npos) return params.size();
        at = blank;
    }
}

void FtpSessionPolicy::ListSearchResults(serversClientClass& client)
{
    std::string text;
    const bool machine = client.CurrentCommand() == ftpcMLSD;
    for (const std::string& line : client.searchResults)
        text += machine ? MachineSearchResultLine(line) : line + "\r\n";
    if (client.searchResults.empty() && !machine) text = "\r\n";
    ServeOwnListing(client, text);
}

// The handler's own listing text in place of the engine's: the stream is handed to the engine,
// which drops it when the transfer ends, however it ends.
void FtpSessionPolicy::ServeOwnListing(serversClientClass& client, const std::string& text)
{
    client.SetEngineStream(std::make_shared<TFtpMemoryStream>(text));
    client.Transfer().Listing = true;
    client.Transfer().CachedCopy = CacheTransfer();
    sessions_.setSessionAction(&client, saDirectoryListed);
}

// A folder above the home is passed through on the way to it, so its listing shows that way
// and nothing else: the one folder below it that leads to the home, which the account may
// enter, as the perm fact tells. A client that follows what it was shown reaches the home.
std::string FtpSessionPolicy::WayToHomeListing(serversClientClass& client, const std::string& folder,
                                               const std::string& pattern, const std::string& home, bool detailed)
{
    const std::string name = NextNameTowards(folder, home);
    const std::string wanted = pattern.substr(folder.size());
    const auto shown = [&wanted](const std::string& entry) {
        return wanted.empty() || fs::NameMatchesWildcards(entry, wanted);
    };
    if (name.empty()) return std::string();
    if (client.CurrentCommand() != ftpcMLSD) {
        // "." and ".." as in any folder's listing: both may be entered too.
        std::string text;
        for (const std::string& entry : {std::string("."), std::string(".."), name})
            if (shown(entry)) text += BuildListingText(folder + entry, detailed);
        return text;
    }
    auto entry = shown(name) ? fs::StatReal(folder + name) : std::nullopt;
    if (!entry) return std::string();
    entry->name = name;
    const unsigned facts = client.SessionOptions.mlsxFacts;
    std::string perm;
    if ((facts & (1u << mlsxPerm)) != 0) {
        TFtpFolderRights here, inside;
        FolderRights(client, folder, here);
        FolderRights(client, folder + name + "\\", inside);
        perm = MlsxPermFact(*entry, here, inside);
    }
    return MlsxLine(*entry, facts, perm);
}

void FtpSessionPolicy::BuildDirectory(serversClientClass& client, std::string& directory, bool detailed)
{
    if (HasSearchTag(client.Directory()) || HasSearchTag(directory)) {
        ListSearchResults(client);
        return;
    }
    const std::string home = AddTrailingBackslash(FullRealPath(accounts_.Folders().GetHomeFolder(AccountOf(client))));
    const ListingTarget target =
        ResolveListingTarget(client.Directory(), directory.substr(ListingNameStart(directory)));
    const bool insideHome =
        !target.folder.empty() && home.size() > 1 && IsInsideFolder(target.folder, RemoveTrailingBackslash(home));
    if (insideHome && client.CurrentCommand() == ftpcMLSD && !fs::RealFolderExists(target.path)) {
        // Not a folder: the engine refuses the machine listing before any transfer, so nothing
        // here may mark a retrieval as a listing (the next download would pass as one).
        directory = target.path;
        return;
    }
    std::string listedFolder = target.folder;
    if (!insideHome && !target.folder.empty() && LeadsToHome(client, target.folder) && fs::RealFolderExists(home)) {
        ServeOwnListing(client, WayToHomeListing(client, target.folder, target.path, home, detailed));
        return;
    }
    if (!insideHome) {
        // Nothing else outside the home is ever shown: the home stands in for it.
        if (!fs::RealFolderExists(home)) {
            ServeOwnListing(client, "");
            return;
        }
        directory = home;
        listedFolder = home;
    } else if (!fs::RealFolderExists(target.folder)) {
        // Nothing there to show; the engine answers with its "not found" line.
        directory = target.path;
    } else if (!Allowed(client, target.folder, "list") || !Allowed(client, target.folder, "CWD")) {
        // A folder the account may not look into (an upload-only folder) lists as empty.
        ServeOwnListing(client, "");
        return;
    } else {
        directory = target.path;
    }
    client.Transfer().Listing = true;
    // The cache holds LIST's listings under the client's current directory, so only a LIST of
    // exactly that folder may come from it or go into it; NLST's name lines (hidden names
    // included) and MLSD's facts are other texts of the same folder and are never cached.
    if (detailed && client.CurrentCommand() != ftpcMLSD && directory == listedFolder &&
        SameFolder(listedFolder, client.Directory())) {
        cache_.OpenCachedFile(client.Directory(), client, true);
    } else {
        client.Transfer().CachedCopy = CacheTransfer();
    }
    sessions_.setSessionAction(&client, saDirectoryListed);
}

}  // namespace corvane
