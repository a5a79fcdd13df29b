// ftpServerThread: the one worker thread that does all network work of the server. It runs its
// own EventLoop (every socket and timer event of every client arrives there), takes the window
// thread's numbered commands, and owns the parts that do the work, each with one job: the
// services' lifecycle (ServiceLifecycle), what is shown on the window (ServerHandOff), the
// session bookkeeping (SessionBook), the index, search and indexer (SharedIndex), the
// after-login settings, and the cache hooks. The policies reach the part they need through the
// accessors below. What only records is handed to the window without waiting; the thread waits
// (WindowThread::RunAndWait) only where it needs the window's answer: the settings copy at a start and a
// password change (docs/design.md lists every wait).
//
// Threads: the window thread creates it, posts commands, asks it to terminate and waits for it
// to end; every other member runs on the server thread. The engines are created and destroyed there.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cache/server_cache.h"
#include "core/after_login_settings.h"
#include "core/server_commands.h"
#include "core/server_hand_off.h"
#include "core/server_settings.h"
#include "core/server_thread_loop.h"
#include "core/service_lifecycle.h"
#include "core/session_book.h"
#include "core/shared_index.h"
#include "platform/event_loop.h"

namespace corvane {

class permissionsClass;
class serversClientClass;
class serverController;
class TFtpCtrlSocket;
class TFtpServer;
class THttpServer;
class WindowThread;
class httpServersClientClass;

inline constexpr std::chrono::milliseconds kTickInterval{10000};

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
    // Queues a disconnect of the client named by its ClientNumber, or of every client for 0.
    // A client that has gone meanwhile is not found, even when a new client has taken its place
    // in memory. The answer is filled in on the window thread, behind the counts and log lines
    // the disconnect showed; false as PostCommand.
    bool PostDisconnect(long long clientNumber, std::shared_ptr<DisconnectAnswer> answer);
    // Whether the HTTP service exists (read at shut-down for RunWebServerNextTime).
    bool HttpServiceExists() const { return services_.HttpServiceExists(); }

    // ---- The parts, for the policies and tests ----
    ServerHandOff& handOff() { return handOff_; }
    SessionBook& sessionBook() { return sessionBook_; }
    SharedIndex& index() { return index_; }
    const SharedIndex& index() const { return index_; }
    const AfterLoginSettings& afterLogin() const { return afterLogin_; }
    ServiceLifecycle& services() { return services_; }

    // ---- Server thread ----
    void disconnect(TFtpCtrlSocket* client) { services_.disconnect(client); }
    // The tick: idle sessions, the log batch, the counts, the periodic rebuild of the index.
    void Tick();
    // The cache's hooks. A transfer's lookup gives the client the cache's stream and mode for a
    // path (-1 send from the copy, 1 fill it while sending, 0 no cache) and a lease on the entry;
    // the transfer's end reports to that entry. An empty path or "\" names the account's home
    // folder (FTP) or the web root's listing key (HTTP).
    void openCachedFile(const std::string& path, serversClientClass& client, bool listing);
    // `document`: the web request wants a file (a folder's path is then not cached for it).
    void openCachedFile(const std::string& path, httpServersClientClass& client, bool document = false);
    // The end of an FTP retrieval: for a listing, a failed one is dropped and a good one counts
    // its real size; for a file, the bytes copied are recorded.
    void cacheTransferDone(serversClientClass& client, bool failed);
    // The end of an HTTP response (or of its connection): the copy's bytes are recorded, the
    // entry counts its real size, and the connection's cache fields are cleared.
    void cacheTransferDone(httpServersClientClass& client, bool failed);
    void cacheInvalidate(const std::string& path);
    // A folder whose entries changed through this server: its cached listings go.
    void cacheInvalidateListings(const std::string& folder);
    // Any thread: the cache's settings, capacity and snapshot are safe from the window thread.
    serverCacheClass& cache() { return cache_; }
    void setCacheAutoRefresh(bool on) { cacheAutoRefresh_.store(on); }
    bool cacheAutoRefresh() const { return cacheAutoRefresh_.load(); }
    // Server thread: the cache view is refreshed when the operator asked for it after each change.
    void cacheChanged();
    // Server thread, at each start of a service: the settings the window thread copied.
    void ApplyCacheSettings(const ServerSettings& settings);
    // Whether the object is still one of the engine's clients with the same number (a wait
    // that served other events may have ended it).
    bool IsLiveClient(const TFtpCtrlSocket* client, long long clientNumber) const;
    // Waits while serving this thread's events, until `done` or the program closes.
    void WaitServing(const std::function<bool()>& done);
    bool ProgramClosing() const { return terminateRequested_.load(); }
    TFtpServer* FtpServer() { return services_.FtpServer(); }
    THttpServer* HttpServer() { return services_.HttpServer(); }
    std::uint32_t reindexCounter() const { return index_.reindexCounter(); }
    std::size_t indexCount() const { return index_.indexCount(); }

private:
    void Body();
    void HandleCommand(ServerCommand message);
    void RefreshCacheView();
    void Answer(const std::shared_ptr<DisconnectAnswer>& answer, std::size_t disconnected);

    permissionsClass& accounts_;
    ServerThreadLoop loop_;
    // Before the cache and the engines, whose work hands to it.
    ServerHandOff handOff_;
    SessionBook sessionBook_;

    // Its settings and figures are shared with the window thread, under its own locks. Before
    // the engines: it outlives every lease their clients hold.
    serverCacheClass cache_;
    std::atomic<bool> cacheAutoRefresh_{false};
    void AssertServerThread() const;

    SharedIndex index_;
    AfterLoginSettings afterLogin_;  // server thread only
    // After the cache: it outlives every lease the engines' clients hold.
    ServiceLifecycle services_;

    // Shared with the window thread.
    std::atomic<bool> terminateRequested_{false};
    std::atomic<bool> running_{true};
    std::thread thread_;  // last: starts once every member above exists
};

}  // namespace corvane
