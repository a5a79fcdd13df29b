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

#include "core/after_login_settings.h"
#include "core/cache_hooks.h"
#include "core/login_ban_book.h"
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
class serverController;
class TFtpCtrlSocket;
class TFtpServer;
class THttpServer;
class WindowThread;

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
    // The bans in force as the server thread last published them (any thread).
    std::vector<LoginBanBook::Ban> BansShown() const;
    // Queues the lifting of a ban; false as PostCommand.
    bool PostUnban(const std::string& address);
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
    // The cache as the transfers of both protocols use it (the cache itself, its settings and
    // its view are safe from the window thread).
    CacheHooks& cacheHooks() { return cacheHooks_; }
    // The failed logins and bans of both services; in memory only, kept across their restarts.
    LoginBanBook& loginBans() { return loginBans_; }
    // Hands the bans in force to BansShown (after each change, and at each tick).
    void PublishBans();
    bool ProgramClosing() const { return terminateRequested_.load(); }
    TFtpServer* FtpServer() { return services_.FtpServer(); }
    THttpServer* HttpServer() { return services_.HttpServer(); }
    std::uint32_t reindexCounter() const { return index_.reindexCounter(); }
    std::size_t indexCount() const { return index_.indexCount(); }

private:
    void Body();
    void HandleCommand(ServerCommand message);
    void Answer(const std::shared_ptr<DisconnectAnswer>& answer, std::size_t disconnected);

    permissionsClass& accounts_;
    ServerThreadLoop loop_;
    // Before the cache and the engines, whose work hands to it.
    ServerHandOff handOff_;
    SessionBook sessionBook_;

    // Its settings and figures are shared with the window thread, under its own locks. Before
    // the engines: it outlives every lease their clients hold.
    CacheHooks cacheHooks_;
    void AssertServerThread() const;

    SharedIndex index_;
    AfterLoginSettings afterLogin_;  // server thread only
    LoginBanBook loginBans_;         // server thread only (adopted when the thread starts)
    mutable std::mutex bansShownLock_;
    std::vector<LoginBanBook::Ban> bansShown_;  // guarded by bansShownLock_
    // After the cache: it outlives every lease the engines' clients hold.
    ServiceLifecycle services_;

    // Shared with the window thread.
    std::atomic<bool> terminateRequested_{false};
    std::atomic<bool> running_{true};
    std::thread thread_;  // last: starts once every member above exists
};

}  // namespace corvane
