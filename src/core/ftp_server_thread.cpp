#include "core/ftp_server_thread.h"

#include <exception>

#include "common/ip_text.h"
#include "common/text_lines.h"
#include "core/ftp_session_policy.h"
#include "core/server_controller.h"
#include "core/session_table.h"
#include "core/server_view.h"
#include "core/status_texts.h"
#include "core/window_thread.h"
#include "core/web_request_policy.h"
#include "ftp/ftp_server.h"
#include "http/http_server.h"
#include "p2p/index_file.h"
#include "platform/drive_map.h"
#include "platform/fs.h"

namespace corvane {
namespace {

// The after-login text: "230-" + line + CR LF for each line of the file (an empty file gives
// an empty text). Lines end at LF; a CR before the LF belongs to the line end.
std::string AfterLoginTextOf(const std::string& content)
{
    std::string text;
    for (std::string_view line : TextLines(content)) text.append("230-").append(line).append("\r\n");
    return text;
}

bool ReadRealFile(const std::string& realPath, std::string& content)
{
    const auto hostPath = DriveMap::HostPathOf(realPath);
    return hostPath && fs::HostFileExists(*hostPath) && fs::ReadFileText(*hostPath, content);
}

}  // namespace

ftpServerThread::ftpServerThread(serverController& controller, permissionsClass& accounts, WindowThread& window,
                                 std::chrono::milliseconds tickInterval)
    : controller_(controller),
      accounts_(accounts),
      window_(window),
      sessionViewRefresh_(std::make_shared<SessionViewRefresh>(controller)),
      httpCounterShow_(std::make_shared<HttpCounterShow>(controller)),
      tickInterval_(tickInterval),
      indexControllerLink_(controller, window),
      thread_([this] { Body(); })
{
}

ftpServerThread::~ftpServerThread()
{
    RequestTerminate();
    if (thread_.joinable()) thread_.join();
}

bool ftpServerThread::PostCommand(ServerCommand message)
{
    return EventLoop::PostToThread(thread_.get_id(), [this, message] { HandleCommand(message); });
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
        loop_.store(&loop);
        if (!terminateRequested_.load()) loop.MessageLoop();
        StopIndexer();
        http_.reset();  // the engines' sockets belong to this thread and its loop
        webPolicy_.reset();
        ftp_.reset();
        policy_.reset();
        if (tickRunning_) loop.CancelTimer(tickTimer_);
        loop_.store(nullptr);
    }
    running_.store(false);
}

void ftpServerThread::HandleCommand(ServerCommand message)
{
    switch (message) {
    case MSG_START_FTP: StartFtp(); break;
    case MSG_STOP_FTP: StopFtp(); break;
    case MSG_DISCONNECT_CLIENT: DisconnectClient(); break;
    case MSG_DISCONNECT_ALL: DisconnectAll(); break;
    case MSG_START_HTTP: StartHttp(); break;
    case MSG_STOP_HTTP: StopHttp(); break;
    case MSG_REFRESH_CACHE_VIEW: RefreshCacheView(); break;
    }
}

void ftpServerThread::runOnGui(const std::function<void()>& closure) { window_.RunAndWait(closure); }

// ---- FTP service ----

void ftpServerThread::StartFtp()
{
    // The window offers the start only while the service is stopped; a start after a failed
    // one replaces the engine that could not listen.
    if (ftp_ && ftp_->Active()) return;
    ftp_.reset();
    policy_ = std::make_unique<FtpSessionPolicy>(*this, accounts_);
    ftp_ = std::make_unique<TFtpServer>();
    policy_->Wire(*ftp_);
    ftp_->SetBanner(kFtpBanner);
    ftp_->OnStart = [this](TFtpServer*) { ShowServiceState(true, true); };
    ftp_->OnStop = [this](TFtpServer*) { ShowServiceState(true, false); };
    RestartIndexer();
    ServerSettings settings;
    runOnGui([this, &settings] { settings = controller_.settings(); });
    ApplyFtpSettings(settings);
    try {
        ftp_->Start();
        EventLoop& loop = *loop_.load();
        if (tickRunning_) loop.CancelTimer(tickTimer_);
        tickTimer_ = loop.AddTimer(tickInterval_, tickInterval_, [this] { Tick(); });
        tickRunning_ = true;
        ftpBytesDownloaded_ = 0;
        ftpBytesUploaded_ = 0;
        ShowFtpCounters();
        ShowStatusText(ListeningStatusText(PickedAddress(settings.UserSetServerIP)));
        controller_.setFtpListening(true);
    } catch (const std::exception&) {
        controller_.setFtpListening(false);
        log(kCannotRunServer);
        ShowServiceState(true, false);
        // The operator must see why the service is not running now, not when it next stops.
        FlushPendingLog();
    }
}

