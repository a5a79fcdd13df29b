// TFtpServer: the engine's own posted events and the close request.
//
// The events go through the owner thread's EventLoop, which runs them in posting order after
// the handler that posted them has returned. Each names its client by ClientNumber and is
// dropped when no client of ClientList has that number (and that address) any more.
#include "ftp/ftp_server.h"

namespace corvane {

void TFtpServer::PostClientEvent(TFtpPostedEvent event, TFtpCtrlSocket* client)
{
    const long long number = client->ClientNumber();
    const void* identity = client;
    std::weak_ptr<bool> alive = alive_;
    loop_->Post([this, alive, event, number, identity] {
        auto token = alive.lock();
        if (!token || !*token) return;  // the server has gone
        if (FindClientByNumber(number) != identity) return;
        HandlePostedEvent(event, number);
    });
}

void TFtpServer::HandlePostedEvent(TFtpPostedEvent event, long long clientNumber)
{
    loop_->AssertOwnerThread();
    TFtpCtrlSocket* client = FindClientByNumber(clientNumber);
    if (client == nullptr) return;
    try {
        switch (event) {
        case TFtpPostedEvent::CloseRequest: HandleCloseRequest(client); break;
        case TFtpPostedEvent::ClientClosed: ClientClosedProcedure(client); break;
        case TFtpPostedEvent::AbortTransfer: HandleAbortTransfer(client); break;
        case TFtpPostedEvent::CloseData: HandleCloseData(client); break;
        case TFtpPostedEvent::StartSend: HandleStartSend(client); break;
        }
    } catch (...) {
        // Nobody waits for a posted event: its failure has nowhere to go but the client itself.
    }
}

void TFtpServer::HandleCloseRequest(TFtpCtrlSocket* client)
{
    if (!client->AllSent()) {
        client->SetCloseRequested(true);  // the data-sent event asks again once the queue drained
        return;
    }
    // Linger off: everything queued has reached the stack, and must still reach the peer.
    client->CloseGracefully();
}

void TFtpServer::ClientDataSent(TFtpCtrlSocket* client)
{
    if (!client->CloseRequested()) return;
    client->SetCloseRequested(false);
    PostClientEvent(TFtpPostedEvent::CloseRequest, client);
}

void TFtpServer::DoStartSendData(TFtpCtrlSocket* client)
{
    loop_->AssertOwnerThread();
    client->DataChannel().NoteStartPosted();
    PostClientEvent(TFtpPostedEvent::StartSend, client);
}

// A failure or an abort: both directions of the data connection go at once, and its closed
// handler sends the transfer's reply. Only for a transfer still being aborted: a later transfer
// of the same client has cleared the flag, and its connection is not this event's business.
void TFtpServer::HandleAbortTransfer(TFtpCtrlSocket* client)
{
    if (!client->AbortingTransfer()) return;
    TWSocket* data = client->DataWSocket();
    data->Shutdown(2);
    data->Close();
}

// The last block of a download or listing has been handed to the stack: the graceful close lets
// it reach the client, and the closed handler sends "226 File sent ok".
void TFtpServer::HandleCloseData(TFtpCtrlSocket* client)
{
    if (!client->Transfer().DataExhausted || !client->DataChannel().DataConnected()) return;
    FreeCurrentPASVPort(client);
    client->DataWSocket()->Close();
}

// The start of a download after its "150" reply, or when the owner that delayed it is ready.
void TFtpServer::HandleStartSend(TFtpCtrlSocket* client)
{
    if (!client->DataChannel().TakePostedStart()) return;  // called off by ABOR meanwhile
    try {
        StartSendData(client);
    } catch (const std::exception& e) {
        AbandonTransfer(client);
        SendAnswer(client, std::string("501 Cannot RETR. ") + e.what());
    }
}

}  // namespace corvane
