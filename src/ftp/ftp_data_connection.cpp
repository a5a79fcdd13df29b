// TFtpServer: the data connection of a transfer. The passive port range, the passive listener
// and its accept, the active connect, and the closing steps both directions share.
//
// The data connection goes only where the client is: PORT names no other host than the peer of
// the control connection (CommandPORT), and the passive listener takes a connection only from
// that peer; anyone else who reaches the listener is dropped at once, and the listener goes on
// waiting for the client.
#include <algorithm>

#include "ftp/ftp_data_port.h"
#include "ftp/ftp_server.h"
#include "net/wsocket_functions.h"
#include "platform/win_errors.h"

namespace corvane {
namespace {

using Event = TFtpDataChannel::Event;
using State = TFtpDataChannel::State;

constexpr char kFtpDataPort[] = "20";

bool SameHost(int handle, const std::string& peerAddr)
{
    sockapi::Endpoint peer;
    if (sockapi::PeerEndpoint(handle, peer) != 0) return false;
    return DottedAddress(peer.address) == peerAddr;
}

// Errors of binding port 20 that another local port avoids: the port is busy or needs
// privileges, or this very connection from it is still remembered by the stack.
bool DataPortUnavailable(int error)
{
    return error == WSAEADDRINUSE || error == WSAEACCES || error == WSAEADDRNOTAVAIL;
}

}  // namespace

// ---- the passive port range ----------------------------------------------------------------------

void TFtpServer::SetPasvPortRangeStart(int port)
{
    loop_->AssertOwnerThread();
    pasvPortRangeStart_ = port;
    pasvPortsInUse_.assign(static_cast<std::size_t>(std::max(pasvPortRangeSize_, 0)), false);
}

void TFtpServer::SetPasvPortRangeSize(int size)
{
    loop_->AssertOwnerThread();
    pasvPortRangeSize_ = size;
    pasvPortsInUse_.assign(static_cast<std::size_t>(std::max(pasvPortRangeSize_, 0)), false);
}

std::string TFtpServer::GetNextAvailablePASVPort()
{
    loop_->AssertOwnerThread();
    if (pasvPortRangeSize_ <= 0 || pasvPortRangeStart_ <= 0) return "0";
    for (std::size_t i = 0; i < pasvPortsInUse_.size(); ++i) {
        if (pasvPortsInUse_[i]) continue;
        pasvPortsInUse_[i] = true;
        return std::to_string(pasvPortRangeStart_ + static_cast<int>(i));
    }
    return {};
}

void TFtpServer::FreeCurrentPASVPort(TFtpCtrlSocket* client)
{
    loop_->AssertOwnerThread();
    const int port = client->DataChannel().TakePasvPort();
    if (port == 0 || pasvPortRangeSize_ <= 0) return;
    const long index = static_cast<long>(port) - pasvPortRangeStart_;
    if (index < 0 || index >= static_cast<long>(pasvPortsInUse_.size())) return;
    pasvPortsInUse_[static_cast<std::size_t>(index)] = false;
}

// ---- handlers of the data socket -------------------------------------------------------------------

void TFtpServer::AttachDownloadHandlers(TFtpCtrlSocket* client)
{
    TWSocket* data = client->DataWSocket();
    data->OnSessionConnected = [this, client](TCustomWSocket* s, std::uint16_t e) {
        ClientRetrSessionConnected(client, static_cast<TWSocket*>(s), e);
    };
    data->OnSessionClosed = [this, client](TCustomWSocket* s, std::uint16_t e) {
        ClientRetrSessionClosed(client, static_cast<TWSocket*>(s), e);
    };
    data->OnDataSent = [this, client](TCustomWSocket* s, std::uint16_t e) {
        ClientRetrDataSent(client, static_cast<TWSocket*>(s), e);
    };
    data->OnDataAvailable = nullptr;
    // A passive listener keeps its session-available handler: the client may still be on its way.
}

void TFtpServer::AttachUploadHandlers(TFtpCtrlSocket* client)
{
    TWSocket* data = client->DataWSocket();
    data->OnSessionConnected = [this, client](TCustomWSocket* s, std::uint16_t e) {
        ClientStorSessionConnected(client, static_cast<TWSocket*>(s), e);
    };
    data->OnSessionClosed = [this, client](TCustomWSocket* s, std::uint16_t e) {
        ClientStorSessionClosed(client, static_cast<TWSocket*>(s), e);
    };
    data->OnDataAvailable = [this, client](TCustomWSocket* s, std::uint16_t e) {
        ClientStorDataAvailable(client, static_cast<TWSocket*>(s), e);
    };
    data->OnDataSent = nullptr;
    // A passive listener keeps its session-available handler: the client may still be on its way.
}

void TFtpServer::DetachDataHandlers(TWSocket* data)
{
    data->OnSessionConnected = nullptr;
    data->OnSessionClosed = nullptr;
    data->OnDataAvailable = nullptr;
    data->OnDataSent = nullptr;
    data->OnSessionAvailable = nullptr;
}

void TFtpServer::CloseDataSilently(TFtpCtrlSocket* client)
{
    TWSocket* data = client->DataWSocket();
    DetachDataHandlers(data);
    try {
        data->Abort();
    } catch (...) {
        // The handle is gone either way.
    }
    data->Resume();
    FreeCurrentPASVPort(client);
}

// ---- passive mode ----------------------------------------------------------------------------------

void TFtpServer::ClientPassiveSessionAvailable(TFtpCtrlSocket* client, std::uint16_t error)
{
    TWSocket* data = client->DataWSocket();
    if (error != 0) return;  // the listener keeps waiting for the client
    int handle = -1;
    try {
        handle = data->Accept();
    } catch (const ESocketException&) {
        return;  // that connection failed; the listener keeps waiting
    }
    if (handle < 0) return;
    if (!SameHost(handle, client->GetPeerAddr())) {
        // Not the client: whoever it is gets nothing, and the client can still come.
        sockapi::Close(handle);
        return;
    }
    // The listening handle is closed as a whole, with no handler to hear it, so that the socket
    // forgets it was listening before it takes the connection (which keeps the same local port).
    // A transfer command that came first has attached the handlers of its direction: they come
    // back once the connection is in place.
    TCustomWSocket::TSessionEvent connected = data->OnSessionConnected, closed = data->OnSessionClosed,
                                  available = data->OnDataAvailable, sent = data->OnDataSent;
    DetachDataHandlers(data);
    try {
        data->Close();
    } catch (const ESocketException&) {}
    // The end of a download must reach the client: no abortive close on this connection.
    data->SetLingerOnOff(wsLingerOff);
    data->SetLingerTimeout(0);
    data->Dup(handle);
    if (DataProtectionWanted(client)) {
        // A transfer that came first hears of the handshake's failure as of a close.
        data->OnSessionConnected = connected;
        data->OnSessionClosed = closed;
        data->OnDataAvailable = available;
        data->OnDataSent = sent;
        ProtectPassiveData(client, handle);
        return;
    }
    if (!client->DataChannel().PassiveStartPending()) {
        // The usual order: the client connects right after the 227 reply. Its connection waits,
        // unread, for the transfer command, which attaches the handlers and starts at once.
        client->DataChannel().Apply(Event::ClientArrived);
        data->Pause();
        return;
    }
    data->OnSessionConnected = connected;
    data->OnSessionClosed = closed;
    data->OnDataAvailable = available;
    data->OnDataSent = sent;
    if (data->OnSessionConnected) data->OnSessionConnected(data, 0);
}

int TFtpServer::OpenPassiveListener(TFtpCtrlSocket* client)
{
    TWSocket* data = client->DataWSocket();
    CloseDataSilently(client);
    data->SetAddr("0.0.0.0");
    const std::string port = GetNextAvailablePASVPort();
    if (port.empty()) throw FtpServerException("No available PASV Ports");
    client->DataChannel().SetPasvPort(std::stoi(port));
    data->SetPort(port);
    data->SetProto("tcp");
    data->OnSessionAvailable = [this, client](TCustomWSocket*, std::uint16_t error) {
        ClientPassiveSessionAvailable(client, error);
    };
    data->SetComponentOptions(wsoNoReceiveLoop);
    data->Listen();
    return std::stoi(data->GetXPort());
}

void TFtpServer::SetPassiveFlags(TFtpCtrlSocket* client, bool listening)
{
    if (!listening) CloseDataSilently(client);
    // Without a listener, a state that still promised one would have the next transfer wait for
    // a connection that can never come.
    client->DataChannel().Apply(listening ? Event::PassiveOpened : Event::PassiveLost);
}

void TFtpServer::CommandPASV(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcPASV);
    if (RefusedAfterEpsvAll(client, "PASV", answer)) return;
    if (client->DataChannel().TransferRunning()) {
        // A new listener would pull the data socket from under the running transfer.
        answer = "500 PASV exception: 'Transfer in progress'.";
        return;
    }
    try {
        const std::string localAddr = client->GetXAddr();
        const int boundPort = OpenPassiveListener(client);
        const auto announced = ParsePasvAddress(PasvIpAddr().empty() ? localAddr : PasvIpAddr());
        if (!announced) throw FtpServerException("Invalid PASV IP Address");
        answer = PassiveModeReply(*announced, boundPort);
    } catch (const std::exception& e) {
        answer = std::string("500 PASV exception: '") + e.what() + "'.";
        SetPassiveFlags(client, false);
        return;
    }
    SetPassiveFlags(client, true);
}

