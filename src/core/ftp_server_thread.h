// ftpServerThread: the one worker thread that does all network work of the server. It owns the
// FTP engine, runs its own EventLoop (every socket and timer event of every client arrives
// there), takes the window thread's numbered commands, and talks back by handing closures to
// the window thread. What only records (log lines, counts, status texts, service states, the
// end of a command) is handed without waiting; it waits (runOnGui) only where it needs the
// window's answer: the settings copy at a start and a password change.
//
// Threads: the window thread creates it, posts commands, writes the client-to-disconnect slot
// before posting MSG_DISCONNECT_CLIENT, asks it to terminate and waits for it to end; every
// other member runs on the server thread. The engines are created and destroyed there.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/cache_hooks.h"
#include "core/index_controller_link.h"
#include "core/server_commands.h"
#include "core/server_settings.h"
#include "core/log_hand_off.h"
#include "core/window_hand_off.h"
#include "p2p/index_thread.h"
#include "p2p/local_index_list.h"
#include "platform/event_loop.h"

namespace corvane {

class FtpSessionPolicy;
class permissionsClass;
class sessionRecord;
class serversClientClass;
class serverController;
class ServerView;
class TFtpCtrlSocket;
class TFtpServer;
class THttpServer;
class WebRequestPolicy;
class WindowThread;
class httpServersClientClass;

inline constexpr const char* kFtpBanner = "220 Brinvale Corvane FTP Service Ready";
inline constexpr const char* kCannotRunServer =
    "! Cannot run server. Possible reason: this port is already used for listening.";
inline constexpr std::chrono::milliseconds kTickInterval{10000};
inline constexpr std::chrono::milliseconds kHttpCounterDelay{250};

class ftpServerThread {
public:
    // Window thread. Starts the thread at once; its queue exists a moment later.
    // `tickInterval` is the system's 10 s; tests shorten it.
    ftpServerThread(serverController& controller, permissionsClass& accounts, WindowThread& window,
                    std::chrono::milliseconds tickInterval = kTickInterval);
    // Window thread. Asks the thread to end and joins it: call only once the thread has ended
    // (Running() false), or the join waits without serving the window thread's queue. Log
    // lines the window has not written yet are written here.
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
    // The client is named by its ClientNumber: one that has gone meanwhile is not found, even
    // when a new client has taken its place in memory.
    void SetClientToDisconnect(long long clientNumber) { clientToDisconnect_.store(clientNumber); }
    // Whether the HTTP service exists (read at shut-down for RunWebServerNextTime).
    bool HttpServiceExists() const { return httpExists_.load(); }

    // ---- Server thread ----
    void log(const std::string& line);
    // Whether a line handed to log would be written anywhere: callers with costly texts build
    // them only then.
    bool logWanted() const;
    void addFtpDownloaded(std::uint64_t bytes);
    void addFtpUploaded(std::uint64_t bytes);
    void addHttpBytes(std::uint64_t bytes);
    void disconnect(TFtpCtrlSocket* client);
    // Blocks the server thread until the window thread has run the closure.
    void runOnGui(const std::function<void()>& closure);
    // The session table's closures (run on the window thread) and lookup.
    void addSession(TFtpCtrlSocket* client);
    void deleteSession(TFtpCtrlSocket* client);
    void setSessionAction(TFtpCtrlSocket* client, std::int32_t action);
    void setLastCommand(TFtpCtrlSocket* client, const std::string& text);
    std::shared_ptr<sessionRecord> sessionOf(const TFtpCtrlSocket* client) const;
    // SITE CHPWD's password change, run in the account store on the window thread (the server
    // thread waits for its answer).
    bool changePassword(TFtpCtrlSocket* client, const std::string& password);
    // The cache as the transfers of both protocols use it (the cache itself, its settings and
    // its view are safe from the window thread).
    CacheHooks& cacheHooks() { return cacheHooks_; }
    bool ProgramClosing() const { return terminateRequested_.load(); }
    TFtpServer* FtpServer() { return ftp_.get(); }
    THttpServer* HttpServer() { return http_.get(); }
    // Copied from the settings at each FTP start, for the login and download policies.
    const std::string& afterLoginText() const { return afterLoginText_; }
    bool afterLoginEnabled() const { return afterLoginEnabled_; }
    bool webLinkRequired() const { return webLinkRequired_; }
    std::uint32_t reindexCounter() const { return reindexCounter_.load(); }
    const std::vector<std::string>& pendingLog() const { return pendingLog_; }

