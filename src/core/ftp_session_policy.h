// FtpSessionPolicy: what the server decides on each FTP engine event — who may connect and log
// in, where a user may go and what a user may read, write, delete or rename, how much a user
// may download against what the user uploaded, when an idle session is dropped — and the log
// line each event writes. Server thread only; the account store answers the questions.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>

#include "common/thread_owner.h"
#include "core/login_ban_book.h"
#include "core/password_check_worker.h"
#include "core/peer_lookups.h"
#include "core/servers_client.h"
#include "ftp/ftp_mlsx_facts.h"

namespace corvane {

class AfterLoginSettings;
class DnsLookupRequest;
class ServerHandOff;
class SessionBook;
class SharedIndex;
class SocketHome;
class TFtpServer;
class CacheHooks;
class ftpServerThread;
class permissionsClass;

// The tag of the folder under which a client's SITE SRCH results are listed.
inline constexpr std::string_view kSearchResultsTag = "<DravikSearchResults>";

inline constexpr const char* kIpRefusedLine = "421 Connection not allowed from this IP.\r\n";
inline constexpr const char* kLoginTimeoutLine =
    "421 No login within the time allowed: closing control connection.\r\n";
inline constexpr const char* kTooManyForAccount = "530 Maximum number of users for this account has been exceeded.";
inline constexpr const char* kBannedLine = "421 Too many failed logins; try again later.\r\n";
inline constexpr const char* kNoHomePath = "530 No home path exist for this account or its group; cannot log in.";

// Where the name of a listing command begins: leading words that start with "-" are the
// client's options (LIST -la, LIST -a sub), not names.
std::size_t ListingNameStart(const std::string& params);

// A search-results listing line in the form of a machine listing (MLSD): its type, its size
// and its virtual path; empty for a line of another form.
std::string MachineSearchResultLine(const std::string& listingLine);

class FtpSessionPolicy {
public:
    FtpSessionPolicy(ftpServerThread& thread, permissionsClass& accounts);
    ~FtpSessionPolicy();
    FtpSessionPolicy(const FtpSessionPolicy&) = delete;
    FtpSessionPolicy& operator=(const FtpSessionPolicy&) = delete;

    // Makes serversClientClass the engine's client class and attaches every handler.
    void Wire(TFtpServer& server);

    // Disconnects every client silent for longer than its account's idle timeout, and every
    // connection that has not logged in within the login time limit (with kLoginTimeoutLine).
    void IdleCheck(TFtpServer& server);
    // Seconds a connection may take to log in; 0: no limit.
    void SetLoginTimeout(int seconds) { loginTimeoutSeconds_ = seconds; }
    // The ban rules of the settings.
    void ApplyLoginSettings(const LoginBanRules& rules, bool exemptAllowList);

    // ---- The handlers (public for tests that drive them without a network) ----
    void ClientConnect(TFtpServer& server, serversClientClass& client);
    void Authenticate(serversClientClass& client, const std::string& user, const std::string& password,
                      bool& authenticated, std::string& answer);
    void ClientCommand(serversClientClass& client, std::string& keyword, std::string& params, std::string& answer);
    void AnswerToClient(serversClientClass& client, std::string& answer);
    void ChangeDirectory(serversClientClass& client, std::string& directory, bool& allowed);
    void MakeDirectory(serversClientClass& client, const std::string& directory, bool& allowed);
    void BuildDirectory(serversClientClass& client, std::string& directory, bool detailed = true);
    void ValidateGet(serversClientClass& client, const std::string& filePath, bool& allowed);
    void ValidatePut(serversClientClass& client, const std::string& filePath, bool& allowed);
    void ValidateSize(serversClientClass& client, const std::string& filePath, bool& allowed);
    void ValidateDele(serversClientClass& client, const std::string& filePath, bool& allowed);
    void ValidateRmd(serversClientClass& client, const std::string& folderPath, bool& allowed);
    void ValidateRnFr(serversClientClass& client, const std::string& path, bool& allowed);
    void ValidateRnTo(serversClientClass& client, const std::string& path, bool& allowed);
    // MLST shows what a listing would show: entries inside the home, in folders the account
    // may list (or download from), not hidden, never the search results; and the folders on
    // the way down to the home.
    void ValidateMlst(serversClientClass& client, const std::string& path, bool& allowed);
    // MFMT needs what an upload of the file would need: "put" in its folder.
    void ValidateMfmt(serversClientClass& client, const std::string& filePath, bool& allowed);
    // The account's rights in a folder, for the perm facts of MLSD and MLST. A folder on the
    // way down to the home may be entered, as CWD allows.
    void FolderRights(serversClientClass& client, const std::string& folder, TFtpFolderRights& rights);
    void RetrSessionConnected(serversClientClass& client, std::uint16_t error);
    void RetrDataSent(serversClientClass& client, std::uint16_t error);
    void RetrSessionClosed(serversClientClass& client, std::uint16_t error);
    // A listing that failed before sending: its retrieval ends as failed (error 10000).
    void TransferFailedBeforeSending(serversClientClass& client);
    void StorSessionConnected(serversClientClass& client, std::uint16_t error);
    void StorDataAvailable(serversClientClass& client, std::uint16_t error);
    void StorSessionClosed(serversClientClass& client, std::uint16_t error);
    void ClientDisconnect(serversClientClass& client);

