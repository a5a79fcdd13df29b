// The server log's lines, each exactly as the operator and the tools that read the log file
// expect it. The first characters classify a line: "! " an event, "< " a command received,
// "> " a reply sent, "! HTTP " and "< HTTP " the web server's events and requests.
#pragma once

#include <string>

namespace corvane {

// How a peer is named in every FTP line: "address : port", or with the reverse lookup on
// "host (address) : port". A port that cannot be had ("error") counts as empty.
std::string PeerDescription(const std::string& address, const std::string& port, bool withHostName,
                            const std::string& hostName);

std::string ConnectedLine(const std::string& peer);
std::string RefusedByIpRulesLine(const std::string& peer);
std::string AuthenticatedLine(const std::string& peer, const std::string& user);
std::string RejectedLine(const std::string& peer, const std::string& user, const std::string& reason);
std::string BannedLine(const std::string& peer, int failures, long long seconds);
std::string RefusedWhileBannedLine(const std::string& peer);
std::string UnbannedLine(const std::string& address);
std::string DisconnectedLine(const std::string& peer);
// "< KEYWORD params [local <- peer (time)]" and "> reply [local -> peer (time)]".
std::string CommandLine(const std::string& keyword, const std::string& params, const std::string& localAddress,
                        const std::string& peer, const std::string& time);
std::string ReplyLine(const std::string& reply, const std::string& localAddress, const std::string& peer,
                      const std::string& time);

// The data-session lines; `error` 0 is success.
std::string RetrConnectedLine(const std::string& peer, int error);
std::string RetrDataSentErrorLine(const std::string& peer, int error);
std::string DataClosedLine(const std::string& peer, int error);
std::string StorOpenedLine(const std::string& peer, int error);
std::string StorDataReceivedErrorLine(const std::string& peer, int error);

std::string ServiceStoppedLine(bool http, const std::string& time);
// The FTP service's TLS at its start: "! TLS: cannot make a certificate (why)" and
// "! TLS not available: why" (the service then runs in the clear).
std::string TlsPairNotMadeLine(const std::string& why);
std::string TlsUnavailableLine(const std::string& why);

// The web server's lines: "! HTTP peer Connected", the refusal, "! HTTP peer disconnected", and
// "< HTTP METHOD path [local <- address (time)]" for each request.
std::string HttpConnectedLine(const std::string& peer);
std::string HttpRefusedLine(const std::string& peer);
std::string HttpDisconnectedLine(const std::string& peer);
std::string HttpRequestLine(const std::string& method, const std::string& path, const std::string& localAddress,
                            const std::string& peerAddress, const std::string& time);

}  // namespace corvane
