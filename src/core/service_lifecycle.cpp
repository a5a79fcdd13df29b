#include "core/service_lifecycle.h"

#include <exception>

#include "common/ip_text.h"
#include "core/after_login_settings.h"
#include "core/ftp_server_thread.h"
#include "core/ftp_session_policy.h"
#include "core/ftp_tls_setup.h"
#include "core/server_controller.h"
#include "core/server_hand_off.h"
#include "core/server_thread_loop.h"
#include "core/shared_index.h"
#include "core/status_texts.h"
#include "core/web_request_policy.h"
#include "ftp/ftp_server.h"
#include "http/http_server.h"

namespace corvane {

ServiceLifecycle::ServiceLifecycle(Parts parts, std::chrono::milliseconds tickInterval)
    : parts_(parts),
      tickInterval_(tickInterval),
      certificates_([&handOff = parts.handOff](const std::string& line) { handOff.log(line); })
{}

ServiceLifecycle::~ServiceLifecycle() = default;

ServerSettings ServiceLifecycle::SettingsCopy()
{
    ServerSettings settings;
    serverController& controller = parts_.controller;
    parts_.window.RunAndWait([&controller, &settings] { settings = controller.settings(); });
    return settings;
}

// ---- FTP service ----

void ServiceLifecycle::StartFtp()
{
    parts_.loop.AssertOwner();
    // The window offers the start only while the service is stopped; a start after a failed
    // one replaces the engine that could not listen.
    if (ftp_ && ftp_->Active()) return;
    ftp_.reset();
    policy_ = std::make_unique<FtpSessionPolicy>(parts_.owner, parts_.accounts);
    ftp_ = std::make_unique<TFtpServer>();
    // A number that named a client of an earlier engine must never name one of this one.
    ftp_->ContinueClientNumbersAfter(parts_.controller.sessions().HighestClientNumber());
    policy_->Wire(*ftp_);
    ftp_->SetBanner(kFtpBanner);
    ServerHandOff& handOff = parts_.handOff;
    ftp_->OnStart = [&handOff](TFtpServer*) { handOff.ShowServiceState(true, true); };
    ftp_->OnStop = [&handOff](TFtpServer*) { handOff.ShowServiceState(true, false); };
    parts_.index.RestartIndexer();
    const ServerSettings settings = SettingsCopy();
    ApplyFtpSettings(settings);
    parts_.owner.cacheHooks().ApplySettings(settings);
    try {
        ftp_->Start();
        StartTick();
        handOff.ResetFtpCounters();
        handOff.ShowStatusText(ListeningStatusText(PickedAddress(settings.UserSetServerIP)));
        parts_.controller.setFtpListening(true);
    } catch (const std::exception&) {
        parts_.controller.setFtpListening(false);
        handOff.log(kCannotRunServer);
        handOff.ShowServiceState(true, false);
        // The operator must see why the service is not running now, not when it next stops.
        handOff.FlushPendingLog();
    }
}

void ServiceLifecycle::ApplyFtpSettings(const ServerSettings& s)
{
    ftp_->SetMaxClients(s.MaximumNumberOfConnections);
    policy_->SetLoginTimeout(s.LoginTimeout);
    policy_->SetPrefixAsOneAddress(s.IPv6PrefixAsOneAddress);
    LoginBanRules bans;
    bans.failures = s.LoginBanFailures;
    bans.window = std::chrono::seconds(s.LoginBanWindow);
    bans.ban = std::chrono::seconds(s.LoginBanSeconds);
    bans.exemptLoopback = s.LoginBanExemptLoopback;
    policy_->ApplyLoginSettings(bans, s.LoginBanExemptAllowList);
    policy_->SetMaxWaitingPerAddress(s.MaxWaitingConnectionsPerAddress);
    ftp_->SetPort(std::to_string(s.Port));
    ftp_->SetAddr(s.UserSetServerIP);
    if (s.ManualPASVPortsEnabled) {
        std::string passiveAddress = s.PASVIP;
        ResolveAnyAddress(passiveAddress);
        ftp_->SetPasvIpAddr(passiveAddress);
        ftp_->SetPasvPortRangeStart(s.PASVPortsRangeBegin);
        ftp_->SetPasvPortRangeSize(s.MaximumNumberOfConnections);
    }
    if (s.BannerFromFile) ftp_->SetBanner("220 " + s.BannerFilePath);
    parts_.afterLogin.Apply(s);
    ApplyFtpTlsSettings(*ftp_, s, certificates_);
}

void ServiceLifecycle::StopFtp()
{
    parts_.loop.AssertOwner();
    if (!ftp_) return;
    parts_.index.StopIndexer();
    ftp_->Stop();
    // The engine's clients would go silently with it: each is disconnected first, so that it
    // gives its connection counts back and leaves the session table.
    try {
        ftp_->DisconnectAll();
    } catch (const std::exception&) {
        // A client that failed to go cleanly goes with the engine below.
    }
    parts_.controller.setFtpListening(false);
    if (!parts_.controller.httpListening()) parts_.handOff.ShowStatusText(kNotListeningStatus);
    ShowClientCounts();
    ftp_.reset();
    policy_.reset();
    parts_.handOff.FlushPendingLog();
}

bool ServiceLifecycle::FtpActive() const { return ftp_ && ftp_->Active(); }

void ServiceLifecycle::IdleCheck()
{
    parts_.loop.AssertOwner();
    if (ftp_ && policy_) policy_->IdleCheck(*ftp_);
}

void ServiceLifecycle::StartTick()
{
    EventLoop* loop = parts_.loop.Get();
    if (loop == nullptr) return;
    StopTick();
    ftpServerThread& owner = parts_.owner;
    tickTimer_ = loop->AddTimer(tickInterval_, tickInterval_, [&owner] { owner.Tick(); });
    tickRunning_ = true;
}

void ServiceLifecycle::StopTick()
{
    EventLoop* loop = parts_.loop.Get();
    if (tickRunning_ && loop != nullptr) loop->CancelTimer(tickTimer_);
    tickRunning_ = false;
}

// ---- Disconnects ----

std::size_t ServiceLifecycle::DisconnectClient(long long clientNumber)
{
    parts_.loop.AssertOwner();
    std::size_t disconnected = 0;
    if (TFtpCtrlSocket* client = ftp_ ? ftp_->FindClientByNumber(clientNumber) : nullptr) {
        try {
            ftp_->Disconnect(client);
        } catch (const std::exception&) {
            // A handler that failed on the way out: the client has left the engine all the same.
        }
        disconnected = ftp_->FindClientByNumber(clientNumber) == nullptr ? 1 : 0;
    }
    ShowClientCounts();
    return disconnected;
}

std::size_t ServiceLifecycle::DisconnectAll()
{
    parts_.loop.AssertOwner();
    std::size_t disconnected = 0;
    if (ftp_) {
        const int before = ftp_->ClientCount();
        try {
            ftp_->DisconnectAll();
        } catch (const std::exception&) {
            // As for one client: the rest were disconnected before the failure was passed on.
        }
        disconnected = static_cast<std::size_t>(before - ftp_->ClientCount());
    }
    ShowClientCounts();
    return disconnected;
}

void ServiceLifecycle::disconnect(TFtpCtrlSocket* client)
{
    parts_.loop.AssertOwner();
    if (ftp_ && ftp_->IsClient(client)) ftp_->Disconnect(client);
}

// ---- HTTP service ----

void ServiceLifecycle::StartHttp()
{
    parts_.loop.AssertOwner();
    // As for FTP: a start while listening does nothing; a start after a failed one replaces
    // the engine that could not listen.
    if (http_ && http_->Listening()) return;
    http_.reset();
    webPolicy_ = std::make_unique<WebRequestPolicy>(parts_.owner, parts_.accounts);
    http_ = std::make_unique<THttpServer>();
    webPolicy_->Wire(*http_);
    ServerHandOff& handOff = parts_.handOff;
    http_->OnServerStarted = [&handOff](THttpServer*) { handOff.ShowServiceState(false, true); };
    http_->OnServerStopped = [&handOff](THttpServer*) { handOff.ShowServiceState(false, false); };
    httpExists_.store(true);
    const ServerSettings settings = SettingsCopy();
    http_->SetAddr(settings.UserSetServerIP);
    http_->SetPort(std::to_string(settings.WebServerPort));
    http_->DocDir = settings.WebServerRoot;
    http_->DefaultDoc.clear();
    http_->MaxClients = settings.WebServerConnections;
    http_->Limits.minHeaderRate = settings.WebServerMinHeaderRate;
    webPolicy_->SetMaxWaitingPerAddress(settings.MaxWaitingConnectionsPerAddress);
    if (settings.WebServerHttpsPort > 0 && certificates_.Use(settings)) {
        http_->SetSecurePort(std::to_string(settings.WebServerHttpsPort));
        http_->SetSecureChannelMaker(certificates_.HttpsMaker());
    }
    parts_.owner.cacheHooks().ApplySettings(settings);
    webPolicy_->SetSettings(WebSettings{settings.WebServerRoot, settings.WebServerError404Answer,
                                        settings.WebServerHtmlHeader, settings.UserSetServerIP,
                                        settings.WebServerPort, settings.WebServerHttpsPort,
                                        settings.WebServerRedirectToHttps});
    InstallListingIcons(settings.WebServerRoot);
    try {
        http_->Start();
        if (!http_->SecureFailure().empty())
            handOff.log("! HTTPS not listening on port " + std::to_string(settings.WebServerHttpsPort) + ": " +
                        http_->SecureFailure());
        handOff.ShowStatusText(ListeningStatusText(PickedAddress(settings.UserSetServerIP)));
        parts_.controller.setHttpListening(true);
    } catch (const std::exception&) {
        parts_.controller.setHttpListening(false);
        handOff.ShowServiceState(false, false);
    }
}

void ServiceLifecycle::StopHttp()
{
    parts_.loop.AssertOwner();
    if (!http_) return;
    http_->Stop();
    if (!parts_.controller.ftpListening()) parts_.handOff.ShowStatusText(kNotListeningStatus);
    parts_.controller.setHttpListening(false);
    http_.reset();
    webPolicy_.reset();
    httpExists_.store(false);
    ShowClientCounts();
    parts_.handOff.FlushPendingLog();
}

std::string ServiceLifecycle::ReloadCertificates()
{
    parts_.loop.AssertOwner();
    return certificates_.Reload();
}

void ServiceLifecycle::End()
{
    parts_.loop.AssertOwner();
    http_.reset();  // the engines' sockets belong to the server thread and its loop
    webPolicy_.reset();
    ftp_.reset();
    policy_.reset();
    StopTick();
}

void ServiceLifecycle::ShowClientCounts()
{
    parts_.handOff.ShowClientCounts(ftp_ ? ftp_->ClientCount() : 0, http_ ? http_->ClientCount() : 0);
}

std::string ServiceLifecycle::PickedAddress(const std::string& boundAddress) const
{
    std::string address = boundAddress;
    HasRealLocalIp(address);
    return address;
}

}  // namespace corvane
