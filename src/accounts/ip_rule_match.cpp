#include "accounts/ip_rule_match.h"

#include <cctype>
#include <optional>
#include <vector>

#include "common/ip_text.h"

namespace corvane {
namespace {

std::vector<std::string_view> SplitAt(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

bool AllDigits(std::string_view text)
{
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// The pattern with every "x" replaced by the given digit, as a number; none when the pattern
// holds anything but digits and "x", or is too long to be a field of any address.
std::optional<unsigned long> PatternBound(std::string_view pattern, char xDigit)
{
    if (pattern.empty() || pattern.size() > 9) return std::nullopt;
    unsigned long value = 0;
    for (char c : pattern) {
        char digit = (c == 'x' || c == 'X') ? xDigit : c;
        if (!std::isdigit(static_cast<unsigned char>(digit))) return std::nullopt;
        value = value * 10 + static_cast<unsigned long>(digit - '0');
    }
    return value;
}

bool FieldCovers(std::string_view field, unsigned long client)
{
    size_t dash = field.find('-');
    std::string_view lowPart = dash == std::string_view::npos ? field : field.substr(0, dash);
    std::string_view highPart = dash == std::string_view::npos ? field : field.substr(dash + 1);
    auto low = PatternBound(lowPart, '0');
    auto high = PatternBound(highPart, '9');
    if (!low || !high) return false;
    return client >= *low && client <= *high;
}

bool LabelCovers(std::string_view ruleLabel, std::string_view hostLabel)
{
    if (ruleLabel == "*") return true;
    if (ruleLabel.size() != hostLabel.size()) return false;
    for (size_t i = 0; i < ruleLabel.size(); ++i) {
        char r = ruleLabel[i];
        if (r == '*') continue;
        if (std::tolower(static_cast<unsigned char>(r)) != std::tolower(static_cast<unsigned char>(hostLabel[i])))
            return false;
    }
    return true;
}

struct IPv6Prefix {
    IPv6Bytes address{};
    int bits = 128;
};

std::optional<IPv6Prefix> ParseIPv6Rule(std::string_view rule)
{
    IPv6Prefix prefix;
    const std::size_t slash = rule.find('/');
    if (slash != std::string_view::npos) {
        const std::string_view bits = rule.substr(slash + 1);
        if (!AllDigits(bits) || bits.size() > 3) return std::nullopt;
        prefix.bits = std::stoi(std::string(bits));
        if (prefix.bits < 1 || prefix.bits > 128) return std::nullopt;
    }
    const auto address = ParseIPv6(rule.substr(0, slash));
    if (!address) return std::nullopt;
    prefix.address = *address;
    // The unspecified address names no client; as a rule it could only be a mistake.
    if (prefix.address == IPv6Bytes{}) return std::nullopt;
    return prefix;
}

bool PrefixCovers(const IPv6Prefix& prefix, const IPv6Bytes& client)
{
    for (int bit = 0; bit < prefix.bits; ++bit) {
        const auto byte = static_cast<std::size_t>(bit / 8);
        const auto mask = static_cast<std::uint8_t>(0x80 >> (bit % 8));
        if ((prefix.address[byte] & mask) != (client[byte] & mask)) return false;
    }
    return true;
}

bool DottedAddressCovered(std::string_view rule, std::string_view address)
{
    auto ruleFields = SplitAt(rule, '.');
    auto clientFields = SplitAt(address, '.');
    if (ruleFields.size() != 4) return false;
    for (size_t i = 0; i < 4; ++i)
        if (!FieldCovers(ruleFields[i], std::stoul(std::string(clientFields[i])))) return false;
    return true;
}

}  // namespace

bool IsClientAddress(std::string_view address)
{
    return IsDottedClientAddress(address) || ParseIPv6(address).has_value();
}

bool IsValidIPv6Rule(std::string_view rule) { return ParseIPv6Rule(rule).has_value(); }

bool IsDottedClientAddress(std::string_view address)
{
    auto fields = SplitAt(address, '.');
    if (fields.size() != 4) return false;
    for (auto f : fields) {
        if (!AllDigits(f) || f.size() > 3) return false;
        if (std::stoul(std::string(f)) > 255) return false;
    }
    return true;
}

bool AddressRuleCovers(std::string_view rule, std::string_view address)
{
    if (IsDottedClientAddress(address)) return !LooksIPv6(rule) && DottedAddressCovered(rule, address);
    const auto client = ParseIPv6(address);
    if (!client) return false;
    std::uint32_t v4 = 0;
    if (IsIPv4Mapped(*client, v4)) {
        const std::string dotted = std::to_string(v4 >> 24) + "." + std::to_string((v4 >> 16) & 255) + "." +
                                   std::to_string((v4 >> 8) & 255) + "." + std::to_string(v4 & 255);
        return !LooksIPv6(rule) && DottedAddressCovered(rule, dotted);
    }
    const auto prefix = ParseIPv6Rule(rule);
    return prefix && PrefixCovers(*prefix, *client);
}

bool RuleEndsInNumber(std::string_view rule)
{
    if (LooksIPv6(rule)) return true;  // an IPv6 rule is an address, never a host name
    size_t dot = rule.rfind('.');
    std::string_view last = dot == std::string_view::npos ? rule : rule.substr(dot + 1);
    return AllDigits(last);
}

bool HostRuleCovers(std::string_view rule, std::string_view hostName)
{
    if (rule.empty() || hostName.empty()) return false;
    auto ruleLabels = SplitAt(rule, '.');
    auto hostLabels = SplitAt(hostName, '.');
    size_t r = ruleLabels.size();
    size_t h = hostLabels.size();
    while (r > 0 && h > 0) {
        if (r == 1 && ruleLabels[0] == "*") return true;  // covers all remaining labels
        if (!LabelCovers(ruleLabels[r - 1], hostLabels[h - 1])) return false;
        --r;
        --h;
    }
    return r == 0 && h == 0;
}

}  // namespace corvane