void ftpServerThread::ApplyFtpSettings(const ServerSettings& s)
{
    ftp_->SetMaxClients(s.MaximumNumberOfConnections);
    policy_->SetLoginTimeout(s.LoginTimeout);
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
    afterLoginEnabled_ = s.AfterLoginMessage;
    afterLoginMessagePath_ = s.AfterLoginMessageFilePath;
    // A file that is missing now leaves the text of an earlier start in place.
    std::string content;
    if (afterLoginEnabled_ && ReadRealFile(afterLoginMessagePath_, content)) afterLoginText_ = AfterLoginTextOf(content);
    webLinkRequired_ = s.WebLinkRequired;
    ApplyTlsSettings(s);
}

void ftpServerThread::StopFtp()
{
    if (!ftp_) return;
    StopIndexer();
    ftp_->Stop();
    // The engine's clients would go silently with it: each is disconnected first, so that it
    // gives its connection counts back and leaves the session table.
    try {
        ftp_->DisconnectAll();
    } catch (const std::exception&) {
        // A client that failed to go cleanly goes with the engine below.
    }
    controller_.setFtpListening(false);
    if (!controller_.httpListening()) ShowStatusText(kNotListeningStatus);
    UpdateCounts();
    ftp_.reset();
    policy_.reset();
    FlushPendingLog();
}

void ftpServerThread::DisconnectClient()
{
    TFtpCtrlSocket* client = clientToDisconnect_.exchange(nullptr);
    // The window's pointer may name a client that has gone meanwhile: it is only compared.
    if (ftp_ && client && ftp_->IsClient(client)) ftp_->Disconnect(client);
    UpdateCounts();
    runOnGui([this] { controller_.setCommandDone(); });
}

void ftpServerThread::DisconnectAll()
{
    if (ftp_) ftp_->DisconnectAll();
    UpdateCounts();
    runOnGui([this] { controller_.setCommandDone(); });
}

void ftpServerThread::disconnect(TFtpCtrlSocket* client)
{
    if (ftp_ && ftp_->IsClient(client)) ftp_->Disconnect(client);
}

// ---- HTTP service ----

void ftpServerThread::StartHttp()
{
    // As for FTP: a start while listening does nothing; a start after a failed one replaces
    // the engine that could not listen.
    if (http_ && http_->Listening()) return;
    http_.reset();
    webPolicy_ = std::make_unique<WebRequestPolicy>(*this, accounts_);
    http_ = std::make_unique<THttpServer>();
    webPolicy_->Wire(*http_);
    http_->OnServerStarted = [this](THttpServer*) { ShowServiceState(false, true); };
    http_->OnServerStopped = [this](THttpServer*) { ShowServiceState(false, false); };
    httpExists_.store(true);
    ServerSettings settings;
    runOnGui([this, &settings] { settings = controller_.settings(); });
    http_->SetAddr(settings.UserSetServerIP);
    http_->SetPort(std::to_string(settings.WebServerPort));
    http_->DocDir = settings.WebServerRoot;
    http_->DefaultDoc.clear();
    http_->MaxClients = settings.WebServerConnections;
    webPolicy_->SetSettings(WebSettings{settings.WebServerRoot, settings.WebServerError404Answer,
                                        settings.WebServerHtmlHeader, settings.UserSetServerIP,
                                        settings.WebServerPort});
    InstallListingIcons(settings.WebServerRoot);
    try {
        http_->Start();
        ShowStatusText(ListeningStatusText(PickedAddress(settings.UserSetServerIP)));
        controller_.setHttpListening(true);
    } catch (const std::exception&) {
        controller_.setHttpListening(false);
        ShowServiceState(false, false);
    }
}

