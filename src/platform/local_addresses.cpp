#include "platform/local_addresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>

namespace corvane {

std::vector<std::string> LocalIPv4Addresses()
{
    std::vector<std::string> outward;
    std::vector<std::string> loopback;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return outward;
    for (ifaddrs* item = list; item != nullptr; item = item->ifa_next) {
        if (item->ifa_addr == nullptr || item->ifa_addr->sa_family != AF_INET) continue;
        if ((item->ifa_flags & IFF_UP) == 0) continue;
        const auto* address = reinterpret_cast<const sockaddr_in*>(item->ifa_addr);
        char text[INET_ADDRSTRLEN] = {};
        if (::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) == nullptr) continue;
        auto& into = (item->ifa_flags & IFF_LOOPBACK) != 0 ? loopback : outward;
        if (std::find(into.begin(), into.end(), text) == into.end()) into.emplace_back(text);
    }
    ::freeifaddrs(list);
    outward.insert(outward.end(), loopback.begin(), loopback.end());
    return outward;
}

}  // namespace corvane
