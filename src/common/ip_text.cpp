#include "common/ip_text.h"

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

}  // namespace

bool IsRealIp(std::string_view address)
{
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
    if (address != "0.0.0.0") return;
    std::vector<std::string> locals = LocalIPv4Addresses();
    if (locals.empty()) locals = LookupIPv4Addresses(LocalHostName());
    if (!locals.empty()) address = locals.front();
}

}  // namespace corvane
