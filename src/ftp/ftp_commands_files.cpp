// TFtpServer: listings, sizes, dates and file management (LIST, NLST, SIZE, MDTM, DELE, MKD,
// RMD, RNFR, RNTO). Not built yet: each keeps its login rule and answers
// "502 Command not implemented.".
#include "ftp/ftp_server.h"

namespace corvane {
namespace {

constexpr char kNotImplemented[] = "502 Command not implemented.";

}  // namespace

void TFtpServer::CommandLIST(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    answer = kNotImplemented;
}

void TFtpServer::CommandNLST(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    answer = kNotImplemented;
}

void TFtpServer::CommandDELE(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    answer = kNotImplemented;
}

void TFtpServer::CommandSIZE(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    answer = kNotImplemented;
}

void TFtpServer::CommandRNFR(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    answer = kNotImplemented;
}

void TFtpServer::CommandRNTO(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    answer = kNotImplemented;
}

void TFtpServer::CommandMKD(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                            std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    answer = kNotImplemented;
}

void TFtpServer::CommandRMD(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                            std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    answer = kNotImplemented;
}

void TFtpServer::CommandMDTM(TFtpCtrlSocket* /*client*/, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    answer = kNotImplemented;
}

}  // namespace corvane
