// TFtpServer: login and navigation (USER, PASS, CWD, CDUP, PWD, XPWD, SYST, TYPE, MODE).
#include <cctype>
#include <exception>

#include "ftp/ftp_command_line.h"
#include "ftp/ftp_paths.h"
#include "ftp/ftp_server.h"

namespace corvane {
namespace {

std::string UpperCase(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

void TFtpServer::CommandUSER(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    client->SetCurrentCommand(ftpcUSER);
    // Accepted in every state: a logged-in client that names a user again is logged out by it.
    client->SetUserName(TrimBlanks(params));
    client->SetFtpState(ftpcWaitingPassword);
    answer = "331 Password required for " + client->UserName() + ".";
}

void TFtpServer::CommandPASS(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    client->SetCurrentCommand(ftpcPASS);
    if (client->FtpState() != ftpcWaitingPassword) {
        answer = "503 Login with USER first.";
        return;
    }
    client->SetPassWord(TrimBlanks(params));
    bool authenticated = true;
    answer.clear();
    TriggerAuthenticate(client, client->UserName(), client->PassWord(), authenticated, answer);
    if (client->CommandsHeld()) return;  // the owner answers once the password has been checked
    ConcludeLogin(client, authenticated, answer, std::string());
}

void TFtpServer::DeferLoginAnswer(TFtpCtrlSocket* client)
{
    loop_->AssertOwnerThread();
    client->HoldCommands();
}

void TFtpServer::AnswerLogin(TFtpCtrlSocket* client, bool authenticated, std::string answer, const std::string& refusal)
{
    loop_->AssertOwnerThread();
    const long long number = client->ClientNumber();
    try {
        ConcludeLogin(client, authenticated, answer, refusal);
    } catch (const std::exception& e) {
        answer = std::string("501 ") + e.what();
    }
    if (FindClientByNumber(number) != client) return;
    SendAnswer(client, answer);
    client->ReleaseCommands();
}

void TFtpServer::ConcludeLogin(TFtpCtrlSocket* client, bool authenticated, std::string& answer,
                               const std::string& refusal)
{
    if (!authenticated) {
        client->SetFtpState(ftpcWaitingUserCode);
        answer = refusal.empty() ? "530 Login incorrect." : refusal;
        return;
    }
    client->SetFtpState(ftpcReady);
    // The owner's welcome lines come first, the 230 line last. A home that the path rules
    // refuse is answered "501 " + reason by the dispatcher; the client stays logged in.
    client->SetDirectory(client->HomeDirectory());
    answer += "230 User " + client->UserName() + " logged in.";
}

void TFtpServer::CommandCWD(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcCWD);
    CommandChangeDir(client, keyword, params, answer);
}

void TFtpServer::CommandCDUP(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcCDUP);
    params = "..";  // whatever followed CDUP is ignored
    CommandChangeDir(client, keyword, params, answer);
}

void TFtpServer::CommandChangeDir(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params,
                                  std::string& answer)
{
    const std::string previous = client->Directory();
    try {
        params = TrimBlanks(ToBackslashes(params));
        client->SetDirectory(params);
        bool allowed = true;
        TriggerChangeDirectory(client, client->Directory(), allowed);
        if (allowed) {
            answer = "250 CWD command successful. \"" + ToSlashes(client->Directory()) + "\" is current directory.";
            return;
        }
        client->RestoreDirectory(previous);
        answer = "501 CWD failed. No permission";
    } catch (const std::exception& e) {
        client->RestoreDirectory(previous);
        answer = std::string("501 CWD failed. ") + e.what();
    }
}

void TFtpServer::CommandPWD(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                            std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcPWD);
    answer = "257 \"/" + ToSlashes(client->Directory()) + "\" is current directory.";
}

void TFtpServer::CommandXPWD(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcXPWD);
    answer = "257 \"/" + ToSlashes(client->Directory()) + "\" is current directory.";
}

void TFtpServer::CommandSYST(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcSYST);
    answer = "215 UNIX Type: Brinvale Corvane (Tiv)";
}

void TFtpServer::CommandTYPE(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcTYPE);
    const std::string type = UpperCase(TrimBlanks(params));
    // The type changes nothing: every transfer copies the bytes as they are.
    if (type == "A" || type == "A N" || type == "I") answer = "200 Type set to " + params + ".";
    else answer = "500 'TYPE " + params + "': command not understood.";
}

void TFtpServer::CommandMODE(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcMODE);
    if (params.empty()) answer = "501 Missing argument for MODE";
    else if (params == "S" || params == "s") answer = "200 MODE Ok";
    else answer = "502 MODE other than S not supported";
}

}  // namespace corvane
