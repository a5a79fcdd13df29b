#include "core/log_lines.h"

namespace corvane {
namespace {

std::string ErrorSuffix(int error) { return std::to_string(error); }

}  // namespace

std::string PeerDescription(const std::string& address, const std::string& port, bool withHostName,
                            const std::string& hostName)
{
    const std::string shownPort = port == "error" ? std::string() : port;
    if (!withHostName) return address + " : " + shownPort;
    return hostName + " (" + address + ") : " + shownPort;
}

std::string ConnectedLine(const std::string& peer) { return "! " + peer + " Connected"; }

std::string RefusedByIpRulesLine(const std::string& peer)
{
    return "! " + peer + " has been refused due to IP access rules (contact server admin for access)";
}

std::string AuthenticatedLine(const std::string& peer, const std::string& user)
{
    return "! " + peer + " User \"" + user + "\" is authenticated";
}

std::string RejectedLine(const std::string& peer, const std::string& user, const std::string& reason)
{
    return "! " + peer + " User \"" + user + "\" is rejected due to : " + reason;
}

std::string BannedLine(const std::string& peer, int failures, long long seconds)
{
    return "! " + peer + " is banned for " + std::to_string(seconds) + " seconds after " + std::to_string(failures) +
           " failed logins";
}

std::string RefusedWhileBannedLine(const std::string& peer)
{
    return "! " + peer + " has been refused: banned after too many failed logins";
}

std::string UnbannedLine(const std::string& address) { return "! " + address + " is no longer banned"; }

std::string DisconnectedLine(const std::string& peer) { return "! " + peer + " Disconnected"; }

std::string CommandLine(const std::string& keyword, const std::string& params, const std::string& localAddress,
                        const std::string& peer, const std::string& time)
{
    return "< " + keyword + " " + params + " [" + localAddress + " <- " + peer + " (" + time + ")]";
}

std::string ReplyLine(const std::string& reply, const std::string& localAddress, const std::string& peer,
                      const std::string& time)
{
    return "> " + reply + " [" + localAddress + " -> " + peer + " (" + time + ")]";
}

std::string RetrConnectedLine(const std::string& peer, int error)
{
    // "succesfully" is the system's own spelling; tools that read the log match it.
    return error == 0 ? "! " + peer + " Data session connected succesfully."
                      : "! " + peer + " Data session connected. Error #" + ErrorSuffix(error);
}

std::string RetrDataSentErrorLine(const std::string& peer, int error)
{
    return "! " + peer + " Data sent. Error #" + ErrorSuffix(error);
}

std::string DataClosedLine(const std::string& peer, int error)
{
    return error == 0 ? "! " + peer + " Data session closed successfully."
                      : "! " + peer + " Data session closed. Error #" + ErrorSuffix(error);
}

std::string StorOpenedLine(const std::string& peer, int error)
{
    return error == 0 ? "! " + peer + " Data session opened successfully."
                      : "! " + peer + " Data session failed to open. Error #" + ErrorSuffix(error);
}

std::string StorDataReceivedErrorLine(const std::string& peer, int error)
{
    return "! " + peer + " Data received. Error #" + ErrorSuffix(error);
}

std::string ServiceStoppedLine(bool http, const std::string& time)
{
    return std::string(http ? "! HTTP server stopped (" : "! FTP server stopped (") + time + ")";
}

std::string TlsPairNotMadeLine(const std::string& why) { return "! TLS: cannot make a certificate (" + why + ")"; }

std::string TlsUnavailableLine(const std::string& why) { return "! TLS not available: " + why; }

std::string HttpConnectedLine(const std::string& peer) { return "! HTTP " + peer + " Connected"; }

std::string HttpRefusedLine(const std::string& peer)
{
    return "! HTTP " + peer + " is refused due to IP access rules (contact server admin for access)";
}

std::string HttpDisconnectedLine(const std::string& peer) { return "! HTTP " + peer + " disconnected"; }

std::string HttpRequestLine(const std::string& method, const std::string& path, const std::string& localAddress,
                            const std::string& peerAddress, const std::string& time)
{
    return "< HTTP " + method + " " + path + " [" + localAddress + " <- " + peerAddress + " (" + time + ")]";
}

}  // namespace corvane
