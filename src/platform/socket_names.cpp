#include "platform/socket_names.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

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
        if (protocol == "tcp") { number = IPPROTO_TCP; return 0; }
        if (protocol == "udp") { number = IPPROTO_UDP; return 0; }
        return WSANO_DATA;
    }
    number = result->p_proto;
    return 0;
}

int LookupHostIPv4(const std::string& host, std::uint32_t& address)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (rc != 0) return WinSockErrorFromLookup(rc);
    int result = WSANO_DATA;
    for (addrinfo* it = list; it != nullptr; it = it->ai_next) {
        if (it->ai_family != AF_INET) continue;
        sockaddr_in in{};
        std::memcpy(&in, it->ai_addr, sizeof in);
        address = ntohl(in.sin_addr.s_addr);
        result = 0;
        break;
    }
    ::freeaddrinfo(list);
    return result;
}

bool LookupLocalHostName(std::string& name)
{
    char buffer[65] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) return false;
    name = buffer;
    return true;
}

}  // namespace corvane
