#include "core/web_request_policy.h"

#include <sstream>

#include "accounts/permissions.h"
#include "common/constants.h"
#include "common/file_queries.h"
#include "common/ip_text.h"
#include "common/path_text.h"
#include "common/program_folder.h"
#include "common/url_text.h"
#include "core/ftp_server_thread.h"
#include "core/log_lines.h"
#include "http/html_folder.h"
#include "platform/drive_map.h"
#include "platform/executable_folder.h"
#include "platform/file_stream.h"
#include "platform/fs.h"
#include "platform/local_time_text.h"

namespace corvane {
namespace {

constexpr const char* kIconNames[] = {"folder.gif", "binary.gif", "image.gif", "movie.gif", "sound.gif", "text.gif"};

// A Host header that can go into a URL as it is: a name or address and a port, nothing that
// could end the attribute or the header it is written into.
bool IsPlainHost(const std::string& host)
{
    if (host.empty() || host.size() > 255) return false;
    for (char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                        c == '-' || c == ':' || c == '[' || c == ']' || c == '_';
        if (!ok) return false;
    }
    return true;
}

// A request path as it goes into a link or a Location header: what would end the quoted text or
// open markup is percent-encoded.
std::string QuotablePath(const std::string& path)
{
    std::string out;
    for (char c : path) {
        switch (c) {
        case '"': out += "%22"; break;
        case '<': out += "%3C"; break;
        case '>': out += "%3E"; break;
        case ' ': out += "%20"; break;
        default: out += c;
        }
    }
    return out;
}

// The whole content of a file named by a setting: a real path (C:\...), or else a host path.
std::string SettingFileContent(const std::string& name)
{
    if (name.empty()) return std::string();
    FileStream file;
    if (!file.OpenReal(name, FileStream::Mode::Read) && !file.OpenHost(name, FileStream::Mode::Read))
        return std::string();
    std::string content;
    char buffer[16384];
    for (;;) {
        const std::int64_t got = file.Read(buffer, sizeof buffer);
        if (got <= 0) break;
        content.append(buffer, static_cast<std::size_t>(got));
    }
    return content;
}

}  // namespace

WebRequestPolicy::WebRequestPolicy(ftpServerThread& thread, permissionsClass& accounts)
    : cache_(thread.cacheHooks()),
      handOff_(thread.handOff()),
      accounts_(accounts),
      bans_(thread.loginBans()),
      logTime_(static_cast<PerSecondText::Format>(LocalDateTimeText)),
      lookups_([this](long long number, int, const std::string& outcome) { PeerNamed(number, outcome); },
               [this](const std::string& line) { handOff_.log(line); })
{}

void WebRequestPolicy::SetSettings(const WebSettings& settings)
{
    settings_ = settings;
    settings_.root = RemoveTrailingBackslash(FullRealPath(settings.root));
}

void WebRequestPolicy::Wire(THttpServer& server)
{
    server_ = &server;
    server.ClientClass = [this] {
        auto client = std::make_unique<httpServersClientClass>();
        client->SetNumber(++lastConnectionNumber_);
        client->OnBodyFinished = [this](httpServersClientClass& c) { BodyFinished(c); };
        return client;
    };
    server.OnClientConnect = [this](THttpServer* sender, THttpConnection* client, std::uint16_t) {
        ClientConnect(*sender, static_cast<httpServersClientClass&>(*client));
    };
    server.OnClientDisconnect = [this](THttpServer*, THttpConnection* client, std::uint16_t error) {
        ClientDisconnect(static_cast<httpServersClientClass&>(*client), error);
    };
    server.OnGetDocument = [this](THttpServer*, THttpConnection* client, THttpGetFlag& flags) {
        GetDocument(static_cast<httpServersClientClass&>(*client), flags);
    };
    server.OnHeadDocument = [this](THttpServer*, THttpConnection* client, THttpGetFlag& flags) {
        HeadDocument(static_cast<httpServersClientClass&>(*client), flags);
    };
}

// Nothing is looked up for a log that nobody reads; a name not known yet is looked up and the
// line waits for it, while the handler goes on.
void WebRequestPolicy::LogAbout(httpServersClientClass& client, const PeerLookups::PeerLine& line)
{
    if (!handOff_.logWanted()) return;
    lookups_.WriteAbout(client.Number(), client.PeerAddr(), client.PeerPort(), accounts_.IpRules().GetReverseDnsCheck(),
                        client.RememberedHostName(), line);
}

// With reverse DNS on, the decision waits for the browser's name without holding up anyone: the
// connection is paused (its requests wait in the stack) and the handler returns.
void WebRequestPolicy::ClientConnect(THttpServer& server, httpServersClientClass& client)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (!Admit(server, client)) return;
    if (accounts_.IpRules().GetReverseDnsCheck() && client.RememberedHostName().empty()) {
        client.Pause();
        if (lookups_.Start(client.Number(), client.PeerAddr())) {
            decisionsWaiting_.insert(client.Number());
            return;
        }
        client.Resume();
    }
    DecideConnection(client);
}

