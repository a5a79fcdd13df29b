#include "core/setting_keys.h"

#include <charconv>

#include "common/text_case.h"

namespace corvane {
namespace {

using S = ServerSettings;

SettingKey Flag(std::string_view name, bool S::*member)
{
    SettingKey key{name};
    key.flag = member;
    return key;
}

SettingKey Number(std::string_view name, int S::*member, long long low, long long high)
{
    SettingKey key{name};
    key.number = member;
    key.low = low;
    key.high = high;
    return key;
}

SettingKey Text(std::string_view name, std::string S::*member, SettingTextRule rule = SettingTextRule::Any)
{
    SettingKey key{name};
    key.text = member;
    key.rule = rule;
    return key;
}

SettingKey Megabytes(std::string_view name, std::int64_t S::*member, long long high)
{
    SettingKey key{name};
    key.megabytes = member;
    key.high = high;
    return key;
}

std::string_view Trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The file keeps each value on one line: no character that would split it.
bool HoldsControlCharacters(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    return false;
}

// Four decimal numbers from 0 to 255 joined by dots, as the services bind and announce them.
bool IsDottedAddress(std::string_view text)
{
    int parts = 0;
    std::size_t at = 0;
    while (parts < 4) {
        const std::size_t dot = text.find('.', at);
        const std::string_view part = text.substr(at, dot == std::string_view::npos ? text.size() - at : dot - at);
        long long value = 0;
        if (part.empty() || part.size() > 3 || !SettingNumberInRange(std::string(part), 0, 255, value) ||
            part.find_first_of(" \t+-") != std::string_view::npos)
            return false;
        ++parts;
        if (dot == std::string_view::npos) break;
        at = dot + 1;
    }
    return parts == 4 && text.find('.', at) == std::string_view::npos && text.back() != '.';
}

bool ParseFlag(std::string_view text, bool& flag)
{
    for (std::string_view yes : {"1", "on", "true", "yes"})
        if (EqualsIgnoreCase(text, yes)) return (flag = true);
    for (std::string_view no : {"0", "off", "false", "no"})
        if (EqualsIgnoreCase(text, no)) return !(flag = false);
    return false;
}

std::string RangeText(long long low, long long high)
{
    return "a whole number from " + std::to_string(low) + " to " + std::to_string(high);
}

}  // namespace

bool SettingNumberInRange(const std::string& text, long long low, long long high, long long& number)
{
    const std::string_view trimmed = Trimmed(text);
    if (trimmed.empty()) return false;
    long long value = 0;
    const auto [stop, error] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
    if (error != std::errc() || stop != trimmed.data() + trimmed.size() || value < low || value > high) return false;
    number = value;
    return true;
}

const std::vector<SettingKey>& ServerSettingKeys()
{
    // The FTP port stops at 32275: a larger one is read back as 21 on the next start.
    static const std::vector<SettingKey> keys = {
        Text("UserSetServerIP", &S::UserSetServerIP, SettingTextRule::Address),
        Flag("ServerDesiredButNoP2PSharingMode", &S::ServerDesiredButNoP2PSharingMode),
        Flag("MD5IndexingEnabled", &S::MD5IndexingEnabled),
        Number("Port", &S::Port, 1, 32275),
        Number("MaximumNumberOfConnections", &S::MaximumNumberOfConnections, 4, 256),
        Flag("BannerFromFile", &S::BannerFromFile),
        Text("BannerFilePath", &S::BannerFilePath),
        Flag("AfterLoginMessage", &S::AfterLoginMessage),
        Text("AfterLoginMessageFilePath", &S::AfterLoginMessageFilePath),
        Flag("WebLinkRequired", &S::WebLinkRequired),
        Flag("ManualPASVPortsEnabled", &S::ManualPASVPortsEnabled),
        Text("PASVIP", &S::PASVIP, SettingTextRule::PassiveAddress),
        Number("PASVPortsRangeBegin", &S::PASVPortsRangeBegin, 1, 65535),
        Text("TlsCertificateFile", &S::TlsCertificateFile),
        Text("TlsKeyFile", &S::TlsKeyFile),
        Flag("TlsRequiredForPasswordLogins", &S::TlsRequiredForPasswordLogins),
        Number("WebServerPort", &S::WebServerPort, 1, 65535),
        Number("WebServerHttpsPort", &S::WebServerHttpsPort, 0, 65535),
        Flag("WebServerRedirectToHttps", &S::WebServerRedirectToHttps),
        Text("WebServerRoot", &S::WebServerRoot),
        Number("WebServerConnections", &S::WebServerConnections, 1, 9999),
        Text("WebServerHtmlHeader", &S::WebServerHtmlHeader),
        Text("WebServerError404Answer", &S::WebServerError404Answer),
        Flag("DirectoryCacheEnabled", &S::DirectoryCacheEnabled),
        Flag("FileCacheEnabled", &S::FileCacheEnabled),
        Number("FileCacheMode", &S::FileCacheMode, 0, 3),
        Megabytes("CacheSize", &S::CacheSize, 1 << 20),
        Flag("CacheAutoRefreshGUI", &S::CacheAutoRefreshGUI),
        Flag("ScreenLoggingEnabled", &S::ScreenLoggingEnabled),
        Flag("LoggingToFile", &S::LoggingToFile),
        Text("LogFilePath", &S::LogFilePath),
    };
    return keys;
}

const SettingKey* FindServerSettingKey(std::string_view name)
{
    for (const SettingKey& key : ServerSettingKeys())
        if (EqualsIgnoreCase(key.name, name)) return &key;
    return nullptr;
}

std::string SettingText(const ServerSettings& settings, const SettingKey& key)
{
    if (key.flag) return settings.*key.flag ? "1" : "0";
    if (key.number) return std::to_string(settings.*key.number);
    if (key.megabytes) return std::to_string(settings.*key.megabytes / kBytesPerMegabyte);
    return settings.*key.text;
}

bool SetSettingText(ServerSettings& settings, const SettingKey& key, const std::string& value, std::string& problem)
{
    const std::string name(key.name);
    long long number = 0;
    if (key.flag) {
        bool flag = false;
        if (!ParseFlag(Trimmed(value), flag)) {
            problem = name + " is 1 or 0 (on or off)";
            return false;
        }
        settings.*key.flag = flag;
        return true;
    }
    if (key.number || key.megabytes) {
        if (!SettingNumberInRange(value, key.low, key.high, number)) {
            problem = name + " is " + RangeText(key.low, key.high) + (key.megabytes ? " (megabytes)" : "");
            return false;
        }
        if (key.number) settings.*key.number = static_cast<int>(number);
        else settings.*key.megabytes = number * kBytesPerMegabyte;
        return true;
    }
    if (HoldsControlCharacters(value)) {
        problem = name + " cannot hold control characters (the settings file keeps it on one line)";
        return false;
    }
    std::string text = value;
    if (key.rule != SettingTextRule::Any) {
        text = std::string(Trimmed(value));
        // As the dialog takes it: no passive address is the bind address.
        if (text.empty() && key.rule == SettingTextRule::PassiveAddress) text = settings.UserSetServerIP;
        if (!IsDottedAddress(text)) {
            problem = name + " is an IPv4 address like 192.168.1.20 (0.0.0.0: " +
                      (key.rule == SettingTextRule::Address ? "all addresses)" : "the first local address)");
            return false;
        }
    }
    settings.*key.text = text;
    if (key.text == &S::UserSetServerIP) settings.HttpBindAddress = text;
    return true;
}

}  // namespace corvane
