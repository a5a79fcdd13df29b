// ftpServerThread: the one worker thread that does all network work of the server. It owns the
// FTP engine, runs its own EventLoop (every socket and timer event of every client arrives
// there), takes the window thread's numbered commands, and talks back by running short
// closures on the window thread and waiting for them (runOnGui).
//
// Threads: the window thread creates it, posts commands, writes the client-to-disconnect slot
// before posting MSG_DISCONNECT_CLIENT, asks it to terminate and waits for it to end; every
// other member runs on the server thread. The engines are created and destroyed there.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/server_commands.h"
#include "core/server_settings.h"
#include "platform/event_loop.h"

namespace corvane {

class permissionsClass;
class serverController;
class ServerView;
class TFtpCtrlSocket;
class TFtpServer;
class WindowThread;

inline constexpr const char* kFtpBanner = "220 Brinvale Corvane FTP Service Ready";
inline constexpr const char* kCannotRunServer =
    "! Cannot run server. Possible reason: this port is already used for listening.";
inline constexpr std::chrono::milliseconds kTickInterval{10000};

class ftpServerThread {
public:
    // Window thread. Starts the thread at once; its queue exists a moment later.
    // `tickInterval` is the system's 10 s; tests shorten it.
    ftpServerThread(serverController& controller, permissionsClass& accounts, WindowThread& window,
                    std::chrono::milliseconds tickInterval = kTickInterval);
    // Window thread. Asks the thread to end and joins it: call only once the thread has ended
    // (Running() false), or the join waits without serving the window thread's queue.
    ~ftpServerThread();
    ftpServerThread(const ftpServerThread&) = delete;
    ftpServerThread& operator=(const ftpServerThread&) = delete;

    // ---- Window thread ----
    // Queues a command; false while the thread's queue does not exist yet (or no longer).
    bool PostCommand(ServerCommand message);
    // Asks the thread to end after the event it is handling.
    void RequestTerminate();
    // True until the thread's body has returned.
    bool Running() const { return running_.load(); }
    void SetClientToDisconnect(TFtpCtrlSocket* client) { clientToDisconnect_.store(client); }
    // Whether the HTTP service exists (read at shut-down for RunWebServerNextTime).
    bool HttpServiceExists() const { return httpExists_.load(); }

    // ---- Server thread ----
    void log(const std::string& line);
    void addFtpDownloaded(std::uint64_t bytes);
    void addFtpUploaded(std::uint64_t bytes);
    void addHttpBytes(std::uint64_t bytes);
    void disconnect(TFtpCtrlSocket* client);
    // Blocks the server thread until the window thread has run the closure.
    void runOnGui(const std::function<void()>& closure);
    TFtpServer* FtpServer() { return ftp_.get(); }
    // Copied from the settings at each FTP start, for the login and download policies.
    const std::string& afterLoginText() const { return afterLoginText_; }
    bool afterLoginEnabled() const { return afterLoginEnabled_; }
    bool webLinkRequired() const { return webLinkRequired_; }
    std::uint32_t reindexCounter() const { return reindexCounter_.load(); }
    const std::vector<std::string>& pendingLog() const { return pendingLog_; }

private:
    void Body();
    void HandleCommand(ServerCommand message);
    void StartFtp();
    void ApplyFtpSettings(const ServerSettings& settings);
    void StopFtp();
    void StartHttp();
    void StopHttp();
    void DisconnectClient();
    void DisconnectAll();
    void RefreshCacheView();
    void Tick();
    void IdleCheck();
    void RestartIndexer();
    void StopIndexer();
    void FlushPendingLog();
    void UpdateCounts();
    void ShowFtpCounters();
    void ShowStatusText(const std::string& text);
    void ShowServiceState(bool ftp, bool started);
    std::string PickedAddress(const std::string& boundAddress) const;

    serverController& controller_;
    permissionsClass& accounts_;
    WindowThread& window_;

    // Server thread only.
    std::unique_ptr<TFtpServer> ftp_;
    std::uint64_t httpBytesSent_ = 0;
    std::uint64_t ftpBytesDownloaded_ = 0;
    std::uint64_t ftpBytesUploaded_ = 0;
    const std::chrono::milliseconds tickInterval_;
    EventLoop::TimerId tickTimer_ = 0;
    bool tickRunning_ = false;
    std::string afterLoginMessagePath_;
    std::string afterLoginText_;
    bool afterLoginEnabled_ = false;
    bool webLinkRequired_ = false;
    std::atomic<std::uint32_t> reindexCounter_{0};  // read by tests on the window thread
    std::vector<std::string> pendingLog_;
    std::string statusText_;

    // Shared with the window thread.
    std::atomic<TFtpCtrlSocket*> clientToDisconnect_{nullptr};
    std::atomic<bool> httpExists_{false};
    std::atomic<bool> terminateRequested_{false};
    std::atomic<bool> running_{true};
    std::atomic<EventLoop*> loop_{nullptr};
    std::thread thread_;  // last: starts once every member above exists
};

}  // namespace corvane
