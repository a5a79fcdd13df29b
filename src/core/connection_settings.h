// The connection settings: section "Connection" of CorvaneServer.ini. The HTTP values choose
// how the program's HTTP client reaches the network operator's services (direct, an HTTP
// proxy, or a SOCKS 4 or 5 proxy); the other values are only kept: read at start and written
// back at the end, so that the file always carries them. Passwords here are plain text.
//
// The server controller owns one (loaded at its start, saved at its end); window thread only.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "common/country_codes.h"
#include "common/ini_image.h"

namespace corvane {

class THttpCli;

inline constexpr std::string_view kConnectionSection = "Connection";
inline constexpr std::string_view kDefaultAsciiTypes =
    "ai c cpp eps fpl h hpp htm html php php3 php4 pl ps rtf rtx txt";
// Where the options dialog downloads the list of P2P networks from, unless the operator sets
// "P2PNetworkListURL" of this section to a service of their own.
inline constexpr std::string_view kDefaultNetworkListUrl = "http://www.brinvale.com/p2pnetworklist.txt";

enum HttpConnectionType { kHttpDirect = 0, kHttpProxy = 1, kHttpSocks4 = 2, kHttpSocks5 = 3 };

struct ConnectionSettings {
    int TimeoutPeriod = 100;
    int KeepAlivePeriod = 0;
    int Attempts = 3;
    int Type = 0;
    std::string ProxyServer;
    int ProxyPort = 0;
    std::string SocksPassword;
    int SocksPort = 0;
    std::string SocksServer;
    std::string SocksUser;
    int Mode = 0;
    bool AlwaysUsePassiveMode = false;
    bool ShowLoadFormDetailsAtStartup = true;
    bool EnableLoadFormClosingAtStartup = false;
    std::string AnonymousPassword = "corvane@example.com";
    int HTTPConnectionType = kHttpDirect;
    std::string HTTPProxyServer;
    int HTTPProxyPort = 0;
    std::string HTTPProxyUser;
    std::string HTTPProxyPassword;
    std::string HTTPSOCKSServer;
    int HTTPSOCKSPort = 0;
    std::string HTTPSOCKSUser;
    std::string HTTPSOCKSPassword;
    std::vector<std::string> ASCIITypes;
    std::string NetworkListURL = std::string(kDefaultNetworkListUrl);

    // The two-letter codes of the options dialog's country list, in its order.
    static const std::array<std::string_view, kCountryCodeCount>& CountryCodes() { return kCountryCodes; }
};

// Reads section "Connection" (missing keys take their defaults; a number that is not one, or
// beyond 32 bits, takes its fallback; a TimeoutPeriod above 10 000 becomes 100).
ConnectionSettings LoadConnectionSettings(const IniImage& image);
// Writes every key in the save order (the image is not saved here).
void SaveConnectionSettings(const ConnectionSettings& settings, IniImage& image);

// "ASCIITypes": the items joined by single blanks, and split back at every blank (two blanks
// give an empty item; a trailing empty item is dropped).
std::string JoinAsciiTypes(const std::vector<std::string>& types);
std::vector<std::string> SplitAsciiTypes(std::string_view text);

// Sets a client's route from the HTTP values: everything reset first, then an HTTP proxy
// (with Basic credentials when a user is set), or a SOCKS 4 or 5 proxy (user-code
// authentication when a SOCKS user is set), or nothing for a direct connection. Window thread
// (the client may belong to another thread that waits meanwhile).
void applyHttpSettings(const ConnectionSettings& settings, THttpCli& client);

// The firewall and proxy tab of the P2P options as the window edits it: the port fields are
// texts (empty when the stored port is 0).
struct HttpProxyTabFields {
    int connectionType = kHttpDirect;  // "Direct", "Proxy", "Socks4", "Socks5"
    std::string proxyServer, proxyPort, proxyUser, proxyPassword;
    std::string socksServer, socksPort, socksUser, socksPassword;
};
HttpProxyTabFields HttpProxyTabOf(const ConnectionSettings& settings);
// "&Apply": the values take effect with the next request series; a port field that is empty
// or not a number stores 0.
void ApplyHttpProxyTab(const HttpProxyTabFields& fields, ConnectionSettings& settings);

}  // namespace corvane
