#include "accounts/ip_access_rules.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>

#include "accounts/ini_keys.h"
#include "accounts/ip_rule_match.h"
#include "common/lookup_outcome.h"
#include "common/text_case.h"

namespace corvane {
namespace {

constexpr const char* kServerSection = "ServerData";

// The text without the blanks and control characters at its ends, as the settings file reads
// a value back.
std::string RuleAsStored(std::string_view text)
{
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20) text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20) text.remove_suffix(1);
    return std::string(text);
}

// The n of a key "IPListData" + n (n in decimal, as the keys are written); none for other keys.
std::optional<int> RuleKeyIndex(std::string_view key)
{
    constexpr std::string_view kPrefix = "IPListData";
    if (key.size() <= kPrefix.size() || !EqualsIgnoreCase(key.substr(0, kPrefix.size()), kPrefix)) return std::nullopt;
    std::string_view digits = key.substr(kPrefix.size());
    int index = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    if (ec != std::errc() || end != digits.data() + digits.size() || index < 0 || std::to_string(index) != digits)
        return std::nullopt;
    return index;
}

}  // namespace

bool IpAccessRules::CheckClientAddress(const std::string& address, int /*kind*/, const ReverseLookup& lookup) const
{
    if (!IsClientAddress(address)) return false;
    const auto rules = ListIpRules();
    const bool allowListed = GetIpRuleMode() == 0;
    bool listed =
        std::any_of(rules.begin(), rules.end(), [&](const std::string& r) { return AddressRuleCovers(r, address); });
    if (listed != allowListed) return false;
    if (!GetReverseDnsCheck() || !lookup) return true;
    std::string host = lookup();
    if (IsLookupFailure(host)) return true;
    bool named = std::any_of(rules.begin(), rules.end(),
                             [&](const std::string& r) { return !RuleEndsInNumber(r) && HostRuleCovers(r, host); });
    return named == allowListed;
}

bool IpAccessRules::AddIpRule(const std::string& text)
{
    // Stored as the settings file gives it back: a rule with blanks around it would match
    // nothing until the next start and then match, and a line break would cut it on saving.
    const std::string rule = RuleAsStored(text);
    if (rule.empty() || rule.find_first_of("\r\n") != std::string::npos) return false;
    if (rule.find(':') != std::string::npos && !IsValidIPv6Rule(rule)) return false;
    std::lock_guard lock(rulesLock_);
    rules_.push_back(rule);
    return true;
}

void IpAccessRules::ClearIpRules()
{
    std::lock_guard lock(rulesLock_);
    rules_.clear();
}

std::vector<std::string> IpAccessRules::ListIpRules() const
{
    std::lock_guard lock(rulesLock_);
    return rules_;
}

void IpAccessRules::SetIpRuleMode(int mode) { mode_.Set(mode); }
int IpAccessRules::GetIpRuleMode() const { return mode_.Get(); }
void IpAccessRules::SetReverseDnsCheck(bool on) { reverseDnsCheck_.Set(on); }
bool IpAccessRules::GetReverseDnsCheck() const { return reverseDnsCheck_.Get(); }
int IpAccessRules::StoredIpRuleCount() const { return storedCount_.Get(); }
void IpAccessRules::SetStoredIpRuleCount(int count) { storedCount_.Set(count); }

void IpAccessRules::LoadIpRules(const IniImage& settings)
{
    SetReverseDnsCheck(settings.ReadBool(kServerSection, "ReverseDNSCheckEnabled", false));
    SetIpRuleMode(ReadIntKey(settings, kServerSection, "IPListMode", 1));
    int count = std::max(0, ReadIntKey(settings, kServerSection, "IPListCount", 0));
    ClearIpRules();
    for (int i = 0; i < count; ++i) {
        std::string key = "IPListData" + std::to_string(i);
        if (!settings.ValueExists(kServerSection, key) && i >= 100000) break;  // a count of nonsense
        AddIpRule(settings.ReadString(kServerSection, key, "xxx.xxx.xxx.xxx"));
    }
    SetStoredIpRuleCount(count);
}

void IpAccessRules::SaveIpRules(IniImage& settings)
{
    // The rule keys present when the file was read ("IPListData" + 0 up to the stored count - 1)
    // go first. The keys that exist are walked, not the numbers up to the count: a count of
    // nonsense (two billion) would otherwise hold the save for minutes.
    const int stored = StoredIpRuleCount();
    for (const auto& key : settings.ReadSection(kServerSection))
        if (auto index = RuleKeyIndex(key); index && *index < stored) settings.DeleteKey(kServerSection, key);
    const auto rules = ListIpRules();
    settings.WriteBool(kServerSection, "ReverseDNSCheckEnabled", GetReverseDnsCheck());
    settings.WriteInteger(kServerSection, "IPListMode", GetIpRuleMode());
    settings.WriteInteger(kServerSection, "IPListCount", static_cast<long long>(rules.size()));
    for (size_t i = 0; i < rules.size(); ++i)
        settings.WriteString(kServerSection, "IPListData" + std::to_string(i), rules[i]);
    SetStoredIpRuleCount(static_cast<int>(rules.size()));
}

}  // namespace corvane
