// TFtpServer: sizes, dates and file management (SIZE, MDTM, DELE, MKD, XMKD, RMD, XRMD, RNFR,
// RNTO). Each names a file or folder with ResolveClientPath, asks the owner through its
// validation event on the real path, and only then looks at the parameter and the file system,
// on that same path: an empty parameter is refused only once the owner has allowed the
// operation on the current folder (RNFR, which names what leaves a folder, refuses it first).
// Replies carry local paths; an owner that wants to hide them rewrites replies in
// OnAnswerToClient.
#include "ftp/ftp_server.h"

#include "ftp/ftp_file_times.h"
#include "ftp/ftp_paths.h"
#include "platform/cross_device_move.h"
#include "platform/fs.h"
#include "platform/writer_probe.h"

namespace corvane {
namespace {

constexpr char kSyntaxError[] = "501 Syntax error in parameter.";

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

bool EntryExists(const std::string& path) { return fs::StatReal(path).has_value(); }

// A file that an upload is writing stays, as the system's share modes would keep it.
bool DeleteFileNotBeingWritten(const std::string& path)
{
    if (fs::RealFileOpenForWriting(path)) return false;
    return fs::DeleteRealFile(path);
}

}  // namespace

void TFtpServer::CommandSIZE(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcSIZE);
    ClientPath path = ResolveClientPath(client->Directory(), params);
    bool allowed = true;
    AskOwnerOn(path, [&](std::string& real) { TriggerValidateSize(client, real, allowed); });
    if (!allowed) {
        answer = "501 Permission Denied";
        return;
    }
    if (params.empty()) {
        answer = kSyntaxError;
        return;
    }
    try {
        const auto info = fs::StatReal(path.real);
        if (!info || info->isDirectory) answer = "550 Command failed: File not found.";
        else answer = "213 " + std::to_string(info->size);
    } catch (const std::exception& e) {
        answer = std::string("550 Command failed: ") + e.what() + ".";
    }
}

void TFtpServer::CommandMDTM(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    client->SetCurrentCommand(ftpcMDTM);
    ClientPath path = ResolveClientPath(client->Directory(), params);
    if (params.empty()) {
        answer = "501 Syntax error in MDTM parameter.";
        return;
    }
    if (!fs::RealFileExists(path.real)) {
        answer = "550 " + Quoted(path.named) + ": no such file or directory.";
        return;
    }
    try {
        const std::string stamp = FileUtcStr(path.real);
        answer = stamp.empty() ? std::string("550 UTC File time retrieval failed") : "213 " + stamp;
    } catch (const std::exception& e) {
        answer = std::string("550 Command failed: ") + e.what() + ".";
    }
}

void TFtpServer::CommandDELE(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcDELE);
    ClientPath path = ResolveClientPath(client->Directory(), params);
    bool allowed = true;
    AskOwnerOn(path, [&](std::string& real) { TriggerValidateDele(client, real, allowed); });
    if (!allowed) {
        answer = "550 Cannot delete.";
        return;
    }
    if (params.empty()) {
        answer = kSyntaxError;
        return;
    }
    if (!fs::RealFileExists(path.real)) {
        answer = "550 " + Quoted(path.named) + ": no such file or directory.";
        return;
    }
    answer = DeleteFileNotBeingWritten(path.real) ? "250 File " + Quoted(path.named) + " deleted."
                                                  : "450 File " + Quoted(path.named) + " can't be deleted.";
}

void TFtpServer::CommandMKD(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(keyword == "XMKD" ? ftpcXMKD : ftpcMKD);
    // Everything, the file-path rule included, answers in this command's own terms.
    try {
        ClientPath path = ResolveClientPath(client->Directory(), params);
        bool allowed = true;
        AskOwnerOn(path, [&](std::string& real) { TriggerMakeDirectory(client, real, allowed); });
        if (!allowed) {
            answer = "550 " + Quoted(path.named) + ": can't create directory.";
            return;
        }
        if (params.empty()) {
            answer = kSyntaxError;
            return;
        }
        if (fs::RealFileExists(path.real)) {
            answer = "550 " + Quoted(path.named) + ": file or directory already exists.";
            return;
        }
        answer = fs::MakeRealFolder(path.real) ? "257 " + Quoted(path.named) + ": directory created."
                                               : "550 " + Quoted(path.named) + ": can't create directory.";
    } catch (const std::exception& e) {
        answer = "550 " + Quoted(e.what()) + ": can't create directory.";
    }
}

void TFtpServer::CommandRMD(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(keyword == "XRMD" ? ftpcXRMD : ftpcRMD);
    ClientPath path = ResolveClientPath(client->Directory(), params);
    bool allowed = true;
    AskOwnerOn(path, [&](std::string& real) { TriggerValidateRmd(client, real, allowed); });
    if (!allowed) {
        answer = "500 Cannot remove directory.";
        return;
    }
    if (params.empty()) {
        answer = kSyntaxError;
        return;
    }
    if (!EntryExists(path.real)) {
        answer = "550 " + Quoted(path.named) + ": no such directory.";
        return;
    }
    answer = fs::RemoveRealFolder(path.real) ? "250 " + Quoted(path.named) + ": directory removed."
                                             : "550 " + Quoted(path.named) + ": can't remove directory.";
}

void TFtpServer::CommandRNFR(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcRNFR);
    if (params.empty()) {
        // Asked about the current folder, the owner would decide on the folder above it and
        // answer a missing name with a refusal. Clients look only at the code; the text has
        // always read so.
        answer = "501 Syntax error is parameter.";
        return;
    }
    ClientPath path = ResolveClientPath(client->Directory(), params);
    bool allowed = true;
    AskOwnerOn(path, [&](std::string& real) { TriggerValidateRnFr(client, real, allowed); });
    if (!allowed) {
        answer = "500 Cannot RNFR.";
        return;
    }
    if (!EntryExists(path.real)) {
        // An earlier source stays in place.
        answer = "550 " + Quoted(path.named) + ": no such file or directory.";
        return;
    }
    client->RenameFromPath = path.named;
    answer = "350 File exists, ready for destination name.";
}

void TFtpServer::CommandRNTO(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcRNTO);
    ClientPath path = ResolveClientPath(client->Directory(), params);
    bool allowed = true;
    AskOwnerOn(path, [&](std::string& real) { TriggerValidateRnTo(client, real, allowed); });
    if (!allowed) {
        answer = "500 Cannot RNTO.";
        return;
    }
    if (params.empty()) {
        answer = kSyntaxError;
        return;
    }
    if (EntryExists(path.real)) {
        answer = "553 " + Quoted(path.named) + ": file already exists.";
        return;
    }
    // RenameFromPath is never cleared: after a rename its old name is simply gone.
    const std::string& from = client->RenameFromPath;
    if (!EntryExists(RealFormOf(from))) {
        answer = "550 " + Quoted(from) + ": no such file or directory.";
        return;
    }
    client->RenameToPath = path.named;
    answer = fs::MoveReal(RealFormOf(from), path.real)
                 ? "250 File " + Quoted(from) + " renamed to " + Quoted(path.named) + "."
                 : "450 File " + Quoted(from) + " can't be renamed.";
}

}  // namespace corvane
