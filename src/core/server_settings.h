// The server's settings: section "ServerData" of CorvaneServer.ini, and the P2P profile of
// section "Network".
//
// Every value is stored as text (numbers in decimal, booleans "0" or "1"). Reading never fails:
// a missing value, or a number or boolean whose text is not an integer, takes its default, and
// a few values are corrected as they are read (see LoadServerSettings). The window thread owns
// the live copy (the controller's); the server thread receives copies.
#pragma once

#include <cstdint>
#include <string>

#include "common/ini_image.h"
#include "p2p/p2p_network_list.h"

namespace corvane {

inline constexpr std::string_view kServerDataSection = "ServerData";
inline constexpr std::string_view kNetworkSection = kP2PNetworkSection;
inline constexpr std::int64_t kBytesPerMegabyte = 1048576;

struct ServerSettings {
    bool ServerDesiredButNoP2PSharingMode = true;
    int Port = 21;
    bool MD5IndexingEnabled = false;
    int MaximumNumberOfConnections = 64;
    // Seconds a control connection may take to log in before it is closed; 0: no limit. Read
    // only: a file that never names it gets no key for it on save (the image keeps one it has).
    int LoginTimeout = 60;
    // Connections one address may hold before they log in (FTP) or send a whole request header
    // (HTTP); 0: no limit. A request header that arrives slower than WebServerMinHeaderRate bytes
    // a second after its first second is closed; 0: no minimum. Read only, like LoginTimeout.
    int MaxWaitingConnectionsPerAddress = 16;
    int WebServerMinHeaderRate = 64;
    std::string LogFilePath = "c:\\corvaneserver.log";
    bool LoggingToFile = false;
    bool ScreenLoggingEnabled = true;
    std::string BannerFilePath = "Brinvale Corvane FTP Service";  // the banner's text, not a path
    bool BannerFromFile = false;
    bool AfterLoginMessage = false;
    std::string AfterLoginMessageFilePath = "C:\\CorvaneServerLoginMessage.txt";
    bool WebLinkRequired = false;
    std::string WebServerRoot = "C:\\My Downloads";
    int WebServerPort = 80;
    int WebServerConnections = 64;
    std::string WebServerError404Answer;
    std::string WebServerHtmlHeader;
    std::string UserSetServerIP = "0.0.0.0";
    std::string HttpBindAddress = "0.0.0.0";  // always a copy of UserSetServerIP
    bool ServerFirstRun = true;
    bool ManualPASVPortsEnabled = false;
    std::string PASVIP = "0.0.0.0";  // read with UserSetServerIP as its default
    int PASVPortsRangeBegin = 1;
    bool DirectoryCacheEnabled = true;
    bool FileCacheEnabled = true;
    int FileCacheMode = 0;
    std::int64_t CacheSize = 128 * kBytesPerMegabyte;  // bytes; stored in megabytes
    bool CacheAutoRefreshGUI = false;
    bool RunWebServerNextTime = false;
    // FTPS. The certificate (a chain may follow it) and its private key, PEM files named by
    // host paths; empty: CorvaneServer.crt and CorvaneServer.key in the home, made as a
    // self-signed pair on the first start that finds neither. "TLS required for logins with a
    // password": USER of any account but the anonymous one needs AUTH TLS first, whenever a
    // certificate is in use. Saved only once changed from their defaults or named by the file
    // (SaveTlsSettings), so a file that never named them is written back as it was.
    std::string TlsCertificateFile;
    std::string TlsKeyFile;
    bool TlsRequiredForPasswordLogins = true;
    // HTTPS: the web server's second port, with the same certificate; 0: none. With
    // WebServerRedirectToHttps, plain requests are sent to the same path over HTTPS. Saved as
    // the TLS keys are.
    int WebServerHttpsPort = 0;
    bool WebServerRedirectToHttps = false;
    // Protection against password guessing: LoginBanFailures failed logins from one address
    // within LoginBanWindow seconds ban it for LoginBanSeconds (0 failures: no bans); loopback
    // addresses and, in the allow-list mode of the IP rules, the listed ones can be exempt.
    // New passwords are hashed with PasswordHashPasses passes over PasswordHashMemoryKiB. Read
    // only, like LoginTimeout.
    // The per-address connection limit counts a whole IPv6 /64 as one address (read only).
    bool IPv6PrefixAsOneAddress = false;
    int LoginBanFailures = 10;
    int LoginBanWindow = 600;
    int LoginBanSeconds = 900;
    bool LoginBanExemptLoopback = true;
    bool LoginBanExemptAllowList = false;
    int PasswordHashPasses = 2;
    int PasswordHashMemoryKiB = 64 * 1024;
};

// The P2P profile; ConType is a number kept as its text.
struct NetworkProfile {
    std::string Email;
    std::string Zipcode;
    std::string Country;
    std::string ConType = "0";
};

// Reads section "ServerData" in the settings table's order. Corrections: a Port of 0 or above
// 32275 becomes 21; a MaximumNumberOfConnections below 4 or above 256 becomes 64; CacheSize is
// read in megabytes and held in bytes (a negative size takes the default); the HTTP bind
// address copies UserSetServerIP.
ServerSettings LoadServerSettings(const IniImage& image);
// Writes every value of section "ServerData" in the system's save order (the image is not saved).
void SaveServerSettings(const ServerSettings& settings, IniImage& image);
void SaveTlsSettings(const ServerSettings& settings, IniImage& image);

// Reads "Country", "Zipcode", "Email", "ConType" of section "Network" (in that order).
NetworkProfile LoadNetworkProfile(const IniImage& image);
// Writes "Email", "Zipcode", "Country", "ConType" (in that order).
void SaveNetworkProfile(const NetworkProfile& profile, IniImage& image);

// The FTP port as the options window corrects it: not a number → 21; 0 or above 65535 → 21.
int CorrectedDialogPort(const std::string& text);

}  // namespace corvane
