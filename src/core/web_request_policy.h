// WebRequestPolicy: what the server decides on each event of its web server — whether a
// browser may connect at all (the IP rules), which document answers a GET or HEAD, when a folder
// is answered by its index.htm, by a generated listing or by a redirect, what a missing document
// looks like, and the log line of each event. Every allowed address may read every file under
// the document root and nothing outside it. Server thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <unordered_set>

#include "common/per_second_text.h"
#include "common/thread_owner.h"
#include "core/admission_queue.h"
#include "core/peer_lookups.h"
#include "http/http_servers_client.h"
#include "http/http_server.h"

namespace corvane {

class CacheHooks;
class ServerHandOff;
class LoginBanBook;
class ftpServerThread;
class permissionsClass;

// Sent raw (no status line, no header) to an address the IP rules refuse.
inline constexpr const char* kForbiddenIpPage =
    "<HTML><HEAD><TITLE>403 Forbidden</TITLE></HEAD><BODY><H1>Forbidden IP</H1>Due to IP/DNS blocking rules in "
    "place in this server, you are forbidden to access the page.<P></BODY></HTML>";

// The web settings copied at each HTTP start.
struct WebSettings {
    std::string root;          // WebServerRoot, a real path (its full form is taken at SetSettings)
    std::string error404File;  // WebServerError404Answer
    std::string htmlHeader;    // WebServerHtmlHeader
    std::string bindAddress;   // UserSetServerIP
    int port = 80;             // WebServerPort
    int httpsPort = 0;         // WebServerHttpsPort; 0: no HTTPS
    bool redirectToHttps = false;  // WebServerRedirectToHttps
};

class WebRequestPolicy {
public:
    WebRequestPolicy(ftpServerThread& thread, permissionsClass& accounts);

    // Makes httpServersClientClass the engine's connection class and attaches the handlers.
    void Wire(THttpServer& server);
    // The root is kept in its full form without a final "\", as the inside test compares it: a
    // root given as "C:\" (a whole drive) or "C:\Pub\..\Web\" serves what lies under it.
    void SetSettings(const WebSettings& settings);
    const WebSettings& Settings() const { return settings_; }

    // ---- The handlers (public for tests that drive them without a network) ----
    void ClientConnect(THttpServer& server, httpServersClientClass& client);
    void GetDocument(httpServersClientClass& client, THttpGetFlag& flags);
    void HeadDocument(httpServersClientClass& client, THttpGetFlag& flags);
    void ClientDisconnect(httpServersClientClass& client, std::uint16_t error);
    // A response's body has ended: its use of the cache ends with it.
    void BodyFinished(httpServersClientClass& client);

    // Whether a document lies inside the document root (the root itself as root + "\").
    bool IsInsideRoot(const std::string& document) const;
    // The address a redirect names: the Host the browser used, else the bind address (the first
    // local address for 0.0.0.0) with ":" and the port when it is not 80.
    std::string RedirectHost(const httpServersClientClass& client) const;
    // Writes a line that names the browser (with its host name when reverse DNS is on: one not
    // known yet is looked up, and the line waits for it without holding up the caller).
    void LogAbout(httpServersClientClass& client, const PeerLookups::PeerLine& line);

    // Connections one address may hold before their request header is whole; 0: no limit.
    void SetMaxWaitingPerAddress(int count) { maxWaitingPerAddress_ = count; }

private:
    void DecideConnection(httpServersClientClass& client);
    // At accept: refuses the browser when its address holds too many connections that have not
    // sent a whole header, and closes the eldest such connection when every slot is taken.
    // False when the browser was refused.
    bool Admit(THttpServer& server, httpServersClientClass& client);
    // Closes the eldest connection still waiting for its header, if it has waited long enough.
    void EvictEldestWaiting(THttpServer& server);
    void PeerNamed(long long number, const std::string& outcome);
    httpServersClientClass* FindClient(long long number) const;
    // GET and HEAD: one decision for both; a HEAD keeps the cache out of it.
    void AnswerRequest(httpServersClientClass& client, THttpGetFlag& flags, bool head);
    // The cache's copy for the answer, unless the answer is kept from the cache.
    void OpenCachedCopy(httpServersClientClass& client, const std::string& key, bool document);
    void AnswerFolder(httpServersClientClass& client, const std::string& folder, THttpGetFlag& flags);
    void AnswerListing(httpServersClientClass& client, const std::string& folder);
    // The listing page of a folder, made now.
    std::shared_ptr<std::stringstream> NewListing(const httpServersClientClass& client,
                                                  const std::string& folder) const;
    // Whether the request named a folder with its final "/" (else it is redirected there).
    static bool NamesFolderItself(const httpServersClientClass& client);
    // A request starts with no cache use of the one before on the same connection.
    void ResetCacheUse(httpServersClientClass& client, bool failed = false);
    void AnswerRedirect(httpServersClientClass& client);
    // With the redirect to HTTPS on, a plain request is answered by the same URL over HTTPS.
    bool RedirectedToHttps(httpServersClientClass& client, THttpGetFlag& flags);
    void AnswerMoved(httpServersClientClass& client, const std::string& target);
    void Answer404Page(httpServersClientClass& client, THttpGetFlag& flags);
    void LogRequest(httpServersClientClass& client);

    CacheHooks& cache_;
    ServerHandOff& handOff_;  // the thread's part the handlers talk to
    permissionsClass& accounts_;
    LoginBanBook& bans_;  // the thread's: an address banned for guessing passwords is refused here too
    WebSettings settings_;
    PerSecondText logTime_;  // the time in request lines
    ThreadOwner owner_;      // the server thread, which makes the policy at each HTTP start
    THttpServer* server_ = nullptr;
    long long lastConnectionNumber_ = 0;
    PeerLookups lookups_;                             // by connection number
    std::unordered_set<long long> decisionsWaiting_;  // connect decisions waiting for a lookup
    int maxWaitingPerAddress_ = 16;
    AdmissionQueue waiting_;  // connections not past their first request header, by number
};

// Copies the six listing icons into the "images" folder of the document root (a real path),
// overwriting; the icons come from the home's "images" folder, which gets them from the folder
// the program was installed with when it lacks them.
void InstallListingIcons(const std::string& webRoot);

}  // namespace corvane
