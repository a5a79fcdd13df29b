#include "core/ftp_server_thread.h"

#include "common/constants.h"
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
      index_(controller, accounts, window),
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
    case MSG_REFRESH_CACHE_VIEW: RefreshCacheView(); break;
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
    handOff_.FlushPendingLog();
    services_.ShowClientCounts();
    if (index_.TickDue() && services_.FtpActive()) index_.RestartIndexer();
}

// The number is looked up, the object only compared: it may have been freed meanwhile.
bool ftpServerThread::IsLiveClient(const TFtpCtrlSocket* client, long long clientNumber) const
{
    const TFtpServer* ftp = services_.FtpServer();
    return ftp && ftp->FindClientByNumber(clientNumber) == client;
}

void ftpServerThread::WaitServing(const std::function<bool()>& done)
{
    EventLoop* loop = loop_.Get();
    if (loop == nullptr) return;
    loop->RunUntil([&done, this] { return done() || ProgramClosing(); });
}

// ---- Cache ----

// The cache is safe from any thread: the settings the window thread copied go to it directly.
void ftpServerThread::ApplyCacheSettings(const ServerSettings& s)
{
    cache_.SetDirectoryCacheEnabled(s.DirectoryCacheEnabled);
    cache_.SetFileCacheEnabled(s.FileCacheEnabled);
    cache_.SetCacheMode(s.FileCacheMode);
    cache_.SetCacheCapacity(s.CacheSize);
    cacheAutoRefresh_.store(s.CacheAutoRefreshGUI);
    cacheChanged();
}

void ftpServerThread::openCachedFile(const std::string& path, serversClientClass& client, bool listing)
{
    const std::string key = path.empty() || path == "\\" ? accounts_.Folders().GetHomeFolder(client.UserName()) : path;
    // A lease the client still held (a transfer that never reported its end) goes first.
    client.cacheLease = CacheLease();
    if (!key.empty()) client.cacheLease = cache_.CacheLookup(key, listing ? CacheSource::Folder : CacheSource::File);
    client.CacheStream = client.cacheLease.Stream();
    client.CacheMode = client.cacheLease.CacheMode();
    // The copy is read or written from where the transfer starts, whatever the last one left.
    client.CachePosition = listing ? 0 : client.RestartOffset;
}

void ftpServerThread::openCachedFile(const std::string& path, httpServersClientClass& client, bool document)
{
    const std::string key = path.empty() || path == "\\" ? "\\" + std::string(kListingMarker) : path;
    // A kept-alive connection's earlier response has reported already; anything left is let go.
    if (client.cacheLease.Open()) cacheTransferDone(client, false);
    client.cacheLease = cache_.CacheLookup(key, document ? CacheSource::File : CacheSource::Any);
    client.CacheSourceTime = client.cacheLease.SourceTime();
    client.CacheStream = client.cacheLease.Stream();
    client.CacheMode = client.cacheLease.CacheMode();
    client.CachePosition = 0;
    client.CacheFillStart = 0;
}

void ftpServerThread::cacheTransferDone(serversClientClass& client, bool failed)
{
    CacheLease& lease = client.cacheLease;
    if (!lease.Open()) return;
    cache_.CacheTransferDone(lease, client.RestartOffset, client.CachePosition, failed);
    if (client.listingTransfer) {
        if (failed) cache_.CacheInvalidate(client.ListedDirectory);
        else cache_.CacheUpdateSize(lease);
    }
    lease = CacheLease();
    client.CacheStream.reset();
    client.CacheMode = 0;
}

void ftpServerThread::cacheTransferDone(httpServersClientClass& client, bool failed)
{
    CacheLease& lease = client.cacheLease;
    if (lease.Open()) {
        cache_.CacheTransferDone(lease, client.CacheFillStart, client.CachePosition, failed || client.CacheFillBroken);
        cache_.CacheUpdateSize(lease);
    }
    lease = CacheLease();
    client.CacheStream.reset();
    client.CacheMode = 0;
    client.CacheFillBroken = false;
}

void ftpServerThread::cacheInvalidate(const std::string& path) { cache_.CacheInvalidate(path); }

void ftpServerThread::cacheInvalidateListings(const std::string& folder) { cache_.InvalidateFolderListings(folder); }

void ftpServerThread::cacheChanged()
{
    if (cacheAutoRefresh_.load()) RefreshCacheView();
}

// The snapshot is taken here and drawn by the window thread when it gets to it; the server
// thread does not wait for the window.
void ftpServerThread::RefreshCacheView() { handOff_.ShowCacheView(CacheViewContentsOf(cache_.CacheSnapshot())); }

}  // namespace corvane
