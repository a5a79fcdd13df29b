#include "net/wsocket_functions.h"

#include <cctype>
#include <mutex>

#include "common/ip_text.h"
#include "platform/local_addresses.h"
#include "platform/socket_names.h"

namespace corvane {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the leading decimal digits of a text; 0 when it has none. Saturates instead of
// overflowing on absurd input.
long long LeadingNumber(std::string_view text)
{
    long long value = 0;
    for (char c : text) {
        if (!IsDigit(c)) break;
        value = value * 10 + (c - '0');
        if (value > 0xFFFFFFFFLL) return 0xFFFFFFFFLL;
    }
    return value;
}

bool ParseDotted(std::string_view text, std::uint32_t& address)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    std::uint32_t result = 0;
    for (int group = 0; group < 4; ++group) {
        if (group > 0) {
            if (i >= text.size() || text[i] != '.') return false;
            ++i;
        }
        if (i >= text.size() || !IsDigit(text[i])) return false;
        int value = 0, digits = 0;
        while (i < text.size() && IsDigit(text[i])) {
            value = value * 10 + (text[i] - '0');
            if (++digits > 3 || value > 255) return false;
            ++i;
        }
        result = (result << 8) | static_cast<std::uint32_t>(value);
    }
    while (i < text.size() && text[i] == ' ') ++i;
    if (i != text.size()) return false;
    address = result;
    return true;
}

bool LooksNumeric(std::string_view text)
{
    if (text.empty()) return false;
    for (char c : text)
        if (!IsDigit(c) && c != '.' && c != ' ') return false;
    return true;
}

}  // namespace

bool WSocketIsDottedIP(std::string_view text)
{
    std::uint32_t ignored = 0;
    return ParseDotted(text, ignored);
}

std::uint32_t WSocketResolveHost(const std::string& text)
{
    if (text.empty() || text.size() > 256)
        throw ESocketException("WSocketResolveHost: '" + text + "' Invalid Hostname.");
    std::uint32_t address = 0;
    if (ParseDotted(text, address)) return address;
    if (LooksNumeric(text)) throw ESocketException("WSocketResolveHost: '" + text + "' Invalid IP address.");
    const int error = LookupHostIPv4(text, address);
    if (error != 0)
        throw ESocketException("WSocketResolveHost: Cannot convert host address '" + text + "', Error #" +
                               std::to_string(error));
    return address;
}

int WSocketResolvePort(const std::string& port, const std::string& proto)
{
    if (port.empty() || port.size() >= 32) throw ESocketException("WSocketResolvePort: Invalid Port.");
    if (proto.empty() || proto.size() >= 32) throw ESocketException("WSocketResolvePort: Invalid Proto.");
    if (IsDigit(port[0])) return static_cast<int>(LeadingNumber(port) & 0xFFFF);
    int number = 0;
    const int error = LookupServicePort(port, proto, number);
    if (error != 0)
        throw ESocketException("WSocketResolvePort: Cannot convert port '" + port + "', Error #" +
                               std::to_string(error));
    return number;
}

int WSocketResolveProto(const std::string& proto)
{
    if (proto.empty() || proto.size() >= 32) throw ESocketException("WSocketResolveProto: Invalid Protocol.");
    if (IsDigit(proto[0])) return static_cast<int>(LeadingNumber(proto) & 0xFF);
    int number = 0;
    const int error = LookupProtocolNumber(proto, number);
    if (error != 0)
        throw ESocketException("WSocketResolveProto: Cannot convert protocol '" + proto + "', Error #" +
                               std::to_string(error));
    return number;
}

std::string DottedAddress(std::uint32_t address)
{
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::string EndpointAddressText(const sockapi::Endpoint& endpoint)
{
    return endpoint.v6 ? FormatIPv6(endpoint.address6) : DottedAddress(endpoint.address);
}

bool IsAnyAddressText(std::string_view text) { return text.empty() || text == "0.0.0.0" || text == "::"; }

sockapi::Endpoint WSocketResolveEndpoint(const std::string& text)
{
    sockapi::Endpoint endpoint;
    std::string_view host = text;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (LooksIPv6(host)) {
        const auto bytes = ParseIPv6(host);
        if (!bytes) throw ESocketException("WSocketResolveHost: '" + text + "' Invalid IP address.");
        std::uint32_t v4 = 0;
        if (IsIPv4Mapped(*bytes, v4)) {
            endpoint.address = v4;
            return endpoint;
        }
        endpoint.v6 = true;
        endpoint.address6 = *bytes;
        return endpoint;
    }
    try {
        endpoint.address = WSocketResolveHost(text);
    } catch (const ESocketException&) {
        // A name that has only IPv6 addresses: "Cannot convert host" is kept when it has none.
        if (text.empty() || text.size() > 256 || LooksNumeric(text) ||
            LookupHostIPv6(text, endpoint.address6) != 0)
            throw;
        endpoint.v6 = true;
    }
    return endpoint;
}

namespace {

THostEnt ToHostEnt(const HostEntry& entry)
{
    THostEnt host;
    host.Name = entry.name;
    host.Aliases = entry.aliases;
    for (std::uint32_t address : entry.addresses) host.Addresses.push_back(DottedAddress(address));
    return host;
}

}  // namespace

std::optional<THostEnt> WSocketGetHostByName(const std::string& name)
{
    if (name.empty() || name.size() > 256) throw ESocketException("WSocketGetHostByName: Invalid Hostname.");
    HostEntry entry;
    if (LookupHostEntryByName(name, entry) != 0) return std::nullopt;
    return ToHostEnt(entry);
}

std::optional<THostEnt> WSocketGetHostByAddr(const std::string& ip)
{
    if (ip.empty() || ip.size() > 256) throw ESocketException("WSocketGetHostByAddr: Invalid address.");
    std::uint32_t address = 0;
    HostEntry entry;
    if (LooksIPv6(ip)) {
        const auto bytes = ParseIPv6(ip);
        if (!bytes) return std::nullopt;
        if (!IsIPv4Mapped(*bytes, address)) {
            if (LookupHostEntryByAddress6(*bytes, entry) != 0) return std::nullopt;
            THostEnt host = ToHostEnt(entry);
            host.Addresses.push_back(FormatIPv6(*bytes));
            return host;
        }
    } else if (!ParseDotted(ip, address)) {
        return std::nullopt;
    }
    if (LookupHostEntryByAddress(address, entry) != 0) return std::nullopt;
    return ToHostEnt(entry);
}

std::string WSocketResolveIp(const std::string& ip)
{
    const std::optional<THostEnt> host = WSocketGetHostByAddr(ip);
    return host ? host->Name : std::string();
}

std::vector<std::string> LocalIPList()
{
    static std::mutex listMutex;
    static std::vector<std::string> list;  // guarded by listMutex
    std::lock_guard lock(listMutex);
    list = LocalIPv4Addresses();
    return list;
}

}  // namespace corvane
