// TFtpServer: the machine listings MLSD and MLST (RFC 3659) and MFMT, which sets a file's
// modification time. MLSD travels like LIST (the owner's OnBuildDirectory decides what may be
// shown, the same data connection and replies); MLST answers on the control connection. The
// owner's OnFolderRights gives the account's rights that the perm facts tell.
#include <string_view>

#include "common/path_text.h"
#include "ftp/ftp_command_line.h"
#include "ftp/ftp_listing.h"
#include "ftp/ftp_paths.h"
#include "ftp/ftp_server.h"

namespace corvane {
namespace {

constexpr std::string_view kAllEntries = "*.*";

bool BreaksLines(std::string_view name) { return name.find_first_of("\r\n") != std::string_view::npos; }

// The folder an MLSD names: LIST's pattern without its "*.*", or the one entry it names with a
// final backslash. Not a folder when the name was a file, a pattern or nothing at all.
std::string MachineListingFolder(const std::string& directory, const std::string& params)
{
    const std::string pattern = ListingPattern(directory, params);
    if (std::string_view(pattern).ends_with(kAllEntries) && pattern.size() > kAllEntries.size() &&
        pattern[pattern.size() - kAllEntries.size() - 1] == '\\')
        return pattern.substr(0, pattern.size() - kAllEntries.size());
    return AddTrailingBackslash(pattern);
}

std::string NoSuchEntry(const std::string& path) { return "550 '" + path + "': no such file or directory."; }

}  // namespace

void TFtpServer::BuildListingFor(TFtpCtrlSocket* client, const std::string& params, std::ostream& stream, bool detailed)
{
    if (client->CurrentCommand() == ftpcMLSD) BuildMachineListing(client, params, stream);
    else BuildDirectory(*client, params, stream, detailed);
}

void TFtpServer::BuildMachineListing(TFtpCtrlSocket* client, const std::string& params, std::ostream& stream)
{
    const std::string folder = MachineListingFolder(client->Directory(), params);
    const unsigned facts = client->SessionOptions.mlsxFacts;
    const bool withPerm = (facts & (1u << mlsxPerm)) != 0;
    TFtpFolderRights here;
    if (withPerm) TriggerFolderRights(client, folder, here);
    std::string text;
    for (const fs::FileInfo& entry : fs::ListRealFolder(folder, false)) {
        // As in LIST: hidden entries are not shown, and a name with CR or LF would split its line.
        if (entry.isHidden || BreaksLines(entry.name)) continue;
        TFtpFolderRights inside;
        if (withPerm && entry.isDirectory) TriggerFolderRights(client, folder + entry.name + "\\", inside);
        text += MlsxLine(entry, facts, withPerm ? MlsxPermFact(entry, here, inside) : std::string());
    }
    stream.write(text.data(), static_cast<std::streamsize>(text.size()));
}

bool TFtpServer::MachineListingRefused(TFtpCtrlSocket* client, const std::string& params, std::string& answer)
{
    if (client->CurrentCommand() != ftpcMLSD) return false;
    const std::string folder = MachineListingFolder(client->Directory(), params);
    if (fs::RealFolderExists(folder)) return false;
    // Clients take 550 as "no such folder" (and create it); a listing of one line would not do.
    answer = "550 '" + folder + "': no such directory.";
    return true;
}

void TFtpServer::CommandMLSD(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcMLSD);
    if (!BeginTransfer(client, ftpcMLSD, answer)) return;
    CommandDirectory(client, params, true, answer);
}

void TFtpServer::CommandMLST(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcMLST);
    const std::string shown = params.empty() ? "/" + ToSlashes(client->Directory()) : params;
    ClientPath path = params.empty() ? ClientPath{client->Directory(), RealFormOf(client->Directory())}
                                     : ResolveClientPath(client->Directory(), params);
    bool allowed = !BreaksLines(params);
    if (allowed) AskOwnerOn(path, [&](std::string& real) { TriggerValidateMlst(client, real, allowed); });
    const auto entry = allowed ? fs::StatReal(RemoveTrailingBackslash(path.real)) : std::nullopt;
    if (!entry || entry->isHidden) {
        answer = NoSuchEntry(path.named);
        return;
    }
    const unsigned facts = client->SessionOptions.mlsxFacts;
    TFtpFolderRights folder, inside;
    if ((facts & (1u << mlsxPerm)) != 0) {
        TriggerFolderRights(client, ParentFolderOf(path.real), folder);
        if (entry->isDirectory) TriggerFolderRights(client, AddTrailingBackslash(path.real), inside);
    }
    answer = "250-Listing " + shown + "\r\n " + MlsxFacts(*entry, facts, MlsxPermFact(*entry, folder, inside)) + " " +
             shown + "\r\n250 End";
}

void TFtpServer::CommandMFMT(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcMFMT);
    const std::size_t blank = params.find(' ');
    const std::size_t nameStart = blank == std::string::npos ? blank : params.find_first_not_of(' ', blank);
    const std::string name = nameStart == std::string::npos ? std::string() : params.substr(nameStart);
    const auto time = ParseMlsxTime(std::string_view(params).substr(0, blank));
    if (!time || name.empty() || BreaksLines(name)) {
        answer = "501 Syntax error in MFMT parameter.";
        return;
    }
    ClientPath path = ResolveClientPath(client->Directory(), name);
    bool allowed = true;
    AskOwnerOn(path, [&](std::string& real) { TriggerValidateMfmt(client, real, allowed); });
    const auto before = allowed ? fs::StatReal(path.real) : std::nullopt;
    if (!allowed || !before || before->isDirectory) {
        answer = NoSuchEntry(path.named);
        return;
    }
    if (!fs::SetRealModificationTime(path.real, *time)) {
        answer = "550 '" + path.named + "': can't set the modification time.";
        return;
    }
    // A file system keeps the nearest moment it can hold: reported as set, a time it cut would
    // be a silent change to another date. The file gets its old time back.
    const auto after = fs::StatReal(path.real);
    if (!after || after->mtime != *time) {
        fs::SetRealModificationTime(path.real, before->mtime);
        answer = "550 '" + path.named + "': the file system cannot hold that time.";
        return;
    }
    answer = "213 Modify=" + MlsxTime(*time) + "; " + name;
}

}  // namespace corvane
