// The IP access rules: the settings text they load from, the store's save and load, and the
// matchers of the address test and the host-name test.
//
// The input is the settings text ([ServerData] with IPListMode, IPListCount, IPListData<n>,
// ReverseDNSCheckEnabled), then after a NUL byte the client's address, then after another the
// host name its reverse lookup gives, then after another NUL-separated rules added as the
// administration window adds them.
//
// Checked:
//  - rules that the store accepted are saved and load back exactly (mode, switch and rules);
//  - a dotted address is covered by itself as a rule and by "xxx.xxx.xxx.xxx";
//  - a rule that covers an address still covers it with any field widened to "0-999";
//  - a host name without "*" is covered by itself as a rule, and "*.<host>" covers "a.<host>";
//  - the connect decision runs on any text without failing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "accounts/ip_rule_match.h"
#include "accounts/permissions.h"
#include "common/ini_image.h"

using namespace corvane;

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail)
{
    std::fprintf(stderr, "fuzz_ip_rules: %s\n%s\n", what, detail.c_str());
    std::abort();
}

std::string_view NextText(std::string_view& rest)
{
    const std::size_t nul = rest.find('\0');
    const std::string_view text = rest.substr(0, nul);
    rest = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);
    return text;
}

std::string ProgramFolder()
{
    static const std::string folder = [] {
        const auto path = std::filesystem::temp_directory_path() / ("corvane-fuzz-ip-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path.string() + "/";
    }();
    return folder;
}

std::string Joined(const std::vector<std::string>& rules)
{
    std::string all;
    for (const auto& rule : rules) all += "[" + rule + "] ";
    return all;
}

void CheckSaveAndLoad(permissionsClass& store, const std::string& context)
{
    IniImage saved;
    store.IpRules().SaveIpRules(saved);
    permissionsClass again(ProgramFolder(), nullptr);
    again.IpRules().LoadIpRules(IniImage::FromText(saved.ToText()));
    if (again.IpRules().ListIpRules() != store.IpRules().ListIpRules() ||
        again.IpRules().GetIpRuleMode() != store.IpRules().GetIpRuleMode() ||
        again.IpRules().GetReverseDnsCheck() != store.IpRules().GetReverseDnsCheck())
        Fail("the rules changed on a save and load", context + "\nbefore: " + Joined(store.IpRules().ListIpRules()) +
                                                         "\nafter:  " + Joined(again.IpRules().ListIpRules()));
}

void CheckAddressRules(const std::vector<std::string>& rules, const std::string& address)
{
    if (!IsDottedClientAddress(address)) return;
    if (!AddressRuleCovers(address, address)) Fail("an address is not covered by itself", address);
    if (!AddressRuleCovers("xxx.xxx.xxx.xxx", address)) Fail("xxx.xxx.xxx.xxx does not cover", address);
    for (const std::string& rule : rules) {
        if (!AddressRuleCovers(rule, address)) continue;
        std::vector<std::string> fields(1);
        for (const char c : rule) {
            if (c == '.') fields.emplace_back();
            else fields.back() += c;
        }
        for (std::size_t i = 0; i < fields.size(); ++i) {
            std::string wider;
            for (std::size_t j = 0; j < fields.size(); ++j) wider += (j ? "." : "") + (i == j ? "0-999" : fields[j]);
            if (!AddressRuleCovers(wider, address))
                Fail("a widened rule no longer covers", "rule " + rule + ", widened " + wider + ", address " + address);
        }
    }
}

void CheckHostRules(const std::string& host)
{
    if (host.empty() || host.find('*') != std::string::npos) return;
    if (!HostRuleCovers(host, host)) Fail("a host name is not covered by itself", host);
    if (!HostRuleCovers("*." + host, "a." + host)) Fail("*.<host> does not cover a.<host>", host);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string settings(NextText(rest));
    const std::string address(NextText(rest));
    const std::string host(NextText(rest));

    permissionsClass store(ProgramFolder(), nullptr);
    const IniImage image = IniImage::FromText(settings);
    store.IpRules().LoadIpRules(image);
    if (store.IpRules().ListIpRules().size() > 4096) return 0;  // a huge count of default rules: slow, not new
    CheckSaveAndLoad(store, "loaded from:\n" + settings);

    for (int added = 0; !rest.empty() && added < 8; ++added) {
        const std::string rule(NextText(rest));
        if (store.IpRules().AddIpRule(rule)) CheckSaveAndLoad(store, "added: [" + rule + "]");
    }

    const auto rules = store.IpRules().ListIpRules();
    CheckAddressRules(rules, address);
    CheckHostRules(host);
    for (const std::string& rule : rules) (void)HostRuleCovers(rule, host), (void)RuleEndsInNumber(rule);
    for (const int mode : {0, 1}) {
        store.IpRules().SetIpRuleMode(mode);
        store.IpRules().SetReverseDnsCheck(true);
        (void)store.IpRules().CheckClientAddress(address, 0, [&host] { return host; });
    }
    return 0;
}
