// TFtpServer: the commands that concern only the control connection itself.
#include "ftp/ftp_server.h"

namespace corvane {
namespace {

constexpr int kDiscardBlockSize = 1024;

}  // namespace

void TFtpServer::CommandQUIT(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    client->SetCurrentCommand(ftpcQUIT);
    answer = "221 Goodbye.";
    // Posted, so it is handled after the reply has been queued.
    PostClientEvent(TFtpPostedEvent::CloseRequest, client);
}

void TFtpServer::CommandNOOP(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    client->SetCurrentCommand(ftpcNOOP);
    answer = "200 Ok. Parameter was '" + params + "'.";
}

void TFtpServer::CommandSTRU(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    client->SetCurrentCommand(ftpcSTRU);
    answer = "200 Ok. STRU parameter '" + params + "' ignored.";
}

void TFtpServer::CommandOverflow(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                                 std::string& answer)
{
    client->SetCurrentCommand(ftpcOVER);
    // Nothing more is read from this client: what is already there is thrown away.
    client->Shutdown(0);
    char discard[kDiscardBlockSize];
    while (client->Receive(discard, kDiscardBlockSize) > 0) {}
    answer = "500 Command too long";
    PostClientEvent(TFtpPostedEvent::CloseRequest, client);
}

}  // namespace corvane
