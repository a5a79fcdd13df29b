#include "common/ip_text.h"

#include <cstdio>
#include <vector>

#include "platform/local_addresses.h"
#include "platform/name_lookup.h"

namespace corvane {
namespace {

bool IsTwoDigitPrivateSecondField(std::string_view field)
{
    if (field.size() != 2 || field[0] < '0' || field[0] > '9' || field[1] < '0' || field[1] > '9') return false;
    int value = (field[0] - '0') * 10 + (field[1] - '0');
    return value >= 16 && value <= 31;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Strict dotted IPv4 (four decimal groups of at most 255, nothing around them).
std::optional<std::uint32_t> StrictDotted(std::string_view text)
{
    std::uint32_t result = 0;
    int groups = 0;
    std::size_t i = 0;
    while (groups < 4) {
        if (groups > 0) {
            if (i >= text.size() || text[i] != '.') return std::nullopt;
            ++i;
        }
        int value = 0, digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            value = value * 10 + (text[i] - '0');
            if (++digits > 3 || value > 255) return std::nullopt;
            ++i;
        }
        if (digits == 0) return std::nullopt;
        result = (result << 8) | static_cast<std::uint32_t>(value);
        ++groups;
    }
    if (i != text.size()) return std::nullopt;
    return result;
}

// The 16-bit groups of one side of "::" ("1:2:3", or "1:2:1.2.3.4" when a dotted tail is
// allowed); false on an empty group or a group of more than four digits.
bool ReadGroups(std::string_view text, bool tailAllowed, std::vector<std::uint16_t>& groups)
{
    if (text.empty()) return true;
    while (true) {
        const std::size_t colon = text.find(':');
        const std::string_view group = text.substr(0, colon);
        if (colon == std::string_view::npos && tailAllowed && group.find('.') != std::string_view::npos) {
            const auto v4 = StrictDotted(group);
            if (!v4) return false;
            groups.push_back(static_cast<std::uint16_t>(*v4 >> 16));
            groups.push_back(static_cast<std::uint16_t>(*v4 & 0xFFFF));
            return true;
        }
        if (group.empty() || group.size() > 4) return false;
        unsigned value = 0;
        for (char c : group) {
            const int digit = HexDigit(c);
            if (digit < 0) return false;
            value = value * 16 + static_cast<unsigned>(digit);
        }
        groups.push_back(static_cast<std::uint16_t>(value));
        if (colon == std::string_view::npos) return true;
        text.remove_prefix(colon + 1);
    }
}

bool IsRealIPv6(std::string_view text)
{
    const auto address = ParseIPv6(text);
    if (!address) return false;
    std::uint32_t v4 = 0;
    if (IsIPv4Mapped(*address, v4)) {
        char dotted[16];
        std::snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", v4 >> 24, (v4 >> 16) & 255, (v4 >> 8) & 255, v4 & 255);
        return IsRealIp(dotted);
    }
    const IPv6Bytes& a = *address;
    bool zero = true;
    for (int i = 0; i < 15; ++i) zero = zero && a[static_cast<std::size_t>(i)] == 0;
    if (zero) return false;                             // :: and ::1
    if ((a[0] & 0xFE) == 0xFC) return false;            // unique local fc00::/7
    if (a[0] == 0xFE && (a[1] & 0xC0) == 0x80) return false;  // link-local fe80::/10
    return true;
}

}  // namespace

std::optional<IPv6Bytes> ParseIPv6(std::string_view text)
{
    if (text.size() < 2 || text.size() > 39 || text.find_first_not_of("0123456789abcdefABCDEF:.") != std::string_view::npos)
        return std::nullopt;
    std::vector<std::uint16_t> head, tail;
    const std::size_t gap = text.find("::");
    if (gap == std::string_view::npos) {
        if (!ReadGroups(text, true, head) || head.size() != 8) return std::nullopt;
    } else {
        if (text.find("::", gap + 1) != std::string_view::npos) return std::nullopt;
        if (!ReadGroups(text.substr(0, gap), false, head) || !ReadGroups(text.substr(gap + 2), true, tail))
            return std::nullopt;
        if (head.size() + tail.size() > 7) return std::nullopt;
        head.resize(8 - tail.size(), 0);
        head.insert(head.end(), tail.begin(), tail.end());
    }
    IPv6Bytes bytes{};
    for (std::size_t i = 0; i < 8; ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(head[i] >> 8);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(head[i] & 0xFF);
    }
    return bytes;
}

bool IsIPv4Mapped(const IPv6Bytes& address, std::uint32_t& v4)
{
    for (std::size_t i = 0; i < 10; ++i)
        if (address[i] != 0) return false;
    if (address[10] != 0xFF || address[11] != 0xFF) return false;
    v4 = static_cast<std::uint32_t>(address[12]) << 24 | static_cast<std::uint32_t>(address[13]) << 16 |
         static_cast<std::uint32_t>(address[14]) << 8 | address[15];
    return true;
}

std::string FormatIPv6(const IPv6Bytes& address)
{
    std::uint32_t v4 = 0;
    char text[48];
    if (IsIPv4Mapped(address, v4)) {
        std::snprintf(text, sizeof text, "::ffff:%u.%u.%u.%u", v4 >> 24, (v4 >> 16) & 255, (v4 >> 8) & 255, v4 & 255);
        return text;
    }
    unsigned groups[8];
    for (std::size_t i = 0; i < 8; ++i) groups[i] = static_cast<unsigned>(address[2 * i]) << 8 | address[2 * i + 1];
    int bestStart = -1, bestLength = 1;
    for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && groups[j] == 0) ++j;
        if (j - i > bestLength) {
            bestStart = i;
            bestLength = j - i;
        }
        i = j == i ? i + 1 : j;
    }
    std::string result;
    for (int i = 0; i < 8; ++i) {
        if (i == bestStart) {
            result += "::";
            i += bestLength - 1;
            continue;
        }
        if (!result.empty() && result.back() != ':') result += ':';
        std::snprintf(text, sizeof text, "%x", groups[i]);
        result += text;
    }
    return result;
}

