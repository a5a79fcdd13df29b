#include "core/connection_settings.h"

#include "common/decimal_text.h"
#include "net/http_cli.h"

namespace corvane {
namespace {

// The stored text (or `missing` when there is none), as an int32; `fallback` when that text is
// not a number within 32 bits.
int ReadNumber(const IniImage& image, std::string_view key, std::string_view missing, int fallback)
{
    return ParseInt32(image.ReadString(kConnectionSection, key, missing)).value_or(fallback);
}

std::string ReadText(const IniImage& image, std::string_view key, std::string_view missing)
{
    return image.ReadString(kConnectionSection, key, missing);
}

int PortOfField(const std::string& text) { return ParseInt32(text).value_or(0); }

std::string FieldOfPort(int port) { return port == 0 ? std::string() : std::to_string(port); }

}  // namespace

std::string JoinAsciiTypes(const std::vector<std::string>& types)
{
    std::string text;
    for (std::size_t i = 0; i < types.size(); ++i) text += (i == 0 ? "" : " ") + types[i];
    return text;
}

std::vector<std::string> SplitAsciiTypes(std::string_view text)
{
    std::vector<std::string> types;
    std::size_t start = 0;
    for (;;) {
        const std::size_t blank = text.find(' ', start);
        types.emplace_back(
            text.substr(start, blank == std::string_view::npos ? std::string_view::npos : blank - start));
        if (blank == std::string_view::npos) break;
        start = blank + 1;
    }
    if (types.back().empty()) types.pop_back();
    return types;
}

ConnectionSettings LoadConnectionSettings(const IniImage& image)
{
    ConnectionSettings s;
    s.ASCIITypes = SplitAsciiTypes(ReadText(image, "ASCIITypes", kDefaultAsciiTypes));
    s.TimeoutPeriod = ReadNumber(image, "TimeoutPeriod", "100", 100);
    if (s.TimeoutPeriod > 10000) s.TimeoutPeriod = 100;
    s.KeepAlivePeriod = ReadNumber(image, "KeepAlivePeriod", "0", 0);
    s.Attempts = ReadNumber(image, "Attempts", "3", 3);
    s.Type = ReadNumber(image, "Type", "0", 0);
    s.ProxyServer = ReadText(image, "ProxyServer", "");
    s.ProxyPort = ReadNumber(image, "ProxyPort", "0", 0);
    s.SocksPassword = ReadText(image, "SocksPassword", "");
    s.SocksPort = ReadNumber(image, "SocksPort", "0", 0);
    s.SocksServer = ReadText(image, "SocksServer", "");
    s.SocksUser = ReadText(image, "SocksUser", "");
    s.Mode = ReadNumber(image, "Mode", "0", 0);
    s.AlwaysUsePassiveMode = ReadNumber(image, "AlwaysUsePassiveMode", "0", 0) != 0;
    s.ShowLoadFormDetailsAtStartup = ReadNumber(image, "ShowLoadFormDetailsAtStartup", "1", 1) != 0;
    s.EnableLoadFormClosingAtStartup = ReadNumber(image, "EnableLoadFormClosingAtStartup", "0", 0) != 0;
    s.AnonymousPassword = ReadText(image, "AnonymousPassword", ConnectionSettings().AnonymousPassword);
    s.HTTPConnectionType = ReadNumber(image, "HTTPConnectionType", "0", 0);
    s.HTTPProxyServer = ReadText(image, "HTTPProxyServer", "");
    s.HTTPProxyPort = ReadNumber(image, "HTTPProxyPort", "0", 0);
    s.HTTPProxyUser = ReadText(image, "HTTPProxyUser", "");
    s.HTTPProxyPassword = ReadText(image, "HTTPProxyPassword", "");
    s.HTTPSOCKSServer = ReadText(image, "HTTPSOCKSServer", "");
    s.HTTPSOCKSPort = ReadNumber(image, "HTTPSOCKSPort", "0", 0);
    s.HTTPSOCKSUser = ReadText(image, "HTTPSOCKSUser", "");
    s.HTTPSOCKSPassword = ReadText(image, "HTTPSOCKSPassword", "");
    s.NetworkListURL = ReadText(image, "P2PNetworkListURL", kDefaultNetworkListUrl);
    return s;
}

void SaveConnectionSettings(const ConnectionSettings& s, IniImage& image)
{
    const auto text = [&image](std::string_view key, std::string_view value) {
        image.WriteString(kConnectionSection, key, value);
    };
    const auto number = [&image](std::string_view key, long long value) {
        image.WriteInteger(kConnectionSection, key, value);
    };
    const auto flag = [&image](std::string_view key, bool value) { image.WriteBool(kConnectionSection, key, value); };
    number("TimeoutPeriod", s.TimeoutPeriod);
    number("KeepAlivePeriod", s.KeepAlivePeriod);
    number("Attempts", s.Attempts);
    number("Type", s.Type);
    text("ProxyServer", s.ProxyServer);
    number("ProxyPort", s.ProxyPort);
    text("SocksPassword", s.SocksPassword);
    number("SocksPort", s.SocksPort);
    text("SocksUser", s.SocksUser);
    text("SocksServer", s.SocksServer);
    number("Mode", s.Mode);
    flag("AlwaysUsePassiveMode", s.AlwaysUsePassiveMode);
    flag("ShowLoadFormDetailsAtStartup", s.ShowLoadFormDetailsAtStartup);
    flag("EnableLoadFormClosingAtStartup", s.EnableLoadFormClosingAtStartup);
    text("AnonymousPassword", s.AnonymousPassword);
    number("HTTPConnectionType", s.HTTPConnectionType);
    text("HTTPProxyServer", s.HTTPProxyServer);
    number("HTTPProxyPort", s.HTTPProxyPort);
    text("HTTPProxyUser", s.HTTPProxyUser);
    text("HTTPProxyPassword", s.HTTPProxyPassword);
    text("HTTPSOCKSServer", s.HTTPSOCKSServer);
    number("HTTPSOCKSPort", s.HTTPSOCKSPort);
    text("HTTPSOCKSUser", s.HTTPSOCKSUser);
    text("HTTPSOCKSPassword", s.HTTPSOCKSPassword);
    text("ASCIITypes", JoinAsciiTypes(s.ASCIITypes));
    text("P2PNetworkListURL", s.NetworkListURL);
}

void applyHttpSettings(const ConnectionSettings& s, THttpCli& client)
{
    client.Proxy.clear();
    client.ProxyPort = "0";
    client.ProxyUsername.clear();
    client.ProxyPassword.clear();
    client.SetSocksServer("");
    client.SetSocksPort("0");
    client.SetSocksUsercode("");
    client.SetSocksPassword("");
    client.SetSocksAuthentication(socksNoAuthentication);
    if (s.HTTPConnectionType == kHttpProxy) {
        client.Proxy = s.HTTPProxyServer;
        client.ProxyPort = std::to_string(s.HTTPProxyPort);
        client.ProxyUsername = s.HTTPProxyUser;
        client.ProxyPassword = s.HTTPProxyPassword;
    } else if (s.HTTPConnectionType == kHttpSocks4 || s.HTTPConnectionType == kHttpSocks5) {
        client.SetSocksAuthentication(s.HTTPSOCKSUser.empty() ? socksNoAuthentication : socksAuthenticateUsercode);
        client.SetSocksLevel(s.HTTPConnectionType == kHttpSocks4 ? "4" : "5");
        client.SetSocksServer(s.HTTPSOCKSServer);
        client.SetSocksPort(std::to_string(s.HTTPSOCKSPort));
        client.SetSocksUsercode(s.HTTPSOCKSUser);
        client.SetSocksPassword(s.HTTPSOCKSPassword);
    }
}

HttpProxyTabFields HttpProxyTabOf(const ConnectionSettings& s)
{
    HttpProxyTabFields f;
    f.connectionType =
        s.HTTPConnectionType >= kHttpDirect && s.HTTPConnectionType <= kHttpSocks5 ? s.HTTPConnectionType : kHttpDirect;
    f.proxyServer = s.HTTPProxyServer;
    f.proxyPort = FieldOfPort(s.HTTPProxyPort);
    f.proxyUser = s.HTTPProxyUser;
    f.proxyPassword = s.HTTPProxyPassword;
    f.socksServer = s.HTTPSOCKSServer;
    f.socksPort = FieldOfPort(s.HTTPSOCKSPort);
    f.socksUser = s.HTTPSOCKSUser;
    f.socksPassword = s.HTTPSOCKSPassword;
    return f;
}

void ApplyHttpProxyTab(const HttpProxyTabFields& f, ConnectionSettings& s)
{
    s.HTTPConnectionType = f.connectionType;
    s.HTTPProxyServer = f.proxyServer;
    s.HTTPProxyPort = PortOfField(f.proxyPort);
    s.HTTPProxyUser = f.proxyUser;
    s.HTTPProxyPassword = f.proxyPassword;
    s.HTTPSOCKSServer = f.socksServer;
    s.HTTPSOCKSPort = PortOfField(f.socksPort);
    s.HTTPSOCKSUser = f.socksUser;
    s.HTTPSOCKSPassword = f.socksPassword;
}

}  // namespace corvane