void ftpServerThread::StopHttp()
{
    if (!http_) return;
    http_->Stop();
    if (!controller_.ftpListening()) ShowStatusText(kNotListeningStatus);
    controller_.setHttpListening(false);
    http_.reset();
    webPolicy_.reset();
    httpExists_.store(false);
    UpdateCounts();
    FlushPendingLog();
}

// ---- Indexer and cache ----

void ftpServerThread::RefreshCacheView() {}

// A new pass at each FTP start and each periodic rebuild; the one before ends first.
void ftpServerThread::RestartIndexer()
{
    StopIndexer();
    indexer_ = std::make_unique<IndexThread>(&localIndexList_, indexControllerLink_, accounts_, accounts_.ListSharedFolders(),
                                             IndexFilePath());
    indexer_->Start();
}

// Waits without limit: a digest stops within one block, and the window thread keeps serving
// the indexer's hand-offs while this thread waits.
void ftpServerThread::StopIndexer()
{
    if (!indexer_) return;
    indexer_->detachServer();
    indexer_->requestStop();
    indexer_->Join();
    indexer_.reset();
}

void ftpServerThread::IdleCheck()
{
    if (ftp_ && policy_) policy_->IdleCheck(*ftp_);
}

// ---- Sessions ----

void ftpServerThread::addSession(TFtpCtrlSocket* client)
{
    const std::string peer = client->PeerAddr();
    runOnGui([this, client, &peer] {
        controller_.sessions().Add(client, peer);
        controller_.view().RefreshSessionView();
    });
}

void ftpServerThread::deleteSession(TFtpCtrlSocket* client)
{
    runOnGui([this, client] {
        controller_.sessions().Remove(client);
        controller_.view().RefreshSessionView();
    });
}

void ftpServerThread::setSessionAction(TFtpCtrlSocket* client, std::int32_t action)
{
    const std::string account = client->UserName();
    const std::string path = client->Directory();
    runOnGui([this, client, action, &account, &path] {
        const SessionRecordPtr record = controller_.sessions().Find(client);
        if (!record) return;
        record->SetAction(account, path, action, accounts_.GetUserGroup(account));
        controller_.view().RefreshSessionView();
    });
}

// Every command sets its client's last command, so this must cost no hand-off: the record has
// its own lock, the server thread sets the text itself and only asks for a repaint. The record
// exists by now: adding it waited for the window thread.
void ftpServerThread::setLastCommand(TFtpCtrlSocket* client, const std::string& text)
{
    const SessionRecordPtr record = controller_.sessions().Find(client);
    if (!record) return;
    record->SetLastCommand(text);
    RequestSessionViewRefresh();
}

void ftpServerThread::RequestSessionViewRefresh()
{
    if (sessionViewRefresh_->queued.exchange(true)) return;
    std::weak_ptr<SessionViewRefresh> refresh = sessionViewRefresh_;
    const bool posted = window_.Post([refresh] {
        const auto alive = refresh.lock();
        if (!alive) return;
        alive->queued = false;
        alive->controller.view().RefreshSessionView();
    });
    if (!posted) sessionViewRefresh_->queued = false;
}

bool ftpServerThread::changePassword(TFtpCtrlSocket* client, const std::string& password)
{
    bool changed = false;
    runOnGui([this, client, &password, &changed] { changed = controller_.changePassword(client, password); });
    return changed;
}

SessionRecordPtr ftpServerThread::sessionOf(const TFtpCtrlSocket* client) const
{
    return controller_.sessions().Find(client);
}

bool ftpServerThread::IsLiveClient(const TFtpCtrlSocket* client, long long clientNumber) const
{
    return ftp_ && ftp_->IsClient(client) && client->ClientNumber() == clientNumber;
}

void ftpServerThread::WaitServing(const std::function<bool()>& done)
{
    EventLoop* loop = loop_.load();
    if (loop == nullptr) return;
    loop->RunUntil([&done, this] { return done() || ProgramClosing(); });
}

void ftpServerThread::openCachedFile(const std::string&, TFtpCtrlSocket& client)
{
    // No directory and file cache yet: nothing is cached and the engine reads the disk.
    client.CacheStream.reset();
    client.CacheMode = 0;
}

void ftpServerThread::openCachedFile(const std::string&, httpServersClientClass& client)
{
    client.CacheStream.reset();
    client.CacheMode = 0;
}