std::string AddressCountKey(const std::string& address, bool prefix64)
{
    if (!prefix64 || !LooksIPv6(address)) return address;
    auto bytes = ParseIPv6(address);
    std::uint32_t v4 = 0;
    if (!bytes || IsIPv4Mapped(*bytes, v4)) return address;
    for (std::size_t i = 8; i < bytes->size(); ++i) (*bytes)[i] = 0;
    return FormatIPv6(*bytes) + "/64";
}

std::string UrlHost(std::string_view host) { return LooksIPv6(host) ? "[" + std::string(host) + "]" : std::string(host); }

std::string HostPortText(std::string_view host, int port) { return UrlHost(host) + ":" + std::to_string(port); }

std::optional<HostPort> ParseHostPort(std::string_view text)
{
    HostPort result;
    std::string_view portText;
    bool hasPort = false;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        result.host = std::string(text.substr(1, close - 1));
        if (!ParseIPv6(result.host)) return std::nullopt;
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return std::nullopt;
            portText = rest.substr(1);
            hasPort = true;
        }
    } else {
        const std::size_t colon = text.find(':');
        if (colon != std::string_view::npos && text.find(':', colon + 1) != std::string_view::npos)
            return std::nullopt;  // an IPv6 address without brackets: the port cannot be told apart
        result.host = std::string(text.substr(0, colon));
        if (colon != std::string_view::npos) {
            portText = text.substr(colon + 1);
            hasPort = true;
        }
        if (result.host.empty()) return std::nullopt;
    }
    if (hasPort) {
        if (portText.empty() || portText.size() > 5) return std::nullopt;
        int port = 0;
        for (char c : portText) {
            if (c < '0' || c > '9') return std::nullopt;
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > 65535) return std::nullopt;
        result.port = port;
    }
    return result;
}

bool IsRealIp(std::string_view address)
{
    if (LooksIPv6(address)) return IsRealIPv6(address);
    if (address.size() < 7) return false;
    if (address == "127.0.0.1" || address == "0.0.0.0") return false;
    if (address.substr(0, 3) == "172") {
        std::string_view rest = address.substr(4);
        if (rest.find('.') == 2) return !IsTwoDigitPrivateSecondField(rest.substr(0, 2));
        return true;
    }
    if (address.substr(0, 7) == "192.168" || address.substr(0, 7) == "169.254") return false;
    return address.substr(0, 3) != "10.";
}

bool HasRealLocalIp(std::string& address)
{
    for (const std::string& local : LocalIPv4Addresses()) {
        address = local;
        if (IsRealIp(local)) return true;
    }
    return false;
}

void ResolveAnyAddress(std::string& address)
{
    if (address != "0.0.0.0" && address != "::") return;
    std::vector<std::string> locals = LocalIPv4Addresses();
    if (locals.empty()) locals = LookupIPv4Addresses(LocalHostName());
    if (!locals.empty()) address = locals.front();
}

}  // namespace corvane
