// TFtpServer: the commands whose work is not built yet. Each keeps its login rule and answers
// "502 Command not implemented."; the login, navigation, data connection, transfer, listing and
// file-management commands replace them.
#include "ftp/ftp_server.h"

namespace corvane {
namespace {

constexpr char kNotImplemented[] = "502 Command not implemented.";

}  // namespace

void TFtpServer::CommandUSER(TFtpCtrlSocket* /*client*/, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    answer = kNotImplemented;
}

void TFtpServer::CommandPASS(TFtpCtrlSocket* /*client*/, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    answer = kNotImplemented;
}

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

void TFtpServer::CommandREST(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
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

void TFtpServer::CommandTYPE(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    answer = kNotImplemented;
}

void TFtpServer::CommandCWD(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
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

void TFtpServer::CommandCDUP(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    answer = kNotImplemented;
}

void TFtpServer::CommandXPWD(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    answer = kNotImplemented;
}

void TFtpServer::CommandPWD(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                            std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    answer = kNotImplemented;
}

void TFtpServer::CommandSYST(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
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

void TFtpServer::CommandMDTM(TFtpCtrlSocket* /*client*/, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    answer = kNotImplemented;
}

void TFtpServer::CommandMODE(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
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

void TFtpServer::CommandChangeDir(TFtpCtrlSocket* /*client*/, std::string& /*keyword*/, std::string& /*params*/,
                                  std::string& answer)
{
    answer = kNotImplemented;
}

}  // namespace corvane
