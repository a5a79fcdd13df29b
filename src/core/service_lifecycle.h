// ServiceLifecycle: the FTP and HTTP services of the server thread: each engine with its
// policy, made at a start from the settings the window thread copies, and ended with its
// clients at a stop; the tick's timer, which runs while FTP does; the window's disconnects.
//
// Threads: made and destroyed by the window thread (with the server thread object); the
// engines are created, used and destroyed on the server thread. HttpServiceExists is safe from
// any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "core/tls_certificates.h"
#include "platform/event_loop.h"

namespace corvane {

class AfterLoginSettings;
class FtpSessionPolicy;
class ServerHandOff;
class ServerThreadLoop;
class SharedIndex;
class TFtpCtrlSocket;
class TFtpServer;
class THttpServer;
class WebRequestPolicy;
class WindowThread;
class ftpServerThread;
class permissionsClass;
class serverController;
struct ServerSettings;

inline constexpr const char* kFtpBanner = "220 Brinvale Corvane FTP Service Ready";
inline constexpr const char* kCannotRunServer =
    "! Cannot run server. Possible reason: this port is already used for listening.";

class ServiceLifecycle {
public:
    // The parts it steers at a start and a stop; `owner` is what the policies are made for,
    // and it hears the tick.
    struct Parts {
        ftpServerThread& owner;
        serverController& controller;
        permissionsClass& accounts;
        WindowThread& window;
        ServerHandOff& handOff;
        SharedIndex& index;
        AfterLoginSettings& afterLogin;
        const ServerThreadLoop& loop;
    };
    ServiceLifecycle(Parts parts, std::chrono::milliseconds tickInterval);
    ~ServiceLifecycle();
    ServiceLifecycle(const ServiceLifecycle&) = delete;
    ServiceLifecycle& operator=(const ServiceLifecycle&) = delete;

    // ---- Server thread ----
    void StartFtp();
    void StopFtp();
    void StartHttp();
    void StopHttp();
    // The server thread's end: the engines go with their sockets, the tick stops.
    void End();
    // The number of clients that went (a client that has gone meanwhile is not found).
    std::size_t DisconnectClient(long long clientNumber);
    std::size_t DisconnectAll();
    void disconnect(TFtpCtrlSocket* client);
    void IdleCheck();
    void ShowClientCounts();
    bool FtpActive() const;
    TFtpServer* FtpServer() { return ftp_.get(); }
    const TFtpServer* FtpServer() const { return ftp_.get(); }
    THttpServer* HttpServer() { return http_.get(); }
    // The certificate pair again (SIGHUP, "tls reload"): for new connections; what happened.
    std::string ReloadCertificates();
    // The tick: a certificate file changed on disk is loaded again.
    void CheckCertificateFiles() { certificates_.CheckForChange(); }

    // Any thread: whether the HTTP service exists (read at shut-down for RunWebServerNextTime).
    bool HttpServiceExists() const { return httpExists_.load(); }

private:
    void ApplyFtpSettings(const ServerSettings& settings);
    void StartTick();
    void StopTick();
    ServerSettings SettingsCopy();
    std::string PickedAddress(const std::string& boundAddress) const;

    Parts parts_;
    const std::chrono::milliseconds tickInterval_;
    EventLoop::TimerId tickTimer_ = 0;
    bool tickRunning_ = false;
    // Server thread only. Each policy before its engine: it outlives the engine's handlers.
    std::unique_ptr<FtpSessionPolicy> policy_;
    std::unique_ptr<TFtpServer> ftp_;
    std::unique_ptr<WebRequestPolicy> webPolicy_;
    std::unique_ptr<THttpServer> http_;
    std::atomic<bool> httpExists_{false};
    TlsCertificates certificates_;
};

}  // namespace corvane
