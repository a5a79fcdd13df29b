// TFtpServer: the extension table, the commands beyond the 32 of the command table that
// today's clients expect, and the small ones among them: FEAT, OPTS, HELP, ALLO and the
// X-forms of CWD and CDUP. The data-connection commands EPSV and EPRT and the machine
// listings are in files of their own.
#include <algorithm>
#include <cctype>
#include <vector>

#include "ftp/ftp_command_line.h"
#include "ftp/ftp_features.h"
#include "ftp/ftp_server.h"

namespace corvane {
namespace {

std::string UpperCase(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// OPTS UTF8 takes ON or OFF; names go out as the bytes they are on disk either way.
std::string Utf8Option(TFtpCtrlSocket* client, const std::string& value)
{
    const std::string upper = UpperCase(TrimBlanks(value));
    if (upper != "ON" && upper != "OFF") return "501 OPTS UTF8 takes ON or OFF.";
    client->SessionOptions.utf8 = upper == "ON";
    return "200 UTF8 set to " + std::string(upper == "ON" ? "on" : "off") + ".";
}

std::string MlstOption(TFtpCtrlSocket* client, const std::string& facts)
{
    client->SessionOptions.mlsxFacts = ParseMlsxFactSelection(TrimBlanks(facts));
    return "200 MLST OPTS " + MlsxFactNames(client->SessionOptions.mlsxFacts, false);
}

}  // namespace

void TFtpServer::FillExtensionTable()
{
    static const TFtpBuiltinCommand kExtensions[] = {
        {"FEAT", &TFtpServer::CommandFEAT}, {"OPTS", &TFtpServer::CommandOPTS}, {"HELP", &TFtpServer::CommandHELP},
        {"ALLO", &TFtpServer::CommandALLO}, {"XCWD", &TFtpServer::CommandCWD},  {"XCUP", &TFtpServer::CommandCDUP},
        {"EPSV", &TFtpServer::CommandEPSV}, {"EPRT", &TFtpServer::CommandEPRT}, {"MLSD", &TFtpServer::CommandMLSD},
        {"MLST", &TFtpServer::CommandMLST}, {"MFMT", &TFtpServer::CommandMFMT}, {"CHMOD", &TFtpServer::CommandCHMOD},
        {"AUTH", &TFtpServer::CommandAUTH}, {"PBSZ", &TFtpServer::CommandPBSZ}, {"PROT", &TFtpServer::CommandPROT},
        {"CCC", &TFtpServer::CommandCCC},
    };
    for (const TFtpBuiltinCommand& extension : kExtensions)
        extensionTable_.push_back({extension.keyword, Bound(extension.handler)});
}

void TFtpServer::CommandFEAT(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    // No login needed: clients ask before they log in.
    client->SetCurrentCommand(ftpcFEAT);
    answer = FeatReply(*client, SecureAvailable());
}

void TFtpServer::CommandOPTS(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    client->SetCurrentCommand(ftpcOPTS);
    const std::string trimmed = TrimBlanks(params);
    const std::size_t blank = trimmed.find(' ');
    const std::string name = UpperCase(trimmed.substr(0, blank));
    const std::string value = blank == std::string::npos ? std::string() : trimmed.substr(blank + 1);
    if (name == "UTF8") answer = Utf8Option(client, value);
    else if (name == "MLST") answer = MlstOption(client, value);
    else answer = "501 OPTS " + name + " not understood.";
}

std::string TFtpServer::HelpReply(const std::string& params) const
{
    std::vector<std::string> keywords;
    for (const auto* table : {&commandTable_, &extensionTable_})
        for (const TFtpCommandEntry& entry : *table)
            // OVER stands for an over-long line; no client sends it.
            if (entry.keyword != "OVER") keywords.push_back(entry.keyword);
    std::sort(keywords.begin(), keywords.end());
    keywords.erase(std::unique(keywords.begin(), keywords.end()), keywords.end());
    const std::string asked = UpperCase(TrimBlanks(params));
    if (!asked.empty()) {
        if (std::binary_search(keywords.begin(), keywords.end(), asked)) return "214 " + asked + " is recognized.";
        return "502 Unknown command '" + asked + "'.";
    }
    std::string reply = "214-The following commands are recognized:";
    for (std::size_t i = 0; i < keywords.size(); ++i) {
        reply += i % 8 == 0 ? "\r\n " : " ";
        reply += keywords[i];
    }
    return reply + "\r\n214 Help OK.";
}

void TFtpServer::CommandHELP(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    client->SetCurrentCommand(ftpcHELP);
    answer = HelpReply(params);
}

void TFtpServer::CommandALLO(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcALLO);
    // Files grow as they are written: nothing needs reserving.
    answer = "202 No storage allocation necessary.";
}

void TFtpServer::CommandCHMOD(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                              std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    answer = "202 SITE CHMOD not necessary: the folder rights decide what may be done.";
}

void TFtpServer::TriggerFolderRights(TFtpCtrlSocket* client, const std::string& folder, TFtpFolderRights& rights)
{
    if (OnFolderRights) OnFolderRights(this, client, folder, rights);
}

void TFtpServer::TriggerValidateMlst(TFtpCtrlSocket* client, std::string& filePath, bool& allowed)
{
    if (OnValidateMlst) OnValidateMlst(this, client, filePath, allowed);
}

void TFtpServer::TriggerValidateMfmt(TFtpCtrlSocket* client, std::string& filePath, bool& allowed)
{
    if (OnValidateMfmt) OnValidateMfmt(this, client, filePath, allowed);
}

}  // namespace corvane