    // Writes a log line that names the client (with its host name when reverse DNS is on: a
    // name not known yet is looked up, and the line waits for it without holding up the caller).
    void LogAbout(serversClientClass& client, const PeerLookups::PeerLine& line);

    // The download credit rule: passes when the ratio is 0 or credit + cost (size × ratio,
    // negated and truncated) is not negative.
    static bool CreditAllows(std::int64_t credit, float ratio, std::int64_t size);

    // The largest block of a download held to rateKb KB/s (0: no limit, the engine's block).
    static int ThrottledBlockSize(long long rateKb);

    // SITE SRCHMODE's test of its parameter, and the mode it sets when it passes.
    static bool AcceptSearchMode(const std::string& params, std::int32_t& mode);
    // The digest SITE MD5 answers for a path: 32 digits, 32 zeros when the file is not indexed
    // or the account may not download it, empty when the text can name no file.
    std::string digestOf(serversClientClass& client, const std::string& param);

private:
    ThreadOwner owner_;  // the server thread, which makes the policy at each FTP start
    void DecideConnection(TFtpServer& server, serversClientClass& client);
    void StartConnectLookup(TFtpServer& server, serversClientClass& client);
    void PeerNamed(long long clientNumber, int error, const std::string& outcome);
    std::string AccountOf(serversClientClass& client) const;
    bool Allowed(serversClientClass& client, const std::string& folder, const char* op) const;
    // The folder's entries are about to change through this server: its cached listings go.
    void ListingsChange(const std::string& folder);
    bool LeadsToHome(serversClientClass& client, const std::string& folder) const;
    bool MayDescribe(serversClientClass& client, const std::string& filePath) const;
    void RefuseHiddenFileTime(serversClientClass& client, const std::string& params, std::string& answer) const;
    void GiveBackConnection(const std::string& user, const std::string& address);
    // The login's end once the password has been checked (the connection may have gone).
    void PasswordChecked(long long clientNumber, const std::string& user, PasswordVerdict verdict);
    void AdmitLogin(serversClientClass& client, const std::string& user, bool& authenticated, std::string& answer);
    void RefuseLogin(serversClientClass& client, const std::string& user, PasswordVerdict verdict);
    // Sends kBannedLine and closes the connection.
    void CloseBanned(serversClientClass& client);
    bool RefusedAsBanned(serversClientClass& client);
    void RefuseForCredit(serversClientClass& client, float ratio);
    void ListSearchResults(serversClientClass& client);
    void ServeOwnListing(serversClientClass& client, const std::string& text);
    std::string WayToHomeListing(serversClientClass& client, const std::string& folder, const std::string& pattern,
                                 const std::string& home, bool detailed);
    bool InsideHome(serversClientClass& client, const std::string& folder) const;
    void ComputeThrottlePause(serversClientClass& client);
    // Recognises a SITE extension (or one of those that need no SITE) and answers it; false for
    // any other command, whose SITE word then stands as its keyword.
    bool SiteCommand(serversClientClass& client, std::string& keyword, std::string& params, std::string& answer);
    void Search(serversClientClass& client, const std::string& query);
    std::string WebLinkReply(serversClientClass& client);

    CacheHooks& cache_;
    // The thread's parts the handlers talk to.
    ServerHandOff& handOff_;
    SessionBook& sessions_;
    SharedIndex& index_;
    const AfterLoginSettings& afterLogin_;
    permissionsClass& accounts_;
    TFtpServer* server_ = nullptr;
    int loginTimeoutSeconds_ = 60;
    PeerLookups lookups_;                             // by client number
    std::unordered_set<long long> decisionsWaiting_;  // connect decisions waiting for a lookup
    LoginBanBook& bans_;                              // the thread's: it outlives the service
    std::function<void()> bansChanged_;
    PasswordCheckWorker checks_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // for the failed logins' pauses
};

}  // namespace corvane