httpServersClientClass* WebRequestPolicy::FindClient(long long number) const
{
    return server_ == nullptr ? nullptr : static_cast<httpServersClientClass*>(server_->ClientByNumber(number));
}

void WebRequestPolicy::PeerNamed(long long number, const std::string& outcome)
{
    const bool deciding = decisionsWaiting_.erase(number) != 0;
    // The browser may have gone meanwhile, or the service stopped.
    httpServersClientClass* client = FindClient(number);
    if (client == nullptr) return;
    client->RememberHostName(outcome);
    if (!deciding) return;
    client->Resume();
    DecideConnection(*client);
}

void WebRequestPolicy::DecideConnection(httpServersClientClass& client)
{
    const bool banned = bans_.Banned(client.PeerAddr(), LoginBanBook::Clock::now());
    const bool allowed = !banned && accounts_.IpRules().CheckClientAddress(client.PeerAddr(), 1, [&client] {
        return client.RememberedHostName();
    });
    if (allowed) {
        LogAbout(client, HttpConnectedLine);
        return;
    }
    client.SendLastStr(kForbiddenIpPage);
    LogAbout(client, banned ? RefusedWhileBannedLine : HttpRefusedLine);
    client.CloseAfterSending();
}

bool WebRequestPolicy::IsInsideRoot(const std::string& document) const
{
    return IsInsideFolder(document, settings_.root);
}

void WebRequestPolicy::LogRequest(httpServersClientClass& client)
{
    if (!handOff_.logWanted()) return;
    handOff_.log(
        HttpRequestLine(client.RequestMethod, client.Path, client.LocalAddress(), client.PeerAddr(), logTime_.Now()));
}

// A HEAD is answered as the GET of the same path would be, by the same decisions, without the
// body: the file's header, the redirect, the listing's or the 404 page's status and length. It
// is decided without the cache, so that it never changes the cache's figures; a listing is made
// afresh for its length.
void WebRequestPolicy::HeadDocument(httpServersClientClass& client, THttpGetFlag& flags)
{
    AnswerRequest(client, flags, true);
}

void WebRequestPolicy::GetDocument(httpServersClientClass& client, THttpGetFlag& flags)
{
    AnswerRequest(client, flags, false);
}

void WebRequestPolicy::ResetCacheUse(httpServersClientClass& client, bool failed)
{
    if (client.Answer().CachedCopy.Lease().Open() || client.Answer().CachedCopy.InUse())
        cache_.TransferDone(client, failed);
}

