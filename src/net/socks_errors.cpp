#include "net/socks_errors.h"

namespace corvane {

std::string SocksErrorText(int code)
{
    switch (code) {
    case 20001: return "TWSocket logic error";
    case 20002: return "socks version error";
    case 20003: return "authentification method not acceptable";
    case 20004: return "general SOCKS server failure";
    case 20005: return "connection not allowed by ruleset";
    case 20006: return "network unreachable";
    case 20007: return "host unreachable";
    case 20008: return "connection refused";
    case 20009: return "time to live expired";
    case 20010: return "command not supported";
    case 20011: return "address type not supported";
    case 20012: return "unassigned error #";
    case 20013: return "internal error";
    case 20015: return "authentification failed";
    case 20016: return "request rejected or failed";
    default: return {};
    }
}

}  // namespace corvane
