#include "core/ftp_server_thread.h"

#include <exception>

#include "common/constants.h"
#include "common/ip_text.h"
#include "common/path_text.h"
#include "common/text_lines.h"
#include "core/ftp_session_policy.h"
#include "core/servers_client.h"
#include "core/server_controller.h"
#include "core/session_table.h"
#include "core/server_view.h"
#include "core/status_texts.h"
#include "core/window_thread.h"
#include "core/web_request_policy.h"
#include "ftp/ftp_server.h"
#include "http/http_server.h"
#include "http/http_servers_client.h"
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
      sessionViewRefresh_(window, [&controller](bool) { controller.view().RefreshSessionView(); }),
      httpCounterShow_(window, [&controller](const std::string& text) { controller.view().ShowHttpCounter(text); }),
      ftpCounterShow_(window, [&controller](const std::string& text) { controller.view().ShowFtpCounters(text); }),
      clientCountsShow_(window,
                        [&controller](const std::pair<int, int>& counts) {
                            controller.setClientCounts(counts.first, counts.second);
                            controller.view().ShowClientCounts(ClientCountText(counts.first),
                                                               ClientCountText(counts.second));
                        }),
      statusTextShow_(window, [&controller](const std::string& text) { controller.view().ShowStatusText(text); }),
      poster_(window),
      logHandOff_(window, [&controller](const std::vector<std::string>& lines) { controller.writeLogLines(lines); }),
      cacheHooks_(accounts, window,
                  [&controller](const CacheViewContents& contents) { controller.view().ShowCacheView(contents); }),
      tickInterval_(tickInterval),
      indexControllerLink_(controller, window),
      thread_([this] { Body(); })
{}

ftpServerThread::~ftpServerThread()
{
    RequestTerminate();
    if (thread_.joinable()) thread_.join();
    logHandOff_.WriteArrived();
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
    // Lines of the last moments go to the window too; the controller serves its queue until
    // this thread has ended, and the destructor writes whatever it has not served.
    FlushPendingLog();
    running_.store(false);
}

// While the thread runs, its own state is touched only from its loop; tests that drive the
// handlers without the thread running have no loop to check against.
void ftpServerThread::AssertServerThread() const
{
    if (const EventLoop* loop = loop_.load()) loop->AssertOwnerThread();
}