void WebRequestPolicy::AnswerRequest(httpServersClientClass& client, THttpGetFlag& flags, bool head)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    // A whole header has come: the connection has earned its slot and no longer counts against
    // its address's waiting connections.
    waiting_.Remove(client.Number());
    LogRequest(client);
    ResetCacheUse(client);
    client.StartAnswer(head);
    if (RedirectedToHttps(client, flags)) return;
    if (!IsInsideRoot(client.Document)) {
        Answer404Page(client, flags);
        return;
    }
    // From here on the document is named in its full form, so that what the file system opens
    // is exactly what the inside test saw.
    const std::string document = FullRealPath(client.Document);
    // A file the cache holds is sent from memory without opening it; otherwise opening the
    // document tells a file (opened, and then sent) from a folder.
    OpenCachedCopy(client, document, true);
    if (client.Answer().CachedCopy.Serves()) {
        client.Document = document;
        return;
    }
    FileStream file;
    if (file.OpenReal(document, FileStream::Mode::Read)) {
        client.Document = document;
        // A HEAD's header is the engine's own, from the file's size and time.
        if (!head) client.UseDocumentFile(std::move(file));
        return;
    }
    // Gone since the lookup (or a folder): no page of another kind may fill the file's copy.
    ResetCacheUse(client, true);
    if (fs::LastFsError() == fs::FsError::IsAFolder) {
        AnswerFolder(client, document, flags);
    } else {
        Answer404Page(client, flags);
    }
}

void WebRequestPolicy::OpenCachedCopy(httpServersClientClass& client, const std::string& key, bool document)
{
    if (!client.Answer().WithoutCache) cache_.OpenCachedFile(key, client, document);
}

void WebRequestPolicy::AnswerFolder(httpServersClientClass& client, const std::string& folder, THttpGetFlag& flags)
{
    if (!NamesFolderItself(client)) {
        flags = hgWillSendMySelf;
        AnswerRedirect(client);
        return;
    }
    const std::string index = AddTrailingBackslash(folder) + "index.htm";
    if (fs::RealFileExists(index)) {
        client.Document = index;
        OpenCachedCopy(client, index, false);
        return;  // the engine sends the document
    }
    flags = hgWillSendMySelf;
    AnswerListing(client, folder);
}

// The page is made whole in memory either way, so its cache use ends here: a page from the
// cache is copied out, a new page is copied in whole (whether or not the browser reads it all).
void WebRequestPolicy::AnswerListing(httpServersClientClass& client, const std::string& folder)
{
    OpenCachedCopy(client, JoinPath(folder, kListingMarker), false);
    std::shared_ptr<std::stringstream> page;
    CacheTransfer& copy = client.Answer().CachedCopy;
    if (copy.Serves()) {
        page = std::make_shared<std::stringstream>();
        copy.Copy()->clear();
        copy.Copy()->seekg(0);
        *page << copy.Copy()->rdbuf();
    } else {
        page = NewListing(client, folder);
        if (copy.Fills()) {
            const std::string text = page->str();
            copy.Copy()->clear();
            copy.Copy()->seekp(0);
            copy.Copy()->write(text.data(), static_cast<std::streamsize>(text.size()));
            copy.StartFillAt(0);
            copy.Advance(static_cast<std::int64_t>(text.size()));
        }
    }
    cache_.TransferDone(client, false);
    client.DocumentStream = page;
    client.AnswerStream("200 OK", "text/html");
}

std::shared_ptr<std::stringstream> WebRequestPolicy::NewListing(const httpServersClientClass& client,
                                                                 const std::string& folder) const
{
    auto page = std::make_shared<std::stringstream>();
    BuildHTMLFolder(*page, client.Path, RemoveTrailingBackslash(folder), SettingFileContent(settings_.error404File),
                    std::string(), std::string(), settings_.htmlHeader, 63,
                    dhtml_Parent | dhtml_SubFolders | dhtml_LongDate, shtml_FileName, 28);
    return page;
}

bool WebRequestPolicy::NamesFolderItself(const httpServersClientClass& client)
{
    return !client.Path.empty() && client.Path.back() == '/';
}

std::string WebRequestPolicy::RedirectHost(const httpServersClientClass& client) const
{
    if (IsPlainHost(client.HeaderHost)) return client.HeaderHost;
    std::string address = settings_.bindAddress;
    if (address.empty()) address = "0.0.0.0";
    ResolveAnyAddress(address);
    if (settings_.port != 80) return HostPortText(address, settings_.port);
    return UrlHost(address);
}

