// TFtpServer: data connections and transfers (PORT, PASV, RETR, STOR, APPE, STOU, REST, ABOR).
// Not built yet: each keeps its login rule and answers "502 Command not implemented.".
#include "ftp/ftp_server.h"

namespace corvane {
namespace {

constexpr char kNotImplemented[] = "502 Command not implemented.";

}  // namespace

void TFtpServer::CommandREST(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    answer = kNotImplemented;
}

void TFtpServer::CommandPORT(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    answer = kNotImplemented;
}

void TFtpServer::CommandSTOR(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    answer = kNotImplemented;
}

void TFtpServer::CommandRETR(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    answer = kNotImplemented;
}

void TFtpServer::CommandABOR(TFtpCtrlSocket* /*client*/, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    answer = kNotImplemented;
}

void TFtpServer::CommandPASV(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    answer = kNotImplemented;
}

void TFtpServer::CommandAPPE(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    answer = kNotImplemented;
}

void TFtpServer::CommandSTOU(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    answer = kNotImplemented;
}

}  // namespace corvane
