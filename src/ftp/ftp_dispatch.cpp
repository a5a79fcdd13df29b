// TFtpServer: the command table, the dispatching of command lines and the sending of replies.
#include "ftp/ftp_server.h"

#include "ftp/ftp_command_line.h"

namespace corvane {
namespace {

std::string NotUnderstood(const std::string& text) { return "500 '" + text + "': command not understood."; }

}  // namespace

void TFtpServer::FillCommandTable()
{
    // Table order is search order.
    static const TFtpBuiltinCommand kBuiltins[] = {
        {"PORT", &TFtpServer::CommandPORT},     {"STOR", &TFtpServer::CommandSTOR}, {"RETR", &TFtpServer::CommandRETR},
        {"CWD", &TFtpServer::CommandCWD},       {"XPWD", &TFtpServer::CommandXPWD}, {"PWD", &TFtpServer::CommandPWD},
        {"USER", &TFtpServer::CommandUSER},     {"PASS", &TFtpServer::CommandPASS}, {"LIST", &TFtpServer::CommandLIST},
        {"NLST", &TFtpServer::CommandNLST},     {"TYPE", &TFtpServer::CommandTYPE}, {"SYST", &TFtpServer::CommandSYST},
        {"QUIT", &TFtpServer::CommandQUIT},     {"DELE", &TFtpServer::CommandDELE}, {"SIZE", &TFtpServer::CommandSIZE},
        {"REST", &TFtpServer::CommandREST},     {"RNFR", &TFtpServer::CommandRNFR}, {"RNTO", &TFtpServer::CommandRNTO},
        {"MKD", &TFtpServer::CommandMKD},       {"RMD", &TFtpServer::CommandRMD},   {"ABOR", &TFtpServer::CommandABOR},
        {"PASV", &TFtpServer::CommandPASV},     {"NOOP", &TFtpServer::CommandNOOP}, {"CDUP", &TFtpServer::CommandCDUP},
        {"APPE", &TFtpServer::CommandAPPE},     {"STRU", &TFtpServer::CommandSTRU}, {"XMKD", &TFtpServer::CommandMKD},
        {"XRMD", &TFtpServer::CommandRMD},      {"MDTM", &TFtpServer::CommandMDTM}, {"MODE", &TFtpServer::CommandMODE},
        {"OVER", &TFtpServer::CommandOverflow}, {"STOU", &TFtpServer::CommandSTOU},
    };
    for (const TFtpBuiltinCommand& builtin : kBuiltins) AddCommand(builtin.keyword, Bound(builtin.handler));
}

TFtpServer::TFtpSrvCommandProc TFtpServer::Bound(TFtpCommandHandler handler)
{
    // Called through the member pointer, so a derived server's override is the one that runs.
    return [this, handler](TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer) {
        (this->*handler)(client, keyword, params, answer);
    };
}

void TFtpServer::AddCommand(const std::string& keyword, TFtpSrvCommandProc proc)
{
    loop_->AssertOwnerThread();
    if (commandTable_.size() >= static_cast<std::size_t>(kMaxCommands)) throw FtpServerException("Too many command");
    commandTable_.push_back({keyword, std::move(proc)});
}

void TFtpServer::ClientCommand(TFtpCtrlSocket* client, const char* cmdBuf, int cmdLen)
{
    loop_->AssertOwnerThread();
    const long long number = client->ClientNumber();
    std::string keyword, params, answer;
    try {
        SplitFtpCommandLine(RemoveTelnetEscapes(std::string_view(cmdBuf, static_cast<std::size_t>(cmdLen))), keyword,
                            params);
        TriggerClientCommand(client, keyword, params, answer);
        if (answer.empty()) DispatchCommand(client, keyword, params, answer);
    } catch (const std::exception& e) {
        answer = std::string("501 ") + e.what();
    } catch (...) {
        answer = "501 Unknown error";
    }
    // A handler that disconnected the client has had its last event already.
    if (FindClientByNumber(number) != client) return;
    if (client->CommandsHeld()) return;  // the owner answers later (AnswerLogin)
    SendAnswer(client, answer);
    if (client->SecureStartPending) StartPendingControlTls(client);
}

void TFtpServer::DispatchCommand(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer)
{
    if (keyword.empty()) {
        answer = NotUnderstood(params);
        return;
    }
    if (RefusePlainLogin(client, keyword, params, answer)) return;
    for (const auto* table : {&commandTable_, &extensionTable_}) {
        for (const TFtpCommandEntry& entry : *table) {
            if (entry.keyword != keyword) continue;
            entry.proc(client, keyword, params, answer);
            return;
        }
    }
    answer = NotUnderstood(keyword);
}

void TFtpServer::SendAnswer(TFtpCtrlSocket* client, std::string answer)
{
    loop_->AssertOwnerThread();
    try {
        TriggerSendAnswer(client, answer);
        client->SendAnswer(answer);
    } catch (...) {
        // A reply that cannot be sent is lost with its connection; the close path follows.
    }
}

bool TFtpServer::CheckLoggedIn(TFtpCtrlSocket* client, std::string& answer)
{
    if (client->FtpState() == ftpcReady) return true;
    answer = "530 Please login with USER and PASS.";
    return false;
}

}  // namespace corvane