void WebRequestPolicy::AnswerRedirect(httpServersClientClass& client)
{
    const std::string path = QuotablePath(StripLeadingSlash(AddTrailingSlash(client.Path)));
    // A folder asked for over HTTPS stays on HTTPS.
    const char* scheme = client.SecureChannel() != nullptr ? "https://" : "http://";
    AnswerMoved(client, scheme + RedirectHost(client) + "/" + path);
}

bool WebRequestPolicy::RedirectedToHttps(httpServersClientClass& client, THttpGetFlag& flags)
{
    if (!settings_.redirectToHttps || settings_.httpsPort <= 0 || client.SecureChannel() != nullptr) return false;
    std::string host = RedirectHost(client);
    // The host without its port ("[::1]:8080" keeps its brackets), then the HTTPS one.
    if (const std::size_t colon = host.rfind(':');
        colon != std::string::npos && host.find(']', colon) == std::string::npos)
        host.resize(colon);
    std::string target = "https://" + host;
    if (settings_.httpsPort != 443) target += ":" + std::to_string(settings_.httpsPort);
    target += "/" + QuotablePath(StripLeadingSlash(client.Path));
    if (!client.Params.empty()) target += "?" + QuotablePath(client.Params);
    flags = hgWillSendMySelf;
    AnswerMoved(client, target);
    return true;
}

void WebRequestPolicy::AnswerMoved(httpServersClientClass& client, const std::string& target)
{
    auto page = std::make_shared<std::stringstream>();
    *page << "<HTML><HEAD><meta http-equiv=\"Refresh\" content=\"0;URL=" << target << "\"></HEAD><BODY></BODY></HTML>";
    client.DocumentStream = page;
    client.AnswerStream("301 Moved Permanently", "text/html", "Location: " + target + "\r\n");
}

void WebRequestPolicy::Answer404Page(httpServersClientClass& client, THttpGetFlag& flags)
{
    flags = hgWillSendMySelf;
    auto page = std::make_shared<std::stringstream>(SettingFileContent(settings_.error404File));
    client.DocumentStream = page;
    client.AnswerStream("404 Not Found", "text/html");
}

void WebRequestPolicy::BodyFinished(httpServersClientClass& client)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (client.Answer().WithoutCache || !client.Answer().CachedCopy.Lease().Open()) return;
    cache_.TransferDone(client, false);
    cache_.Changed();
}

void WebRequestPolicy::ClientDisconnect(httpServersClientClass& client, std::uint16_t error)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (!client.Answer().WithoutCache) cache_.TransferDone(client, error != 0);
    cache_.Changed();
    if (client.BodyBytesSent() > 0) handOff_.addHttpBytes(static_cast<std::uint64_t>(client.BodyBytesSent()));
    // The connection is destroyed only after this handler: it is here throughout.
    LogAbout(client, HttpDisconnectedLine);
    waiting_.Remove(client.Number());
}

void InstallListingIcons(const std::string& webRoot)
{
    const std::string homeImages = ProgramFolder() + "images/";
    const std::string shipped = ShippedDataFolder() + "/images/";
    fs::MakeHostFolders(homeImages);
    const std::string target = AddTrailingBackslash(webRoot) + "images";
    fs::ForceRealFolders(target);
    const auto targetHost = DriveMap::HostPathOf(target);
    for (const char* icon : kIconNames) {
        if (!fs::HostFileExists(homeImages + icon) && fs::HostFileExists(shipped + icon))
            fs::CopyHostFile(shipped + icon, homeImages + icon, false);
        // Stored under its own name in lower case: this host tells folder.GIF from the
        // /images/folder.gif that the listing pages ask for.
        if (targetHost && fs::HostFileExists(homeImages + icon))
            fs::CopyHostFile(homeImages + icon, *targetHost + "/" + icon, true);
    }
}

}  // namespace corvane
