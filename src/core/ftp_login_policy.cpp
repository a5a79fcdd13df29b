// The session policy's login: the password check off the server thread, the admission of an
// account's connection, the pause after a failed login and the bans of addresses that guess.
#include "accounts/permissions.h"
#include "core/after_login_settings.h"
#include "core/ftp_session_policy.h"
#include "core/log_lines.h"
#include "core/session_book.h"
#include "core/session_table.h"
#include "ftp/ftp_server.h"
#include "platform/event_loop.h"
#include "platform/fs.h"

namespace corvane {

void FtpSessionPolicy::ApplyLoginSettings(const LoginBanRules& rules, bool exemptAllowList)
{
    bans_.SetRules(rules);
    // Mode 0 lists the addresses let in: with the switch on, those are never banned.
    if (exemptAllowList)
        bans_.SetExemptTest([&rules = accounts_.IpRules()](const std::string& address) {
            return rules.GetIpRuleMode() == 0 && rules.CheckClientAddress(address, 0, [] { return std::string(); });
        });
    else bans_.SetExemptTest(nullptr);
}

bool FtpSessionPolicy::RefusedAsBanned(serversClientClass& client)
{
    if (!bans_.Banned(client.PeerAddr(), LoginBanBook::Clock::now())) return false;
    LogAbout(client, RefusedWhileBannedLine);
    CloseBanned(client);
    return true;
}

void FtpSessionPolicy::CloseBanned(serversClientClass& client)
{
    client.SendStr(kBannedLine);
    // The refusal must be read: an orderly close, never a reset that may destroy it.
    client.FinishSending();
    if (server_ != nullptr) server_->Disconnect(&client);
}

void FtpSessionPolicy::Authenticate(serversClientClass& client, const std::string& user, const std::string& password,
                                    bool& authenticated, std::string& answer)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    authenticated = false;
    // A second login on the same connection gives the first one's counts back before it
    // takes its own, so the counts never grow with repeated logins.
    if (client.authenticated) {
        client.authenticated = false;
        GiveBackConnection(client.admittedAccount, client.PeerAddr());
    }
    if (RefusedAsBanned(client)) return;
    permissionsClass::LoginCheck check = accounts_.LoginCheckFor(user);
    if (check.known && check.anyPassword) {  // nothing to check: no hash, no pause
        AdmitLogin(client, user, authenticated, answer);
        return;
    }
    server_->DeferLoginAnswer(&client);
    checks_.Check(client.PeerAddr(), std::move(check), password,
                  [this, number = client.ClientNumber(), user](PasswordVerdict verdict) {
                      PasswordChecked(number, user, verdict);
                  });
}

void FtpSessionPolicy::PasswordChecked(long long clientNumber, const std::string& user, PasswordVerdict verdict)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    auto* client =
        server_ == nullptr ? nullptr : static_cast<serversClientClass*>(server_->FindClientByNumber(clientNumber));
    if (client == nullptr) return;  // it hung up, or was disconnected, while the check ran
    // Banned meanwhile (by the other guesses of its address): even the right password is refused.
    if (RefusedAsBanned(*client)) return;
    if (verdict != PasswordVerdict::Accepted) {
        RefuseLogin(*client, user, verdict);
        return;
    }
    bool authenticated = false;
    std::string answer;
    AdmitLogin(*client, user, authenticated, answer);
    server_->AnswerLogin(client, authenticated, answer, std::string());
}

void FtpSessionPolicy::RefuseLogin(serversClientClass& client, const std::string& user, PasswordVerdict verdict)
{
    // A wrong password has no reason of its own in the log line.
    const std::string reason = verdict == PasswordVerdict::Unreadable ? std::string(kUnreadablePasswordReply) : "";
    LogAbout(client, [user, reason](const std::string& peer) { return RejectedLine(peer, user, reason); });
    client.SetUserName("");
    client.SetPassWord("");
    const std::string address = client.PeerAddr();
    const LoginBanBook::Failure failure = bans_.NoteFailure(address, LoginBanBook::Clock::now());
    if (failure.banStarted) {
        const long long seconds = bans_.Rules().ban.count();
        LogAbout(client, [failure, seconds](const std::string& peer) {
            return BannedLine(peer, failure.counted, seconds);
        });
        bansChanged_();
        CloseBanned(client);
        // The guesses still queued from the address are not worth their hashes.
        for (auto& verdictOfDropped : checks_.DropQueued(address)) verdictOfDropped(PasswordVerdict::Refused);
        return;
    }
    const std::string refusal = reason;
    const long long number = client.ClientNumber();
    auto answer = [this, number, refusal] {
        if (auto* c = server_ == nullptr ? nullptr : server_->FindClientByNumber(number))
            server_->AnswerLogin(c, false, std::string(), refusal);
    };
    if (failure.pause.count() <= 0) {
        answer();
        return;
    }
    // A timer, never a wait: the thread serves everyone else during the pause.
    std::weak_ptr<bool> alive = alive_;
    EventLoop::Current()->AddOneShot(failure.pause, [alive, answer] {
        if (auto token = alive.lock(); token && *token) answer();
    });
}

void FtpSessionPolicy::AdmitLogin(serversClientClass& client, const std::string& user, bool& authenticated,
                                  std::string& answer)
{
    if (!accounts_.AdmitConnection(user, client.PeerAddr())) {
        answer = kTooManyForAccount;
    } else {
        const std::string home = accounts_.Folders().GetHomeFolder(user);
        if (home.empty() || !fs::RealFolderExists(home)) {
            GiveBackConnection(user, client.PeerAddr());
            answer = kNoHomePath;
        } else {
            LogAbout(client, [user](const std::string& peer) { return AuthenticatedLine(peer, user); });
            client.SetHomeDirectory(home);
            sessions_.setSessionAction(&client, saLoggedIn);
            authenticated = true;
            client.authenticated = true;
            client.admittedAccount = user;
        }
    }
    if (!authenticated) {
        LogAbout(client, [user, answer](const std::string& peer) { return RejectedLine(peer, user, answer); });
        client.SetUserName("");
        client.SetPassWord("");
        return;
    }
    if (afterLogin_.afterLoginEnabled()) answer = afterLogin_.afterLoginText();
}

}  // namespace corvane