    // The search lines of the shared files (any thread; each call holds the index lock).
    LocalIndex& localIndexList() { return localIndexList_; }
    std::size_t indexCount() const { return localIndexList_.indexCount(); }
    // Serialises the searches and search-mode changes of all clients (taken before the index
    // lock).
    std::mutex& searchLock() { return searchLock_; }

private:
    void Body();
    void HandleCommand(ServerCommand message);
    void StartFtp();
    void ApplyFtpSettings(const ServerSettings& settings);
    // FTPS (ftp_tls_setup.cpp): the certificate pair, made on a first run, and the engine's
    // TLS channels; without a usable pair the engine stays in the clear, with a log line why.
    void ApplyTlsSettings(const ServerSettings& settings);
    void StopFtp();
    void StartHttp();
    void StopHttp();
    void DisconnectClient();
    void DisconnectAll();
    void Tick();
    void IdleCheck();
    void RestartIndexer();
    void StopIndexer();
    void FlushPendingLog();
    void UpdateCounts();
    void ShowFtpCounters();
    void ShowStatusText(const std::string& text);
    void ShowServiceState(bool ftp, bool started);
    void RequestSessionViewRefresh();
    void SetCommandDone();
    std::string PickedAddress(const std::string& boundAddress) const;

    serverController& controller_;
    permissionsClass& accounts_;
    WindowThread& window_;
    // The window's shows, handed without waiting (latest value wins, one show queued at a
    // time). Before the cache and the engines, whose work hands to them.
    LatestValueShow<bool> sessionViewRefresh_;
    LatestValueShow<std::string> httpCounterShow_;
    LatestValueShow<std::string> ftpCounterShow_;
    LatestValueShow<std::pair<int, int>> clientCountsShow_;  // FTP, HTTP
    LatestValueShow<std::string> statusTextShow_;
    // Handed one by one, in order: a service's start and stop each write log lines, and the
    // end of a window command must follow what the command showed.
    WindowPoster poster_;
    LogHandOff logHandOff_;

    // Its settings and figures are shared with the window thread, under the cache's own locks.
    // Before the engines: it outlives every lease their clients hold.
    CacheHooks cacheHooks_;
    void AssertServerThread() const;

    // Server thread only.
    std::unique_ptr<FtpSessionPolicy> policy_;  // before the engine: outlives its handlers
    std::unique_ptr<TFtpServer> ftp_;
    std::unique_ptr<WebRequestPolicy> webPolicy_;  // before the engine: outlives its handlers
    std::unique_ptr<THttpServer> http_;
    std::uint64_t httpBytesSent_ = 0;
    bool httpCounterDue_ = false;  // a show of the HTTP counter is timed
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
    std::size_t pendingLogBytes_ = 0;  // the text of pendingLog_
    static constexpr std::size_t kPendingLogFlushBytes = 256 * 1024;
    std::string statusText_;

    std::mutex searchLock_;
    LocalIndexList localIndexList_;
    IndexControllerLink indexControllerLink_;
    std::unique_ptr<IndexThread> indexer_;  // created, stopped and freed on the server thread

    // Shared with the window thread.
    std::atomic<long long> clientToDisconnect_{0};  // 0: none
    std::atomic<bool> httpExists_{false};
    std::atomic<bool> terminateRequested_{false};
    std::atomic<bool> running_{true};
    std::atomic<EventLoop*> loop_{nullptr};
    std::thread thread_;  // last: starts once every member above exists
};

}  // namespace corvane
