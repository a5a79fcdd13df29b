#include "platform/name_lookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

namespace corvane {

std::vector<std::string> LookupIPv4Addresses(const std::string& hostName)
{
    std::vector<std::string> addresses;
    if (hostName.empty() || hostName.find('\0') != std::string::npos) return addresses;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;  // one answer per address, not one per socket type
    addrinfo* found = nullptr;
    if (::getaddrinfo(hostName.c_str(), nullptr, &hints, &found) != 0) return addresses;
    for (addrinfo* item = found; item != nullptr; item = item->ai_next) {
        if (item->ai_family != AF_INET || item->ai_addr == nullptr) continue;
        const auto* address = reinterpret_cast<const sockaddr_in*>(item->ai_addr);
        char text[INET_ADDRSTRLEN] = {};
        if (::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) == nullptr) continue;
        if (std::find(addresses.begin(), addresses.end(), text) == addresses.end()) addresses.emplace_back(text);
    }
    ::freeaddrinfo(found);
    return addresses;
}

std::string LocalHostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

}  // namespace corvane
