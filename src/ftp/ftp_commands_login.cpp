// TFtpServer: login and navigation (USER, PASS, CWD, CDUP, PWD, XPWD, SYST, TYPE, MODE).
// Not built yet: each keeps its login rule and answers "502 Command not implemented.".
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

void TFtpServer::CommandMODE(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
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
