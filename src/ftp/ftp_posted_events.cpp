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

void TFtpServer::DoStartSendData(TFtpCtrlSocket* client) { PostClientEvent(TFtpPostedEvent::StartSend, client); }

void TFtpServer::HandleAbortTransfer(TFtpCtrlSocket* /*client*/) {}
void TFtpServer::HandleCloseData(TFtpCtrlSocket* /*client*/) {}
void TFtpServer::HandleStartSend(TFtpCtrlSocket* /*client*/) {}

}  // namespace corvane
