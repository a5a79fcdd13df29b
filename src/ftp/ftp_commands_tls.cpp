// TFtpServer: FTPS, explicit. AUTH TLS turns the control connection into a TLS connection (the
// reply goes in the clear, the handshake follows it); PBSZ 0 and PROT P then ask for TLS on
// every data connection, PROT C for none; CCC (back to the clear) is refused. The server is the
// TLS server on data connections too, in both modes, and its sessions are kept so that a data
// connection resumes the control connection's session.
#include <cctype>

#include "ftp/ftp_command_line.h"
#include "ftp/ftp_server.h"
#include "platform/win_errors.h"

namespace corvane {
namespace {

std::string Upper(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The names that log in to the anonymous account, whose password is no secret.
bool AnonymousName(const std::string& name)
{
    const std::string upper = Upper(TrimBlanks(name));
    return upper == "ANONYMOUS" || upper == "FTP";
}

bool ControlProtected(const TFtpCtrlSocket* client) { return client->Secure() || client->SecureHandshaking(); }

}  // namespace

void TFtpServer::CommandAUTH(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    const std::string mechanism = Upper(TrimBlanks(params));
    if (mechanism.empty()) {
        answer = "501 Missing argument for AUTH.";
        return;
    }
    if (mechanism != "TLS" && mechanism != "TLS-C" && mechanism != "SSL" && mechanism != "TLS-P") {
        answer = "504 AUTH " + TrimBlanks(params) + " not supported.";
        return;
    }
    if (!SecureAvailable()) {
        answer = "431 TLS is not available on this server.";
        return;
    }
    if (ControlProtected(client)) {
        answer = "503 TLS is already active on this connection.";
        return;
    }
    // A login made in the clear is not carried over into the protected connection, and one
    // that counts against its account already cannot be taken back here.
    if (client->FtpState() == ftpcReady) {
        answer = "503 AUTH must come before the login.";
        return;
    }
    client->SetFtpState(ftpcWaitingUserCode);
    client->ProtectionBufferSet = false;
    // The older names protect the data connections from the start.
    client->DataProtected = mechanism == "SSL" || mechanism == "TLS-P";
    client->SecureStartPending = true;
    answer = "234 AUTH " + mechanism + " successful; go ahead with the TLS handshake.";
}

void TFtpServer::StartPendingControlTls(TFtpCtrlSocket* client)
{
    client->SecureStartPending = false;
    if (client->State() != wsConnected || !secureMaker_) return;
    std::unique_ptr<TSecureChannel> channel = secureMaker_(client->HSocket());
    if (!channel) {
        client->Abort();  // the reply promised a handshake that cannot come
        return;
    }
    client->StartSecureChannel(std::move(channel), tlsHandshakeLimit_);
}

void TFtpServer::CommandPBSZ(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    const std::string size = TrimBlanks(params);
    if (!client->Secure()) {
        answer = "503 PBSZ needs a protected control connection: AUTH TLS first.";
        return;
    }
    if (size.empty() || size.size() > 10 || size.find_first_not_of("0123456789") != std::string::npos) {
        answer = "501 PBSZ takes a number.";
        return;
    }
    // TLS has no protection buffer: whatever was asked, the size is 0.
    client->ProtectionBufferSet = true;
    answer = "200 PBSZ=0";
}

void TFtpServer::CommandPROT(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    const std::string level = Upper(TrimBlanks(params));
    if (!client->Secure()) {
        answer = "503 PROT needs a protected control connection: AUTH TLS first.";
        return;
    }
    if (!client->ProtectionBufferSet) {
        answer = "503 PBSZ must come before PROT.";
        return;
    }
    if (level == "P" || level == "C") {
        client->DataProtected = level == "P";
        answer = "200 Protection level set to " + level + ".";
    } else if (level == "S" || level == "E") {
        answer = "536 Protection level " + level + " not supported.";
    } else {
        answer = "504 Unknown protection level.";
    }
}

void TFtpServer::CommandCCC(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                            std::string& answer)
{
    answer = client->Secure() ? "534 CCC refused: the control connection stays protected."
                              : "533 CCC needs a protected control connection.";
}

bool TFtpServer::RefusePlainLogin(TFtpCtrlSocket* client, const std::string& keyword, const std::string& params,
                                  std::string& answer) const
{
    if (keyword != "USER" || !tlsRequiredForPasswords_ || !SecureAvailable() || ControlProtected(client)) return false;
    if (AnonymousName(params)) return false;
    answer = "530 Non-anonymous sessions must use encryption: AUTH TLS first.";
    return true;
}

// ---- data connections under PROT P ---------------------------------------------------------------

bool TFtpServer::DataProtectionWanted(const TFtpCtrlSocket* client) const
{
    return client->DataProtected && client->Secure() && SecureAvailable();
}

TSecureChannelMaker TFtpServer::DataChannelMaker() const
{
    // Data connections resume the control connection's session; they issue no tickets of
    // their own, which an uploading client would never read.
    return [maker = secureMaker_](int handle) {
        std::unique_ptr<TSecureChannel> channel = maker(handle);
        if (channel) channel->IssueNoSessionTickets();
        return channel;
    };
}

void TFtpServer::ProtectActiveData(TFtpCtrlSocket* client)
{
    TWSocket* data = client->DataWSocket();
    if (!DataProtectionWanted(client)) {
        data->OnSecureChannelReady = nullptr;
        return;
    }
    data->SecureNextConnection(DataChannelMaker(), tlsHandshakeLimit_);
    data->OnSecureChannelReady = [this, client](TCustomWSocket* s, std::uint16_t error) {
        if (error != 0) DataSecureFailed(client, static_cast<TWSocket*>(s), error);
    };
}

void TFtpServer::ProtectPassiveData(TFtpCtrlSocket* client, int handle)
{
    TWSocket* data = client->DataWSocket();
    data->OnSecureChannelReady = [this, client](TCustomWSocket*, std::uint16_t error) {
        PassiveDataSecured(client, error);
    };
    data->StartSecureChannel(DataChannelMaker()(handle), tlsHandshakeLimit_);
}

void TFtpServer::PassiveDataSecured(TFtpCtrlSocket* client, std::uint16_t error)
{
    TWSocket* data = client->DataWSocket();
    data->OnSecureChannelReady = nullptr;
    if (error != 0) {
        DataSecureFailed(client, data, error);
        // The listener is gone: a transfer asked for later must not wait for it.
        if (!client->DataChannel().PassiveStartPending())
            client->DataChannel().Apply(TFtpDataChannel::Event::PassiveLost);
        return;
    }
    if (!client->DataChannel().PassiveStartPending()) {
        // As a connection in the clear: it waits, unread, for the transfer command.
        client->DataChannel().Apply(TFtpDataChannel::Event::ClientArrived);
        data->Pause();
        return;
    }
    if (data->OnSessionConnected) data->OnSessionConnected(data, 0);
}

void TFtpServer::DataSecureFailed(TFtpCtrlSocket* client, TWSocket* /*data*/, std::uint16_t error)
{
    // The socket closes after this; a transfer waiting for it ends with this reason.
    if (!client->DataChannel().TransferRunning()) return;
    client->Transfer().Message = error == WSAETIMEDOUT ? "TLS handshake on the data connection timed out"
                                                       : "TLS handshake on the data connection failed";
    client->SetAbortingTransfer(true);
}

}  // namespace corvane