void ftpServerThread::HandleCommand(ServerCommand message)
{
    AssertServerThread();
    switch (message) {
    case MSG_START_FTP: StartFtp(); break;
    case MSG_STOP_FTP: StopFtp(); break;
    case MSG_DISCONNECT_CLIENT: DisconnectClient(); break;
    case MSG_DISCONNECT_ALL: DisconnectAll(); break;
    case MSG_START_HTTP: StartHttp(); break;
    case MSG_STOP_HTTP: StopHttp(); break;
    case MSG_REFRESH_CACHE_VIEW: cacheHooks_.RefreshView(); break;
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
    // A number that named a client of an earlier engine must never name one of this one.
    ftp_->ContinueClientNumbersAfter(controller_.sessions().HighestClientNumber());
    policy_->Wire(*ftp_);
    ftp_->SetBanner(kFtpBanner);
    ftp_->OnStart = [this](TFtpServer*) { ShowServiceState(true, true); };
    ftp_->OnStop = [this](TFtpServer*) { ShowServiceState(true, false); };
    RestartIndexer();
    ServerSettings settings;
    runOnGui([this, &settings] { settings = controller_.settings(); });
    ApplyFtpSettings(settings);
    cacheHooks_.ApplySettings(settings);
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
    if (afterLoginEnabled_ && ReadRealFile(afterLoginMessagePath_, content))
        afterLoginText_ = AfterLoginTextOf(content);
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
    // The number may name a client that has gone meanwhile: then no client has it any more.
    const long long number = clientToDisconnect_.exchange(0);
    if (TFtpCtrlSocket* client = ftp_ && number != 0 ? ftp_->FindClientByNumber(number) : nullptr)
        ftp_->Disconnect(client);
    UpdateCounts();
    SetCommandDone();
}

void ftpServerThread::DisconnectAll()
{
    if (ftp_) ftp_->DisconnectAll();
    UpdateCounts();
    SetCommandDone();
}

// Queued behind the counts and log lines of the command, so the window's wait for the command
// ends after it has shown them.
void ftpServerThread::SetCommandDone()
{
    serverController& controller = controller_;
    poster_.Post([&controller] { controller.setCommandDone(); });
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
    cacheHooks_.ApplySettings(settings);
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

// A new pass at each FTP start and each periodic rebuild; the one before ends first.
void ftpServerThread::RestartIndexer()
{
    StopIndexer();
    indexer_ = std::make_unique<IndexThread>(&localIndexList_, indexControllerLink_, accounts_,
                                             accounts_.Folders().ListSharedFolders(), IndexFilePath());
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

// The session records only record what clients do: the table and each record have their own
// locks, so the server thread writes them itself and only asks the window for a repaint
// (repeats merge into one). A busy window never holds up a connect, a disconnect or a command.
void ftpServerThread::addSession(TFtpCtrlSocket* client)
{
    AssertServerThread();
    controller_.sessions().Add(client->ClientNumber(), client->PeerAddr());
    RequestSessionViewRefresh();
}

void ftpServerThread::deleteSession(TFtpCtrlSocket* client)
{
    AssertServerThread();
    controller_.sessions().Remove(client->ClientNumber());
    RequestSessionViewRefresh();
}

void ftpServerThread::setSessionAction(TFtpCtrlSocket* client, std::int32_t action)
{
    AssertServerThread();
    const SessionRecordPtr record = controller_.sessions().Find(client->ClientNumber());
    if (!record) return;
    const std::string account = client->UserName();
    record->SetAction(account, client->Directory(), action, accounts_.GetUserGroup(account));
    RequestSessionViewRefresh();
}

// Every command sets its client's last command, in the same way. The record exists by now:
// the connect added it on this thread.
void ftpServerThread::setLastCommand(TFtpCtrlSocket* client, const std::string& text)
{
    AssertServerThread();
    const SessionRecordPtr record = controller_.sessions().Find(client->ClientNumber());
    if (!record) return;
    record->SetLastCommand(text);
    RequestSessionViewRefresh();
}

void ftpServerThread::RequestSessionViewRefresh() { sessionViewRefresh_.Hand(true); }

bool ftpServerThread::changePassword(TFtpCtrlSocket* client, const std::string& password)
{
    bool changed = false;
    const long long number = client->ClientNumber();
    runOnGui([this, number, &password, &changed] { changed = controller_.changePassword(number, password); });
    return changed;
}

SessionRecordPtr ftpServerThread::sessionOf(const TFtpCtrlSocket* client) const
{
    return controller_.sessions().Find(client->ClientNumber());
}

// ---- Tick, log and counters ----

void ftpServerThread::Tick()
{
    AssertServerThread();
    IdleCheck();
    FlushPendingLog();
    UpdateCounts();
    const std::uint32_t counter = reindexCounter_ += 3000;
    if (counter % 3600000 == 0 && ftp_ && ftp_->Active()) RestartIndexer();
}

void ftpServerThread::log(const std::string& line)
{
    AssertServerThread();
    pendingLog_.push_back(line);
    pendingLogBytes_ += line.size();
    // Lines go to the window on the tick, or sooner when a flood of them would otherwise wait
    // in memory until then.
    if (pendingLogBytes_ > kPendingLogFlushBytes) FlushPendingLog();
}

bool ftpServerThread::logWanted() const { return controller_.logWanted(); }

// The lines go to the window in order, without waiting for it to write them.
void ftpServerThread::FlushPendingLog()
{
    std::vector<std::string> lines;
    lines.swap(pendingLog_);
    logHandOff_.Hand(std::move(lines), pendingLogBytes_);
    pendingLogBytes_ = 0;
}

void ftpServerThread::UpdateCounts()
{
    clientCountsShow_.Hand({ftp_ ? ftp_->ClientCount() : 0, http_ ? http_->ClientCount() : 0});
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
    // Connections end by the thousand per second: the counter is shown a quarter of a second
    // after the first of them, with the total of all that ended meanwhile.
    EventLoop* loop = loop_.load();
    if (loop == nullptr) return httpCounterShow_.Hand(HttpCounterText(httpBytesSent_));
    if (httpCounterDue_) return;
    httpCounterDue_ = true;
    loop->AddOneShot(kHttpCounterDelay, [this] {
        httpCounterDue_ = false;
        httpCounterShow_.Hand(HttpCounterText(httpBytesSent_));
    });
}

// The counters change at the end of every transfer: shown without waiting for the window.
void ftpServerThread::ShowFtpCounters()
{
    ftpCounterShow_.Hand(FtpCounterText(ftpBytesUploaded_, ftpBytesDownloaded_));
}

void ftpServerThread::ShowStatusText(const std::string& text)
{
    statusText_ = text;
    statusTextShow_.Hand(text);
}

void ftpServerThread::ShowServiceState(bool ftp, bool started)
{
    serverController& controller = controller_;
    poster_.Post([&controller, ftp, started] {
        controller.view().ShowServiceState(ftp ? ServiceKind::Ftp : ServiceKind::Http, started);
    });
}

std::string ftpServerThread::PickedAddress(const std::string& boundAddress) const
{
    std::string address = boundAddress;
    HasRealLocalIp(address);
    return address;
}

}  // namespace corvane
