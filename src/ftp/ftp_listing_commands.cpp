// TFtpServer: LIST and NLST.
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

}  // namespace corvane
