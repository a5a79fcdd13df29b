#include "core/ftp_server_thread.h"

#include "common/constants.h"
#include "core/log_lines.h"
#include "core/servers_client.h"
#include "core/server_controller.h"
#include "ftp/ftp_server.h"
#include "http/http_servers_client.h"

namespace corvane {

ftpServerThread::ftpServerThread(serverController& controller, permissionsClass& accounts, WindowThread& window,
                                 std::chrono::milliseconds tickInterval)
    : accounts_(accounts),
      handOff_(controller, window, loop_),
      sessionBook_(controller, accounts, window, handOff_, loop_),
      cacheHooks_(accounts, window, loop_,
                  [&controller](const CacheViewContents& contents) { controller.view().ShowCacheView(contents); }),
      index_(controller, accounts, window, loop_),
      services_({*this, controller, accounts, window, handOff_, index_, afterLogin_, loop_}, tickInterval),
      thread_([this] { Body(); })
{}

ftpServerThread::~ftpServerThread()
{
    RequestTerminate();
    if (thread_.joinable()) thread_.join();
    handOff_.WriteArrived();
}

bool ftpServerThread::PostCommand(ServerCommand message)
{
    return EventLoop::PostToThread(thread_.get_id(), [this, message] { HandleCommand(message); });
}

bool ftpServerThread::PostDisconnect(long long clientNumber, std::shared_ptr<DisconnectAnswer> answer)
{
    return EventLoop::PostToThread(thread_.get_id(), [this, clientNumber, answer] {
        AssertServerThread();
        Answer(answer, clientNumber == 0 ? services_.DisconnectAll() : services_.DisconnectClient(clientNumber));
    });
}

std::vector<LoginBanBook::Ban> ftpServerThread::BansShown() const
{
    std::lock_guard lock(bansShownLock_);
    return bansShown_;
}

bool ftpServerThread::PostUnban(const std::string& address)
{
    return EventLoop::PostToThread(thread_.get_id(), [this, address] {
        AssertServerThread();
        if (!loginBans_.Unban(address)) return;
        handOff_.log(UnbannedLine(address));
        PublishBans();
    });
}

void ftpServerThread::PublishBans()
{
    AssertServerThread();
    std::vector<LoginBanBook::Ban> bans = loginBans_.Snapshot(LoginBanBook::Clock::now());
    std::lock_guard lock(bansShownLock_);
    bansShown_ = std::move(bans);
}

void ftpServerThread::RequestTerminate()
{
    // The flag covers a request made before the thread's loop exists; the post one made after.
    terminateRequested_.store(true);
    EventLoop::PostToThread(thread_.get_id(), [] { EventLoop::Current()->Quit(); });
}

void ftpServerThread::Body()
{
    {
        EventLoop loop;
        loop_.Set(&loop);
        loginBans_.Adopt();
        if (!terminateRequested_.load()) loop.MessageLoop();
        index_.StopIndexer();
        services_.End();
        // The passes asked to stop end on their own; the window thread serves their hand-offs
        // until this thread has ended.
        index_.JoinStopped();
        loop_.Set(nullptr);
    }
    // Lines of the last moments go to the window too; the controller serves its queue until
    // this thread has ended, and the destructor writes whatever it has not served.
    handOff_.FlushPendingLog();
    running_.store(false);
}

// While the thread runs, its own state is touched only from its loop; tests that drive the
// handlers without the thread running have no loop to check against.
void ftpServerThread::AssertServerThread() const { loop_.AssertOwner(); }

void ftpServerThread::HandleCommand(ServerCommand message)
{
    AssertServerThread();
    switch (message) {
    case MSG_START_FTP: services_.StartFtp(); break;
    case MSG_STOP_FTP: services_.StopFtp(); break;
    case MSG_DISCONNECT_CLIENT:  // carry their client and answer: see PostDisconnect
    case MSG_DISCONNECT_ALL: break;
    case MSG_START_HTTP: services_.StartHttp(); break;
    case MSG_STOP_HTTP: services_.StopHttp(); break;
    case MSG_REFRESH_CACHE_VIEW: cacheHooks_.RefreshView(); break;
    case MSG_RELOAD_TLS:
        services_.ReloadCertificates();
        handOff_.FlushPendingLog();
        break;
    }
}

// Queued behind the counts and log lines of the command, so the window's wait for the answer
// ends after it has shown them.
void ftpServerThread::Answer(const std::shared_ptr<DisconnectAnswer>& answer, std::size_t disconnected)
{
    handOff_.PostInOrder([answer, disconnected] {
        answer->disconnected = disconnected;
        answer->done = true;
    });
}

void ftpServerThread::Tick()
{
    AssertServerThread();
    services_.IdleCheck();
    services_.CheckCertificateFiles();
    handOff_.FlushPendingLog();
    services_.ShowClientCounts();
    loginBans_.Prune(LoginBanBook::Clock::now());
    PublishBans();
    if (index_.TickDue() && services_.FtpActive()) index_.RestartIndexer();
}

}  // namespace corvane