// ---- active mode -------------------------------------------------------------------------------------

void TFtpServer::ConnectActiveData(TFtpCtrlSocket* client, bool fromDataPort, bool downloadHandlers)
{
    TWSocket* data = client->DataWSocket();
    const auto prepare = [&](const std::string& localPort) {
        data->SetProto("tcp");
        data->SetAddr(client->DataChannel().ClientDataAddr());
        data->SetPort(client->DataChannel().ClientDataPort());
        data->SetLingerOnOff(wsLingerOff);
        data->SetLingerTimeout(0);
        // A control connection that has already gone has no local address ("error"): the
        // connect would look that text up as a host name, on this thread. Any address then.
        const std::string controlAddr = fromDataPort ? client->GetXAddr() : std::string("0.0.0.0");
        const bool bindable = controlAddr != "error";
        data->SetLocalAddr(bindable ? controlAddr : "0.0.0.0");
        data->SetLocalPort(fromDataPort && bindable ? localPort : "0");
        data->SetComponentOptions(wsoNoReceiveLoop);
        ProtectActiveData(client);
    };
    prepare(kFtpDataPort);
    if (downloadHandlers) AttachDownloadHandlers(client);
    else AttachUploadHandlers(client);
    // The handlers wait until the connect has been made: a failed first try must not end the
    // transfer, only move it to another local port.
    TCustomWSocket::TSessionEvent connected = data->OnSessionConnected, closed = data->OnSessionClosed,
                                  available = data->OnDataAvailable, sent = data->OnDataSent;
    DetachDataHandlers(data);
    try {
        data->Connect();
    } catch (const ESocketException&) {
        if (!fromDataPort || !DataPortUnavailable(data->LastError())) throw;
        try {
            data->Abort();
        } catch (...) {}
        prepare("0");
        data->Connect();
    }
    data->OnSessionConnected = connected;
    data->OnSessionClosed = closed;
    data->OnDataAvailable = available;
    data->OnDataSent = sent;
}

