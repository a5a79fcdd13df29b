// TFtpServer: the Trigger operations, one per event; each fires its event when one is assigned.
#include "ftp/ftp_server.h"

namespace corvane {

void TFtpServer::TriggerServerStart()
{
    if (OnStart) OnStart(this);
}

void TFtpServer::TriggerServerStop()
{
    if (OnStop) OnStop(this);
}

void TFtpServer::TriggerAuthenticate(TFtpCtrlSocket* client, const std::string& userName, const std::string& password,
                                     bool& authenticated, std::string& answer)
{
    if (OnAuthenticate) OnAuthenticate(this, client, userName, password, authenticated, answer);
}

void TFtpServer::TriggerChangeDirectory(TFtpCtrlSocket* client, const std::string& directory, bool& allowed)
{
    if (OnChangeDirectory) OnChangeDirectory(this, client, directory, allowed);
}

void TFtpServer::TriggerMakeDirectory(TFtpCtrlSocket* client, const std::string& directory, bool& allowed)
{
    if (OnMakeDirectory) OnMakeDirectory(this, client, directory, allowed);
}

void TFtpServer::TriggerSendAnswer(TFtpCtrlSocket* client, std::string& answer)
{
    if (OnAnswerToClient) OnAnswerToClient(this, client, answer);
}

void TFtpServer::TriggerClientConnect(TFtpCtrlSocket* client, std::uint16_t error)
{
    if (OnClientConnect) OnClientConnect(this, client, error);
}

void TFtpServer::TriggerClientDisconnect(TFtpCtrlSocket* client, std::uint16_t error)
{
    if (OnClientDisconnect) OnClientDisconnect(this, client, error);
}

void TFtpServer::TriggerClientCommand(TFtpCtrlSocket* client, std::string& keyword, std::string& params,
                                      std::string& answer)
{
    if (OnClientCommand) OnClientCommand(this, client, keyword, params, answer);
}

void TFtpServer::TriggerStorSessionConnected(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error)
{
    if (OnStorSessionConnected) OnStorSessionConnected(this, client, data, error);
}

void TFtpServer::TriggerStorSessionClosed(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error)
{
    if (OnStorSessionClosed) OnStorSessionClosed(this, client, data, error);
}

void TFtpServer::TriggerValidatePut(TFtpCtrlSocket* client, std::string& filePath, bool& allowed)
{
    if (OnValidatePut) OnValidatePut(this, client, filePath, allowed);
}

void TFtpServer::TriggerValidateSize(TFtpCtrlSocket* client, std::string& filePath, bool& allowed)
{
    if (OnValidateSize) OnValidateSize(this, client, filePath, allowed);
}

void TFtpServer::TriggerValidateDele(TFtpCtrlSocket* client, std::string& filePath, bool& allowed)
{
    if (OnValidateDele) OnValidateDele(this, client, filePath, allowed);
}

void TFtpServer::TriggerValidateRmd(TFtpCtrlSocket* client, std::string& filePath, bool& allowed)
{
    if (OnValidateRmd) OnValidateRmd(this, client, filePath, allowed);
}

void TFtpServer::TriggerValidateRnFr(TFtpCtrlSocket* client, std::string& filePath, bool& allowed)
{
    if (OnValidateRnFr) OnValidateRnFr(this, client, filePath, allowed);
}

void TFtpServer::TriggerValidateRnTo(TFtpCtrlSocket* client, std::string& filePath, bool& allowed)
{
    if (OnValidateRnTo) OnValidateRnTo(this, client, filePath, allowed);
}

void TFtpServer::TriggerRetrSessionConnected(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error)
{
    if (OnRetrSessionConnected) OnRetrSessionConnected(this, client, data, error);
}

void TFtpServer::TriggerRetrSessionClosed(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error)
{
    if (OnRetrSessionClosed) OnRetrSessionClosed(this, client, data, error);
}

void TFtpServer::TriggerTransferFailedBeforeSending(TFtpCtrlSocket* client)
{
    try {
        if (OnTransferFailedBeforeSending) OnTransferFailedBeforeSending(this, client);
    } catch (...) {
        // The failure reply is sent as it is.
    }
}

void TFtpServer::TriggerValidateGet(TFtpCtrlSocket* client, std::string& filePath, bool& allowed)
{
    if (OnValidateGet) OnValidateGet(this, client, filePath, allowed);
}

void TFtpServer::TriggerStorDataAvailable(TFtpCtrlSocket* client, TWSocket* data, char* buf, int len,
                                          std::uint16_t error)
{
    if (OnStorDataAvailable) OnStorDataAvailable(this, client, data, buf, len, error);
}

void TFtpServer::TriggerRetrDataSent(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error)
{
    if (OnRetrDataSent) OnRetrDataSent(this, client, data, error);
}

void TFtpServer::TriggerGetUniqueFileName(TFtpCtrlSocket* client, std::string& fileName)
{
    if (OnGetUniqueFileName) OnGetUniqueFileName(this, client, fileName);
}

void TFtpServer::TriggerBuildDirectory(TFtpCtrlSocket* client, std::string& directory, bool detailed)
{
    if (OnBuildDirectory) OnBuildDirectory(this, client, directory, detailed);
}

void TFtpServer::TriggerAlterDirectory(TFtpCtrlSocket* client, std::string& directory, bool detailed)
{
    if (OnAlterDirectory) OnAlterDirectory(this, client, directory, detailed);
}

void TFtpServer::TriggerGetProcessing(TFtpCtrlSocket* client, bool& delayedSend)
{
    if (OnGetProcessing) OnGetProcessing(this, client, delayedSend);
}

}  // namespace corvane
