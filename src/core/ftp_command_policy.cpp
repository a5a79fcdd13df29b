// The session policy's command and reply handlers: activity, the log lines, the last command
// of the session view, and "/" as the user's home folder for the commands that name paths.
#include <array>
#include <cctype>

#include "accounts/permissions.h"
#include "core/ftp_server_thread.h"
#include "core/ftp_session_policy.h"
#include "core/log_lines.h"
#include "ftp/ftp_paths.h"
#include "platform/local_time_text.h"

namespace corvane {
namespace {

constexpr std::string_view kHiddenPassword = "***";

bool RebasesRootedPaths(const std::string& keyword)
{
    // With the X-form of CWD and the machine listings and MFMT, which name paths the same way.
    static constexpr std::array<std::string_view, 13> kKeywords = {
        "CWD", "LIST", "RETR", "STOR", "STOU", "MKD", "DELE", "RNFR", "RNTO", "XCWD", "MLSD", "MLST", "MFMT"};
    for (std::string_view k : kKeywords)
        if (keyword == k) return true;
    return false;
}

// MFMT names its file after the time and a blank.
std::size_t MfmtNameStart(const std::string& params)
{
    const std::size_t blank = params.find(' ');
    return blank == std::string::npos ? params.size() : blank + 1;
}

bool IsChangePasswordRequest(const std::string& params)
{
    if (params.size() < 5) return false;
    for (std::size_t i = 0; i < 5; ++i)
        if (std::toupper(static_cast<unsigned char>(params[i])) != "CHPWD"[i]) return false;
    return params.size() == 5 || params[5] == ' ';
}

// The parameters as the log and the session view show them: a password never reaches either,
// neither PASS's nor the new one of SITE CHPWD.
std::string ShownParameters(const std::string& keyword, const std::string& params)
{
    if (keyword == "PASS" && !params.empty()) return std::string(kHiddenPassword);
    if (keyword == "SITE" && IsChangePasswordRequest(params) && params.size() > 6)
        return params.substr(0, 5) + " " + std::string(kHiddenPassword);
    return params;
}

}  // namespace

void FtpSessionPolicy::ClientCommand(serversClientClass& client, std::string& keyword, std::string& params,
                                     std::string& answer)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    client.lastActivity = std::chrono::system_clock::now();
    const std::string shown = ShownParameters(keyword, params);
    LogAbout(client, [keyword, shown, local = client.GetXAddr(), time = LocalDateTimeText()](const std::string& peer) {
        return CommandLine(keyword, shown, local, peer, time);
    });
    sessions_.setLastCommand(&client, keyword + " " + shown);
    if (SiteCommand(client, keyword, params, answer)) return;
    if (keyword == "MDTM" && !params.empty()) RefuseHiddenFileTime(client, params, answer);
    if (!answer.empty()) return;
    if (!RebasesRootedPaths(keyword)) return;
    const std::size_t name = keyword == "LIST"   ? ListingNameStart(params)
                             : keyword == "MFMT" ? MfmtNameStart(params)
                                                 : 0;
    params = params.substr(0, name) +
             RebaseRootedName(params.substr(name), accounts_.Folders().GetHomeFolder(AccountOf(client)));
}

// MDTM asks no login and raises no check of its own: a file the client may not be told of is
// answered as one that does not exist, in the engine's own words.
void FtpSessionPolicy::RefuseHiddenFileTime(serversClientClass& client, const std::string& params,
                                            std::string& answer) const
{
    ClientPath path;
    try {
        path = ResolveClientPath(client.Directory(), params);
    } catch (const std::exception&) {
        return;  // the engine answers the bad path itself
    }
    if (!MayDescribe(client, path.real)) answer = "550 '" + path.named + "': no such file or directory.";
}

void FtpSessionPolicy::AnswerToClient(serversClientClass& client, std::string& answer)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    LogAbout(client, [answer, local = client.GetXAddr(), time = LocalDateTimeText()](const std::string& peer) {
        return ReplyLine(answer, local, peer, time);
    });
}

}  // namespace corvane