void TFtpServer::CommandPORT(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcPORT);
    if (RefusedAfterEpsvAll(client, "PORT", answer)) return;
    const std::optional<TFtpPortParams> parsed = ParsePortParams(params);
    // Only the client itself, on a port that is not a system service, may receive a data
    // connection: anything else would let one client aim this server at a third host.
    if (!parsed || !parsed->FieldsAreBytes() || parsed->Port() < 1024 || parsed->Address() != client->GetPeerAddr()) {
        answer = "501 Invalid PORT command.";
        return;
    }
    client->DataChannel().SetClientTarget(parsed->Address(), std::to_string(parsed->Port()));
    answer = "200 Port command successful.";
}

// ---- opening a transfer's data connection ---------------------------------------------------------------

void TFtpServer::OpenUploadDataConnection(TFtpCtrlSocket* client)
{
    TWSocket* data = client->DataWSocket();
    TFtpDataChannel& channel = client->DataChannel();
    switch (channel.Current()) {
    case State::StartingAccepted:
        AttachUploadHandlers(client);
        data->Resume();
        ClientStorSessionConnected(client, data, 0);
        return;
    case State::StartingListening:
        AttachUploadHandlers(client);
        channel.Apply(Event::Start);
        return;
    case State::StartingActive:
        channel.Apply(Event::Start);
        // APPE connects from any local address and port.
        ConnectActiveData(client, channel.Command() != ftpcAPPE, false);
        return;
    default: throw FtpServerException("No transfer is waiting for its data connection");
    }
}

void TFtpServer::StartSendData(TFtpCtrlSocket* client)
{
    loop_->AssertOwnerThread();
    TFtpDataChannel& channel = client->DataChannel();
    if (!channel.Starting()) return;  // no transfer waits for its start (ABOR called it off)
    client->SetAbortingTransfer(false);
    client->Transfer().DataExhausted = false;
    client->Transfer().Message = "Transfer Ok";
    TWSocket* data = client->DataWSocket();
    switch (channel.Current()) {
    case State::StartingAccepted:
        AttachDownloadHandlers(client);
        data->Resume();
        ClientRetrSessionConnected(client, data, 0);
        return;
    case State::StartingListening:
        AttachDownloadHandlers(client);
        channel.Apply(Event::Start);
        return;
    default:
        channel.Apply(Event::Start);
        CloseDataSilently(client);
        ConnectActiveData(client, true, true);
        return;
    }
}

// ---- closing -------------------------------------------------------------------------------------------

void TFtpServer::CommonDataSessionClosed(TFtpCtrlSocket* client)
{
    client->Transfer().Engine.CancelBlockTimer();
    FreeCurrentPASVPort(client);
    client->DataChannel().Apply(Event::Closed);
    client->Transfer().Engine.block.clear();
    client->Transfer().Engine.block.shrink_to_fit();
}

void TFtpServer::AbandonTransfer(TFtpCtrlSocket* client)
{
    CloseDataSilently(client);
    CommonDataSessionClosed(client);
    client->DropEngineStream();
}

void TFtpServer::EndDataOfLeavingClient(TFtpCtrlSocket* client)
{
    client->Transfer().Engine.CancelBlockTimer();
    CloseDataSilently(client);
}

}  // namespace corvane
