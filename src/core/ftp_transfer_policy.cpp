// The session policy's data-connection handlers: log lines, the credit a transfer earns or
// costs, the byte counters, the cache hooks and the throttle's pause.
#include <algorithm>
#include <climits>
#include <cmath>

#include "accounts/permissions.h"
#include "core/ftp_server_thread.h"
#include "core/ftp_session_policy.h"
#include "core/log_lines.h"
#include "common/path_text.h"
#include "ftp/ftp_server.h"

namespace corvane {

// A download held to a rate goes in blocks of about a tenth of a second at that rate, so that
// the pauses between them are short and the pace even; 0 leaves the block to the engine.
int FtpSessionPolicy::ThrottledBlockSize(long long rateKb)
{
    if (rateKb <= 0) return 0;
    constexpr long long kSmallest = 4096;
    return static_cast<int>(std::clamp<long long>(rateKb * 1024 / 10, kSmallest, INT32_MAX));
}

void FtpSessionPolicy::RetrSessionConnected(serversClientClass& client, std::uint16_t error)
{
    LogAbout(client, [error](const std::string& peer) { return RetrConnectedLine(peer, error); });
    if (error != 0) return;
    client.lastActivity = std::chrono::system_clock::now();
    if (!client.Transfer().Listing) cache_.OpenCachedFile(client.Transfer().LocalFilePath, client, false);
    client.throttle->Clear();
    client.Transfer().MaxDownloadBlock = ThrottledBlockSize(accounts_.GetMaxTransferRate(client.UserName()));
}

void FtpSessionPolicy::RetrDataSent(serversClientClass& client, std::uint16_t error)
{
    if (error != 0) {
        LogAbout(client, [error](const std::string& peer) { return RetrDataSentErrorLine(peer, error); });
        return;
    }
    // A data connection that moves bytes is activity: only a truly idle client is dropped.
    client.lastActivity = std::chrono::system_clock::now();
    ComputeThrottlePause(client);
    // A held block is a transfer at the account's rate, not silence: the client counts as
    // active until the block leaves.
    if (client.Transfer().HoldNextBlockMs > 0)
        client.lastActivity += std::chrono::milliseconds(client.Transfer().HoldNextBlockMs);
}

// The throttle's pause before the next block: the engine holds the block for it on a timer
// while the thread goes on serving everyone else. A -1 pause sends at once.
void FtpSessionPolicy::ComputeThrottlePause(serversClientClass& client)
{
    const long long rate = accounts_.GetMaxTransferRate(client.UserName());
    if (rate <= 0) return;
    const long long limit = std::min<long long>(rate * 1024, INT32_MAX);
    client.Transfer().HoldNextBlockMs =
        client.throttle->Delay(client.Transfer().TransferredBytes, static_cast<std::int32_t>(limit), true);
}

void FtpSessionPolicy::RetrSessionClosed(serversClientClass& client, std::uint16_t error)
{
    LogAbout(client, [error](const std::string& peer) { return DataClosedLine(peer, error); });
    if (client.Transfer().Listing) {
        // A listing that did not reach its end would be kept as a whole one: it counts as failed,
        // also when the client hung up without an error.
        const bool whole = error == 0 && client.Transfer().DataExhausted && !client.AbortingTransfer();
        cache_.TransferDone(client, !whole);
    } else {
        cache_.TransferDone(client, false);
        const float ratio = accounts_.GetUdRatio(AccountOf(client));
        if (ratio != 0)
            client.credit -=
                static_cast<std::int64_t>(std::trunc(client.Transfer().TransferredBytes * static_cast<double>(ratio)));
    }
    handOff_.addFtpDownloaded(static_cast<std::uint64_t>(std::max<long long>(client.Transfer().TransferredBytes, 0)));
    cache_.Changed();
}

void FtpSessionPolicy::TransferFailedBeforeSending(serversClientClass& client)
{
    constexpr std::uint16_t kFailedBeforeSending = 10000;
    RetrSessionClosed(client, kFailedBeforeSending);
}

void FtpSessionPolicy::StorSessionConnected(serversClientClass& client, std::uint16_t error)
{
    LogAbout(client, [error](const std::string& peer) { return StorOpenedLine(peer, error); });
    if (error == 0) client.lastActivity = std::chrono::system_clock::now();
}

void FtpSessionPolicy::StorDataAvailable(serversClientClass& client, std::uint16_t error)
{
    if (error != 0) {
        LogAbout(client, [error](const std::string& peer) { return StorDataReceivedErrorLine(peer, error); });
        return;
    }
    client.lastActivity = std::chrono::system_clock::now();
}

void FtpSessionPolicy::StorSessionClosed(serversClientClass& client, std::uint16_t error)
{
    LogAbout(client, [error](const std::string& peer) { return DataClosedLine(peer, error); });
    handOff_.addFtpUploaded(static_cast<std::uint64_t>(std::max<long long>(client.Transfer().TransferredBytes, 0)));
    // A file rewritten in place leaves its folder's time as it was: its cached copy and the
    // folder's listings go.
    if (!client.Transfer().LocalFilePath.empty()) {
        cache_.Invalidate(client.Transfer().LocalFilePath);
        ListingsChange(FolderOfPath(client.Transfer().LocalFilePath));
    }
    if (accounts_.GetUdRatio(AccountOf(client)) != 0) client.credit += client.Transfer().TransferredBytes;
}

// ---- Wiring ----

void FtpSessionPolicy::Wire(TFtpServer& server)
{
    server_ = &server;
    server.ClientClass = [] { return std::make_unique<serversClientClass>(); };
    const auto as = [](TFtpCtrlSocket* client) -> serversClientClass& {
        return *static_cast<serversClientClass*>(client);
    };
    server.OnClientConnect = [this, as](TFtpServer* s, TFtpCtrlSocket* c, std::uint16_t) { ClientConnect(*s, as(c)); };
    server.OnClientDisconnect = [this, as](TFtpServer*, TFtpCtrlSocket* c, std::uint16_t) { ClientDisconnect(as(c)); };
    server.OnAuthenticate = [this, as](TFtpServer*, TFtpCtrlSocket* c, const std::string& user,
                                       const std::string& password, bool& ok,
                                       std::string& answer) { Authenticate(as(c), user, password, ok, answer); };
    server.OnClientCommand = [this, as](TFtpServer*, TFtpCtrlSocket* c, std::string& keyword, std::string& params,
                                        std::string& answer) { ClientCommand(as(c), keyword, params, answer); };
    server.OnAnswerToClient = [this, as](TFtpServer*, TFtpCtrlSocket* c, std::string& answer) {
        AnswerToClient(as(c), answer);
    };
    server.OnChangeDirectory = [this, as](TFtpServer*, TFtpCtrlSocket* c, const std::string& directory, bool& ok) {
        std::string target = directory;
        ChangeDirectory(as(c), target, ok);
    };
    server.OnMakeDirectory = [this, as](TFtpServer*, TFtpCtrlSocket* c, const std::string& directory, bool& ok) {
        MakeDirectory(as(c), directory, ok);
    };
    server.OnBuildDirectory = [this, as](TFtpServer*, TFtpCtrlSocket* c, std::string& directory, bool detailed) {
        BuildDirectory(as(c), directory, detailed);
    };
    server.OnValidateGet = [this, as](TFtpServer*, TFtpCtrlSocket* c, std::string& p, bool& ok) {
        ValidateGet(as(c), p, ok);
    };
    server.OnValidateSize = [this, as](TFtpServer*, TFtpCtrlSocket* c, std::string& p, bool& ok) {
        ValidateSize(as(c), p, ok);
    };
    server.OnValidatePut = [this, as](TFtpServer*, TFtpCtrlSocket* c, std::string& p, bool& ok) {
        ValidatePut(as(c), p, ok);
    };
    server.OnValidateDele = [this, as](TFtpServer*, TFtpCtrlSocket* c, std::string& p, bool& ok) {
        ValidateDele(as(c), p, ok);
    };
    server.OnValidateRmd = [this, as](TFtpServer*, TFtpCtrlSocket* c, std::string& p, bool& ok) {
        ValidateRmd(as(c), p, ok);
    };
    server.OnValidateRnFr = [this, as](TFtpServer*, TFtpCtrlSocket* c, std::string& p, bool& ok) {
        ValidateRnFr(as(c), p, ok);
    };
    server.OnValidateRnTo = [this, as](TFtpServer*, TFtpCtrlSocket* c, std::string& p, bool& ok) {
        ValidateRnTo(as(c), p, ok);
    };
    server.OnValidateMlst = [this, as](TFtpServer*, TFtpCtrlSocket* c, std::string& p, bool& ok) {
        ValidateMlst(as(c), p, ok);
    };
    server.OnValidateMfmt = [this, as](TFtpServer*, TFtpCtrlSocket* c, std::string& p, bool& ok) {
        ValidateMfmt(as(c), p, ok);
    };
    server.OnFolderRights = [this, as](TFtpServer*, TFtpCtrlSocket* c, const std::string& folder, TFtpFolderRights& r) {
        FolderRights(as(c), folder, r);
    };
    server.OnRetrSessionConnected = [this, as](TFtpServer*, TFtpCtrlSocket* c, TWSocket*, std::uint16_t e) {
        RetrSessionConnected(as(c), e);
    };
    server.OnRetrDataSent = [this, as](TFtpServer*, TFtpCtrlSocket* c, TWSocket*, std::uint16_t e) {
        RetrDataSent(as(c), e);
    };
    server.OnRetrSessionClosed = [this, as](TFtpServer*, TFtpCtrlSocket* c, TWSocket*, std::uint16_t e) {
        RetrSessionClosed(as(c), e);
    };
    server.OnTransferFailedBeforeSending = [this, as](TFtpServer*, TFtpCtrlSocket* c) {
        TransferFailedBeforeSending(as(c));
    };
    server.OnStorSessionConnected = [this, as](TFtpServer*, TFtpCtrlSocket* c, TWSocket*, std::uint16_t e) {
        StorSessionConnected(as(c), e);
    };
    server.OnStorDataAvailable = [this, as](TFtpServer*, TFtpCtrlSocket* c, TWSocket*, char*, int, std::uint16_t e) {
        StorDataAvailable(as(c), e);
    };
    server.OnStorSessionClosed = [this, as](TFtpServer*, TFtpCtrlSocket* c, TWSocket*, std::uint16_t e) {
        StorSessionClosed(as(c), e);
    };
}

}  // namespace corvane
