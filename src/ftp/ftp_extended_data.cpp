// TFtpServer: EPSV and EPRT (RFC 2428), the data-connection commands that carry no address
// (EPSV) or name its family (EPRT). They keep PASV's and PORT's protections: the passive
// listener is PASV's (the port range, only the client's own address may connect), and EPRT
// aims only at the client's own address, on a port that is not a system service. Each control
// connection has one family: the other one is refused with a 522 that names the one that works.
#include <cctype>

#include "ftp/ftp_command_line.h"
#include "ftp/ftp_data_port.h"
#include "ftp/ftp_extended_port.h"
#include "ftp/ftp_server.h"
#include "net/wsocket_functions.h"

namespace corvane {
namespace {

bool EqualsNoCase(const std::string& text, const char* word)
{
    std::size_t i = 0;
    for (; i < text.size() && word[i] != '\0'; ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != word[i]) return false;
    return i == text.size() && word[i] == '\0';
}

}  // namespace

bool TFtpServer::RefusedAfterEpsvAll(TFtpCtrlSocket* client, const char* keyword, std::string& answer)
{
    if (!client->SessionOptions.epsvOnly) return false;
    answer = std::string("503 ") + keyword + " not allowed after EPSV ALL.";
    return true;
}

void TFtpServer::CommandEPSV(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcEPSV);
    const std::string protocol = TrimBlanks(params);
    if (EqualsNoCase(protocol, "ALL")) {
        client->SessionOptions.epsvOnly = true;
        answer = "200 EPSV ALL command successful.";
        return;
    }
    const long working = ControlProtocol(client->GetPeerAddr());
    if (!protocol.empty() && protocol != std::to_string(working)) {
        answer = ProtocolNotSupportedReply(working);
        return;
    }
    if (client->DataChannel().TransferRunning()) {
        answer = "500 EPSV exception: 'Transfer in progress'.";
        return;
    }
    try {
        answer = ExtendedPassiveReply(OpenPassiveListener(client));
    } catch (const std::exception& e) {
        answer = std::string("500 EPSV exception: '") + e.what() + "'.";
        SetPassiveFlags(client, false);
        return;
    }
    SetPassiveFlags(client, true);
}

void TFtpServer::CommandEPRT(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcEPRT);
    if (RefusedAfterEpsvAll(client, "EPRT", answer)) return;
    const std::optional<TFtpEprtParams> parsed = ParseEprtParams(params);
    if (!parsed) {
        answer = "501 Invalid EPRT command.";
        return;
    }
    const std::string peer = client->GetPeerAddr();
    const long working = ControlProtocol(peer);
    if (parsed->protocol != working) {
        answer = ProtocolNotSupportedReply(working);
        return;
    }
    // As PORT: only the client itself, on a port that is not a system service.
    const auto address = EprtAddressText(*parsed);
    if (!address || *address != peer || parsed->port < 1024 || parsed->port > 65535) {
        answer = "501 Invalid EPRT command.";
        return;
    }
    client->DataChannel().SetClientTarget(*address, std::to_string(parsed->port));
    answer = "200 EPRT command successful.";
}

}  // namespace corvane