void ftpServerThread::cacheTransferDone(const std::string&, httpServersClientClass&, bool) {}

void ftpServerThread::cacheInvalidate(const std::string&) {}

void ftpServerThread::cacheTransferDone(const std::string&, TFtpCtrlSocket&, bool) {}

// ---- Tick, log and counters ----

void ftpServerThread::Tick()
{
    IdleCheck();
    FlushPendingLog();
    UpdateCounts();
    const std::uint32_t counter = reindexCounter_ += 3000;
    if (counter % 3600000 == 0 && ftp_ && ftp_->Active()) RestartIndexer();
}

void ftpServerThread::log(const std::string& line)
{
    pendingLog_.push_back(line);
    pendingLogBytes_ += line.size();
    // Lines go to the window on the tick, or sooner when a flood of them would otherwise wait
    // in memory until then.
    if (pendingLogBytes_ > kPendingLogFlushBytes) FlushPendingLog();
}

void ftpServerThread::FlushPendingLog()
{
    std::vector<std::string> lines;
    lines.swap(pendingLog_);
    pendingLogBytes_ = 0;
    if (!lines.empty()) runOnGui([this, &lines] { controller_.writeLogLines(lines); });
}

void ftpServerThread::UpdateCounts()
{
    const int ftpCount = ftp_ ? ftp_->ClientCount() : 0;
    const int httpCount = http_ ? http_->ClientCount() : 0;
    runOnGui([this, ftpCount, httpCount] {
        controller_.setClientCounts(ftpCount, httpCount);
        controller_.view().ShowClientCounts(ClientCountText(ftpCount), ClientCountText(httpCount));
    });
}

void ftpServerThread::addFtpDownloaded(std::uint64_t bytes)
{
    ftpBytesDownloaded_ += bytes;
    ShowFtpCounters();
}

void ftpServerThread::addFtpUploaded(std::uint64_t bytes)
{
    ftpBytesUploaded_ += bytes;
    ShowFtpCounters();
}

void ftpServerThread::addHttpBytes(std::uint64_t bytes)
{
    httpBytesSent_ += bytes;
    {
        std::lock_guard<std::mutex> hold(httpCounterShow_->lock);
        httpCounterShow_->text = HttpCounterText(httpBytesSent_);
    }
    // Connections end by the thousand per second: the counter is shown a quarter of a second
    // after the first of them, with the total of all that ended meanwhile.
    EventLoop* loop = loop_.load();
    if (loop == nullptr) return RequestHttpCounterShow();
    if (httpCounterDue_) return;
    httpCounterDue_ = true;
    loop->AddOneShot(kHttpCounterDelay, [this] {
        httpCounterDue_ = false;
        RequestHttpCounterShow();
    });
}

// One show is queued at a time; it shows the latest text when it runs, and nothing once this
// object has gone.
void ftpServerThread::RequestHttpCounterShow()
{
    if (httpCounterShow_->queued.exchange(true)) return;
    std::weak_ptr<HttpCounterShow> show = httpCounterShow_;
    const bool posted = window_.Post([show] {
        const auto alive = show.lock();
        if (!alive) return;
        alive->queued = false;
        std::string text;
        {
            std::lock_guard<std::mutex> hold(alive->lock);
            text = alive->text;
        }
        alive->controller.view().ShowHttpCounter(text);
    });
    if (!posted) httpCounterShow_->queued = false;
}

void ftpServerThread::ShowFtpCounters()
{
    const std::string text = FtpCounterText(ftpBytesUploaded_, ftpBytesDownloaded_);
    runOnGui([this, &text] { controller_.view().ShowFtpCounters(text); });
}

void ftpServerThread::ShowStatusText(const std::string& text)
{
    statusText_ = text;
    runOnGui([this, &text] { controller_.view().ShowStatusText(text); });
}

void ftpServerThread::ShowServiceState(bool ftp, bool started)
{
    runOnGui([this, ftp, started] {
        controller_.view().ShowServiceState(ftp ? ServiceKind::Ftp : ServiceKind::Http, started);
    });
}

std::string ftpServerThread::PickedAddress(const std::string& boundAddress) const
{
    std::string address = boundAddress;
    HasRealLocalIp(address);
    return address;
}

}  // namespace corvane
