#include "platform/socket_names.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/win_errors.h"

namespace corvane {

int LookupServicePort(const std::string& service, const std::string& protocol, int& port)
{
    servent entry{};
    servent* result = nullptr;
    char buffer[1024];
    if (::getservbyname_r(service.c_str(), protocol.c_str(), &entry, buffer, sizeof buffer, &result) != 0 ||
        result == nullptr)
        return WSANO_DATA;
    port = ntohs(static_cast<std::uint16_t>(result->s_port));
    return 0;
}

int LookupProtocolNumber(const std::string& protocol, int& number)
{
    protoent entry{};
    protoent* result = nullptr;
    char buffer[1024];
    if (::getprotobyname_r(protocol.c_str(), &entry, buffer, sizeof buffer, &result) != 0 || result == nullptr) {
        // Minimal containers ship no /etc/protocols; the two protocols the system uses are fixed.
        if (protocol == "tcp") {
            number = IPPROTO_TCP;
            return 0;
        }
        if (protocol == "udp") {
            number = IPPROTO_UDP;
            return 0;
        }
        return WSANO_DATA;
    }
    number = result->p_proto;
    return 0;
}

namespace {

// The first address of the family that a host name resolves to, as the resolver gives it.
int FirstAddressOf(const std::string& host, int family, sockaddr_storage& found)
{
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (rc != 0) return WinSockErrorFromLookup(rc);
    int result = WSANO_DATA;
    for (addrinfo* it = list; it != nullptr; it = it->ai_next) {
        if (it->ai_family != family || it->ai_addrlen > sizeof found) continue;
        std::memcpy(&found, it->ai_addr, it->ai_addrlen);
        result = 0;
        break;
    }
    ::freeaddrinfo(list);
    return result;
}

}  // namespace

int LookupHostIPv4(const std::string& host, std::uint32_t& address)
{
    sockaddr_storage found{};
    if (const int error = FirstAddressOf(host, AF_INET, found); error != 0) return error;
    sockaddr_in in{};
    std::memcpy(&in, &found, sizeof in);
    address = ntohl(in.sin_addr.s_addr);
    return 0;
}

int LookupHostIPv6(const std::string& host, std::array<std::uint8_t, 16>& address)
{
    sockaddr_storage found{};
    if (const int error = FirstAddressOf(host, AF_INET6, found); error != 0) return error;
    sockaddr_in6 in6{};
    std::memcpy(&in6, &found, sizeof in6);
    std::memcpy(address.data(), &in6.sin6_addr, address.size());
    return 0;
}

bool LookupLocalHostName(std::string& name)
{
    char buffer[65] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) return false;
    name = buffer;
    return true;
}

int LookupHostEntryByName(const std::string& host, HostEntry& entry)
{
    entry = HostEntry{};
    if (host.empty() || host.find('\0') != std::string::npos) return WSAHOST_NOT_FOUND;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;  // one answer per address, not one per socket type
    hints.ai_flags = AI_CANONNAME;
    addrinfo* list = nullptr;
    if (const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list); rc != 0) return WinSockErrorFromLookup(rc);
    for (addrinfo* it = list; it != nullptr; it = it->ai_next) {
        if (entry.name.empty() && it->ai_canonname != nullptr) entry.name = it->ai_canonname;
        if (it->ai_family != AF_INET || it->ai_addr == nullptr) continue;
        sockaddr_in in{};
        std::memcpy(&in, it->ai_addr, sizeof in);
        const std::uint32_t address = ntohl(in.sin_addr.s_addr);
        if (std::find(entry.addresses.begin(), entry.addresses.end(), address) == entry.addresses.end())
            entry.addresses.push_back(address);
    }
    ::freeaddrinfo(list);
    if (entry.addresses.empty()) return WSANO_DATA;
    if (entry.name.empty()) entry.name = host;
    if (entry.name != host) entry.aliases.push_back(host);
    return 0;
}

int LookupHostEntryByAddress(std::uint32_t address, HostEntry& entry)
{
    entry = HostEntry{};
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(address);
    char name[NI_MAXHOST] = {};
    const int rc =
        ::getnameinfo(reinterpret_cast<const sockaddr*>(&in), sizeof in, name, sizeof name, nullptr, 0, NI_NAMEREQD);
    if (rc != 0) return WinSockErrorFromLookup(rc);
    entry.name = name;
    entry.addresses.push_back(address);
    return 0;
}

int LookupHostEntryByAddress6(const std::array<std::uint8_t, 16>& address, HostEntry& entry)
{
    entry = HostEntry{};
    sockaddr_in6 in6{};
    in6.sin6_family = AF_INET6;
    std::memcpy(&in6.sin6_addr, address.data(), address.size());
    char name[NI_MAXHOST] = {};
    const int rc =
        ::getnameinfo(reinterpret_cast<const sockaddr*>(&in6), sizeof in6, name, sizeof name, nullptr, 0, NI_NAMEREQD);
    if (rc != 0) return WinSockErrorFromLookup(rc);
    entry.name = name;
    return 0;
}

}  // namespace corvane
