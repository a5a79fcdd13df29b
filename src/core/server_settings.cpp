#include "core/server_settings.h"

#include <algorithm>

#include <charconv>
#include <climits>

namespace corvane {
namespace {

// An int32 value: a text that is not an integer, or one beyond 32 bits, takes the default.
int ReadInt(const IniImage& image, std::string_view key, int def)
{
    const long long value = image.ReadInteger(kServerDataSection, key, def);
    return value < INT_MIN || value > INT_MAX ? def : static_cast<int>(value);
}

bool ReadBool(const IniImage& image, std::string_view key, bool def)
{
    return image.ReadBool(kServerDataSection, key, def);
}

std::string ReadText(const IniImage& image, std::string_view key, std::string_view def)
{
    return image.ReadString(kServerDataSection, key, def);
}

// A negative port cannot be listened on either.
int CorrectedLoadPort(int port) { return port <= 0 || port > 32275 ? 21 : port; }

int CorrectedConnectionLimit(int limit) { return limit < 4 || limit > 256 ? 64 : limit; }

}  // namespace

ServerSettings LoadServerSettings(const IniImage& image)
{
    const ServerSettings d;  // the defaults
    ServerSettings s;
    s.ServerDesiredButNoP2PSharingMode =
        ReadBool(image, "ServerDesiredButNoP2PSharingMode", d.ServerDesiredButNoP2PSharingMode);
    s.Port = CorrectedLoadPort(ReadInt(image, "Port", d.Port));
    s.MD5IndexingEnabled = ReadBool(image, "MD5IndexingEnabled", d.MD5IndexingEnabled);
    s.MaximumNumberOfConnections =
        CorrectedConnectionLimit(ReadInt(image, "MaximumNumberOfConnections", d.MaximumNumberOfConnections));
    s.LoginTimeout = std::max(0, ReadInt(image, "LoginTimeout", d.LoginTimeout));
    s.MaxWaitingConnectionsPerAddress =
        std::max(0, ReadInt(image, "MaxWaitingConnectionsPerAddress", d.MaxWaitingConnectionsPerAddress));
    s.WebServerMinHeaderRate = std::max(0, ReadInt(image, "WebServerMinHeaderRate", d.WebServerMinHeaderRate));
    s.IPv6PrefixAsOneAddress = ReadBool(image, "IPv6PrefixAsOneAddress", d.IPv6PrefixAsOneAddress);
    s.LogFilePath = ReadText(image, "LogFilePath", d.LogFilePath);
    s.LoggingToFile = ReadBool(image, "LoggingToFile", d.LoggingToFile);
    s.ScreenLoggingEnabled = ReadBool(image, "ScreenLoggingEnabled", d.ScreenLoggingEnabled);
    s.BannerFilePath = ReadText(image, "BannerFilePath", d.BannerFilePath);
    s.BannerFromFile = ReadBool(image, "BannerFromFile", d.BannerFromFile);
    s.AfterLoginMessage = ReadBool(image, "AfterLoginMessage", d.AfterLoginMessage);
    s.AfterLoginMessageFilePath = ReadText(image, "AfterLoginMessageFilePath", d.AfterLoginMessageFilePath);
    s.WebLinkRequired = ReadBool(image, "WebLinkRequired", d.WebLinkRequired);
    s.WebServerRoot = ReadText(image, "WebServerRoot", d.WebServerRoot);
    s.WebServerPort = ReadInt(image, "WebServerPort", d.WebServerPort);
    s.WebServerConnections = ReadInt(image, "WebServerConnections", d.WebServerConnections);
    s.WebServerError404Answer = ReadText(image, "WebServerError404Answer", d.WebServerError404Answer);
    s.WebServerHtmlHeader = ReadText(image, "WebServerHtmlHeader", d.WebServerHtmlHeader);
    s.UserSetServerIP = ReadText(image, "UserSetServerIP", d.UserSetServerIP);
    s.HttpBindAddress = s.UserSetServerIP;
    s.ServerFirstRun = ReadBool(image, "ServerFirstRun", d.ServerFirstRun);
    s.ManualPASVPortsEnabled = ReadBool(image, "ManualPASVPortsEnabled", d.ManualPASVPortsEnabled);
    s.PASVIP = ReadText(image, "PASVIP", s.UserSetServerIP);
    s.PASVPortsRangeBegin = ReadInt(image, "PASVPortsRangeBegin", d.PASVPortsRangeBegin);
    s.DirectoryCacheEnabled = ReadBool(image, "DirectoryCacheEnabled", d.DirectoryCacheEnabled);
    s.FileCacheEnabled = ReadBool(image, "FileCacheEnabled", d.FileCacheEnabled);
    s.FileCacheMode = ReadInt(image, "FileCacheMode", d.FileCacheMode);
    const int cacheMegabytes = ReadInt(image, "CacheSize", static_cast<int>(d.CacheSize / kBytesPerMegabyte));
    s.CacheSize = cacheMegabytes < 0 ? d.CacheSize : cacheMegabytes * kBytesPerMegabyte;
    s.CacheAutoRefreshGUI = ReadBool(image, "CacheAutoRefreshGUI", d.CacheAutoRefreshGUI);
    s.RunWebServerNextTime = ReadBool(image, "RunWebServerNextTime", d.RunWebServerNextTime);
    s.TlsCertificateFile = ReadText(image, "TlsCertificateFile", d.TlsCertificateFile);
    s.TlsKeyFile = ReadText(image, "TlsKeyFile", d.TlsKeyFile);
    s.TlsRequiredForPasswordLogins = ReadBool(image, "TlsRequiredForPasswordLogins", d.TlsRequiredForPasswordLogins);
    s.WebServerHttpsPort = ReadInt(image, "WebServerHttpsPort", d.WebServerHttpsPort);
    if (s.WebServerHttpsPort < 0 || s.WebServerHttpsPort > 65535) s.WebServerHttpsPort = d.WebServerHttpsPort;
    s.WebServerRedirectToHttps = ReadBool(image, "WebServerRedirectToHttps", d.WebServerRedirectToHttps);
    s.LoginBanFailures = std::max(0, ReadInt(image, "LoginBanFailures", d.LoginBanFailures));
    s.LoginBanWindow = std::max(1, ReadInt(image, "LoginBanWindow", d.LoginBanWindow));
    s.LoginBanSeconds = std::max(1, ReadInt(image, "LoginBanSeconds", d.LoginBanSeconds));
    s.LoginBanExemptLoopback = ReadBool(image, "LoginBanExemptLoopback", d.LoginBanExemptLoopback);
    s.LoginBanExemptAllowList = ReadBool(image, "LoginBanExemptAllowList", d.LoginBanExemptAllowList);
    s.PasswordHashPasses = std::max(1, ReadInt(image, "PasswordHashPasses", d.PasswordHashPasses));
    s.PasswordHashMemoryKiB = std::max(8, ReadInt(image, "PasswordHashMemoryKiB", d.PasswordHashMemoryKiB));
    return s;
}

void SaveServerSettings(const ServerSettings& s, IniImage& image)
{
    const auto text = [&image](std::string_view key, const std::string& value) {
        image.WriteString(kServerDataSection, key, value);
    };
    const auto number = [&image](std::string_view key, long long value) {
        image.WriteInteger(kServerDataSection, key, value);
    };
    const auto flag = [&image](std::string_view key, bool value) { image.WriteBool(kServerDataSection, key, value); };
    flag("ServerDesiredButNoP2PSharingMode", s.ServerDesiredButNoP2PSharingMode);
    number("Port", s.Port);
    number("MaximumNumberOfConnections", s.MaximumNumberOfConnections);
    text("LogFilePath", s.LogFilePath);
    flag("LoggingToFile", s.LoggingToFile);
    flag("ScreenLoggingEnabled", s.ScreenLoggingEnabled);
    text("BannerFilePath", s.BannerFilePath);
    flag("BannerFromFile", s.BannerFromFile);
    text("AfterLoginMessageFilePath", s.AfterLoginMessageFilePath);
    flag("AfterLoginMessage", s.AfterLoginMessage);
    flag("WebLinkRequired", s.WebLinkRequired);
    flag("ManualPASVPortsEnabled", s.ManualPASVPortsEnabled);
    text("PASVIP", s.PASVIP);
    number("PASVPortsRangeBegin", s.PASVPortsRangeBegin);
    text("WebServerRoot", s.WebServerRoot);
    number("WebServerPort", s.WebServerPort);
    number("WebServerConnections", s.WebServerConnections);
    text("WebServerError404Answer", s.WebServerError404Answer);
    text("WebServerHtmlHeader", s.WebServerHtmlHeader);
    flag("MD5IndexingEnabled", s.MD5IndexingEnabled);
    flag("ServerFirstRun", s.ServerFirstRun);
    text("UserSetServerIP", s.UserSetServerIP);
    flag("DirectoryCacheEnabled", s.DirectoryCacheEnabled);
    flag("FileCacheEnabled", s.FileCacheEnabled);
    number("FileCacheMode", s.FileCacheMode);
    number("CacheSize", s.CacheSize / kBytesPerMegabyte);
    flag("CacheAutoRefreshGUI", s.CacheAutoRefreshGUI);
    flag("RunWebServerNextTime", s.RunWebServerNextTime);
    SaveTlsSettings(s, image);
}

// The TLS keys go into the file once they differ from their defaults, or when the file names
// them already: a file that never named them is written back as it was.
void SaveTlsSettings(const ServerSettings& s, IniImage& image)
{
    const ServerSettings d;
    const auto named = [&image](std::string_view key) { return image.ValueExists(kServerDataSection, key); };
    if (s.TlsCertificateFile != d.TlsCertificateFile || named("TlsCertificateFile"))
        image.WriteString(kServerDataSection, "TlsCertificateFile", s.TlsCertificateFile);
    if (s.TlsKeyFile != d.TlsKeyFile || named("TlsKeyFile"))
        image.WriteString(kServerDataSection, "TlsKeyFile", s.TlsKeyFile);
    if (s.TlsRequiredForPasswordLogins != d.TlsRequiredForPasswordLogins || named("TlsRequiredForPasswordLogins"))
        image.WriteBool(kServerDataSection, "TlsRequiredForPasswordLogins", s.TlsRequiredForPasswordLogins);
    if (s.WebServerHttpsPort != d.WebServerHttpsPort || named("WebServerHttpsPort"))
        image.WriteInteger(kServerDataSection, "WebServerHttpsPort", s.WebServerHttpsPort);
    if (s.WebServerRedirectToHttps != d.WebServerRedirectToHttps || named("WebServerRedirectToHttps"))
        image.WriteBool(kServerDataSection, "WebServerRedirectToHttps", s.WebServerRedirectToHttps);
}

NetworkProfile LoadNetworkProfile(const IniImage& image)
{
    NetworkProfile p;
    p.Country = image.ReadString(kNetworkSection, "Country", "");
    p.Zipcode = image.ReadString(kNetworkSection, "Zipcode", "");
    p.Email = image.ReadString(kNetworkSection, "Email", "");
    p.ConType = image.ReadString(kNetworkSection, "ConType", "0");
    return p;
}

void SaveNetworkProfile(const NetworkProfile& p, IniImage& image)
{
    image.WriteString(kNetworkSection, "Email", p.Email);
    image.WriteString(kNetworkSection, "Zipcode", p.Zipcode);
    image.WriteString(kNetworkSection, "Country", p.Country);
    image.WriteString(kNetworkSection, "ConType", p.ConType);
}

int CorrectedDialogPort(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    const std::size_t last = text.find_last_not_of(" \t");
    if (first == std::string::npos) return 21;
    long long port = 0;
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    const auto [stop, error] = std::from_chars(begin, end, port);
    if (error != std::errc() || stop != end) return 21;
    return port <= 0 || port > 65535 ? 21 : static_cast<int>(port);
}

}  // namespace corvane
