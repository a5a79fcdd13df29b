// The session policy's SITE extensions, which peer clients of the file-sharing networks use:
// the search over the local index and its mode, the MD5 probe and digest lookup, the password
// change and the web-link handshake. They answer before the engine's command table is asked;
// any other SITE word goes on to the table as an ordinary command.
#include <charconv>

#include "accounts/permissions.h"
#include "common/ip_text.h"
#include "common/path_text.h"
#include "common/text_case.h"
#include "common/url_text.h"
#include "core/ftp_server_thread.h"
#include "core/ftp_session_policy.h"
#include "core/session_table.h"
#include "p2p/index_lines.h"
#include "p2p/local_search.h"

namespace corvane {
namespace {

enum class SiteExtension { None, Search, SearchMode, Md5Probe, Md5Lookup, ChangePassword, WebLink };

// Which extension a command line asks for. A SITE line has its word made the keyword and the
// rest the parameters, whether or not the word is an extension, so SITE DELE x runs DELE x.
SiteExtension Recognise(std::string& keyword, std::string& params)
{
    if (keyword == "SITE") {
        const std::string whole = params;
        const std::size_t blank = params.find(' ');
        keyword = params.substr(0, blank);
        params = blank == std::string::npos ? std::string() : params.substr(blank + 1);
        if (EqualsIgnoreCase(keyword, "SRCH")) return SiteExtension::Search;
        if (EqualsIgnoreCase(keyword, "SRCHMODE")) return SiteExtension::SearchMode;
        if (EqualsIgnoreCase(whole, "MD5S")) return SiteExtension::Md5Probe;
        if (EqualsIgnoreCase(keyword, "MD5")) return SiteExtension::Md5Lookup;
        if (EqualsIgnoreCase(keyword, "CHPWD")) return SiteExtension::ChangePassword;
        if (EqualsIgnoreCase(keyword, "WEBL")) return SiteExtension::WebLink;
        return SiteExtension::None;
    }
    // The first four also work without the SITE prefix.
    if (keyword == "MD5S") return SiteExtension::Md5Probe;
    if (keyword == "MD5") return SiteExtension::Md5Lookup;
    if (keyword == "SRCH") return SiteExtension::Search;
    if (keyword == "SRCHMODE") return SiteExtension::SearchMode;
    return SiteExtension::None;
}

bool LoggedIn(const serversClientClass& client)
{
    return client.FtpState() == ftpcReady || client.FtpState() == ftpcWaitingAnswer;
}

// Whether a text names no file that a digest could be asked for: empty, a name broken by a line
// end, or a path that climbs with "..".
bool IsIllegalDigestArgument(const std::string& path)
{
    if (path.empty() || path.find_first_of("\r\n") != std::string::npos) return true;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find_first_of("/\\", start);
        if (path.compare(start, end == std::string::npos ? std::string::npos : end - start, "..") == 0) return true;
        if (end == std::string::npos) return false;
        start = end + 1;
    }
}

}  // namespace

bool FtpSessionPolicy::AcceptSearchMode(const std::string& params, std::int32_t& mode)
{
    // Compared as text, as the peer clients expect: "05" passes (and gives 5), "10" does not.
    if (params < "0" || params > "1") return false;
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(params.data(), params.data() + params.size(), value);
    mode = error == std::errc() && end == params.data() + params.size() ? value : 0;
    return true;
}

bool FtpSessionPolicy::SiteCommand(serversClientClass& client, std::string& keyword, std::string& params,
                                   std::string& answer)
{
    const SiteExtension extension = Recognise(keyword, params);
    if (extension == SiteExtension::None) return false;
    if (!LoggedIn(client)) {
        answer = "530 Please login with USER and PASS.";
        return true;
    }
    switch (extension) {
    case SiteExtension::Search:
        sessions_.setSessionAction(&client, saSearch);
        {
            std::lock_guard guard(index_.searchLock());
            Search(client, params);
        }
        answer = "252 Query has been processed.";
        break;
    case SiteExtension::SearchMode: {
        std::lock_guard guard(index_.searchLock());
        std::int32_t mode = 0;
        if (AcceptSearchMode(params, mode)) {
            client.searchMode = mode;
            answer = "255 Search mode set.";
        } else {
            answer = "555 Invalid search mode.";
        }
        break;
    }
    case SiteExtension::Md5Probe:
        sessions_.setSessionAction(&client, saMd5Request);
        answer = "260 MD5 hashing supported";
        break;
    case SiteExtension::Md5Lookup: {
        sessions_.setSessionAction(&client, saMd5Request);
        const std::string digest = digestOf(client, params);
        if (digest.empty()) answer = "556 Illegal MD5 argument file (file resource does not exist).";
        else if (digest == kNoDigest) answer = "456 File has not been indexed yet, please try again later.";
        else answer = "256 " + digest;
        break;
    }
    case SiteExtension::ChangePassword:
        answer = sessions_.changePassword(&client, params) ? "258 Password has been changed."
                                                           : "558 Password cannot be changed.";
        break;
    case SiteExtension::WebLink:
        answer = "256 " + WebLinkReply(client);
        client.webLinkGranted = true;
        break;
    case SiteExtension::None: break;
    }
    return true;
}

// The search lock is the caller's.
void FtpSessionPolicy::Search(serversClientClass& client, const std::string& query)
{
    const std::string account = AccountOf(client);
    SearchLocalIndex(
        index_.localIndexList(), client.searchMode, query,
        [this, &account](const std::string& folder) {
            return accounts_.Folders().CheckFolderPermission(account, folder, "list") &&
                   accounts_.Folders().CheckFolderPermission(account, folder, "CWD");
        },
        client.searchResults);
}

std::string FtpSessionPolicy::digestOf(serversClientClass& client, const std::string& param)
{
    if (IsIllegalDigestArgument(param)) return {};
    std::string path = param;
    if (path.find('/') == std::string::npos) {
        path = "/" + BackslashesToSlashes(client.Directory());
        if (path.back() != '/') path += '/';
        path += param;
    }
    std::string parent = UrlParent(path);
    if (!parent.empty() && parent.front() == '/') parent.erase(0, 1);
    const AccountPtr account = accounts_.FindAccount(AccountOf(client));
    if (!account || parent.empty() ||
        !accounts_.Folders().CheckAccountFolder(*account, SlashesToBackslashes(parent), "get"))
        return std::string(kNoDigest);
    return DigestInIndex(index_.localIndexList(), path);
}

std::string FtpSessionPolicy::WebLinkReply(serversClientClass& client)
{
    std::string scheme, host, path, port;
    SplitUrl(accounts_.Folders().GetWebLink(AccountOf(client), client.Directory()), scheme, host, path, port);
    if (host == "0.0.0.0") ResolveAnyAddress(host);
    return scheme + host + ":" + port + path;
}

}  // namespace corvane
