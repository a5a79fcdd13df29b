#include "accounts/ip_rule_match.h"

#include <cctype>
#include <optional>
#include <vector>

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

}  // namespace

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
    if (!IsDottedClientAddress(address)) return false;
    auto ruleFields = SplitAt(rule, '.');
    auto clientFields = SplitAt(address, '.');
    if (ruleFields.size() != 4) return false;
    for (size_t i = 0; i < 4; ++i)
        if (!FieldCovers(ruleFields[i], std::stoul(std::string(clientFields[i])))) return false;
    return true;
}

bool RuleEndsInNumber(std::string_view rule)
{
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
