#include "core/server_controller.h"

#include <chrono>
#include <thread>

#include "common/constants.h"
#include "common/program_folder.h"
#include "common/text_case.h"
#include "core/drive_settings.h"
#include "core/log_lines.h"
#include "core/ftp_server_thread.h"
#include "platform/fs.h"
#include "platform/fs_batch.h"
#include "platform/local_time_text.h"
#include "platform/shared_memory_file.h"

namespace corvane {
namespace {

constexpr auto kRetryPause = std::chrono::milliseconds(1);

bool RealFolderExistsTest(const std::string& realFolder) { return fs::RealFolderExists(realFolder); }

// The first-run share of the anonymous account.
constexpr const char* kAnonymousName = "Anonymous";
constexpr const char* kAnonymousGroup = "All Others";
constexpr const char* kFirstRunFolder = "C:\\My Downloads\\";

}  // namespace

serverController::serverController(WindowThread& window, ServerView& view, std::vector<std::string> arguments)
    : window_(window),
      view_(view),
      arguments_(std::move(arguments)),
      log_(view),
      accounts_(ProgramFolder(), RealFolderExistsTest)
{}

serverController::~serverController()
{
    if (thread_) endServerThread();
}

void serverController::startUp()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    view_.ClearScreenLog();
    removeStaleSettingsTemporaries();
    ConfigureDrivesFromSettings(OpenServerSettings(), ProgramFolder());
    accounts_.LoadAccounts();
    loadSettings();
    saveSettings();
    loadNetworkProfile();
    if (settings_.ServerFirstRun) firstRunSetup();
    log_.SetScreenLogging(settings_.ScreenLoggingEnabled);
    log_.SetFileLogging(settings_.LoggingToFile);
    if (settings_.LoggingToFile) log_.OpenLogFile(settings_.LogFilePath);
    startedForP2P_ = !arguments_.empty() && EqualsIgnoreCase(arguments_.front(), "/p2p");
    networkListPublished_ = false;
}

void serverController::firstRunSetup()
{
    settings_.ServerFirstRun = false;
    view_.ShowSettingsPage();
    accounts_.AddUser(kAnonymousName, "", kAnonymousGroup);  // refused when the account exists
    fs::ForceRealFolders(kFirstRunFolder);
    for (FolderFlag flag : {FolderFlag::get, FolderFlag::list, FolderFlag::CWD, FolderFlag::inherit})
        accounts_.Folders().GrantFlag(kAnonymousName, kFirstRunFolder, flag);
}

void serverController::startInitialServices()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    startServices(settings_.RunWebServerNextTime ? kServiceBoth : kServiceFtp);
}

void serverController::shutDown()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    settings_.RunWebServerNextTime = thread_ && thread_->HttpServiceExists();
    stopServices(kServiceBoth);
    saveNetworkProfile();
    saveSettings();
    accounts_.SaveAccounts();
    sessions_.Clear();
    log_.CloseLogFile();
    view_.RefreshSessionView();
}

// ---- Services ----

void serverController::postCommandRetrying(unsigned message, bool pause)
{
    // The thread's queue exists a moment after the thread starts; until then a post fails.
    while (thread_ && thread_->Running() && !thread_->PostCommand(static_cast<ServerCommand>(message))) {
        if (pause) std::this_thread::sleep_for(kRetryPause);
        else std::this_thread::yield();
    }
}

void serverController::startServices(int kind)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    view_.ShowBusy(true);
    if (!serverThreadAlive()) {
        thread_.reset();
        thread_ = std::make_unique<ftpServerThread>(*this, accounts_, window_, tickInterval_);
    }
    if (kind == kServiceFtp || kind == kServiceBoth) postCommandRetrying(MSG_START_FTP, true);
    if (kind == kServiceHttp || kind == kServiceBoth) postCommandRetrying(MSG_START_HTTP, true);
    view_.ShowBusy(false);
}

void serverController::stopServices(int kind)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (!thread_) return;
    if (kind == kServiceHttp || kind == kServiceBoth) {
        writeLog(ServiceStoppedLine(true, LocalDateTimeText()));
        postCommandRetrying(MSG_STOP_HTTP, false);
    }
    if (kind == kServiceFtp || kind == kServiceBoth) {
        writeLog(ServiceStoppedLine(false, LocalDateTimeText()));
        postCommandRetrying(MSG_STOP_FTP, false);
    }
    if (kind == kServiceBoth) {
        endServerThread();
        view_.ClearCacheView();
    }
}

void serverController::endServerThread()
{
    thread_->RequestTerminate();
    while (thread_->Running()) {
        window_.PumpQueue();
        std::this_thread::sleep_for(kRetryPause);
    }
    window_.PumpQueue();
    thread_.reset();
}

void serverController::restartServices(int kind)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    stopServices(kind);
    startServices(kind);
}

// Each request waits for its own answer: one asked while another waits (the window's queue is
// served meanwhile) neither takes nor ends the other's wait.
std::size_t serverController::disconnect(long long clientNumber)
{
    if (!thread_) return 0;
    const auto answer = std::make_shared<DisconnectAnswer>();
    // The thread's queue exists a moment after the thread starts; until then a post fails.
    while (thread_->Running() && !thread_->PostDisconnect(clientNumber, answer))
        std::this_thread::sleep_for(kRetryPause);
    // A thread that ends meanwhile (or is ended by a command run meanwhile) never answers: stop
    // waiting for it then.
    while (!answer->done && thread_ && thread_->Running()) {
        window_.PumpQueue();
        if (!answer->done) std::this_thread::sleep_for(kRetryPause);
    }
    return answer->disconnected;
}

bool serverController::disconnectClient(long long clientNumber)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    // 0 would name every client.
    return clientNumber != 0 && disconnect(clientNumber) == 1;
}

std::size_t serverController::disconnectAll()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    return disconnect(0);
}

int serverController::clientCount(int kind) const
{
    if (kind == kServiceFtp) return ftpClientCount_;
    if (kind == kServiceHttp) return httpClientCount_;
    return ftpClientCount_ + httpClientCount_;
}

bool serverController::serverThreadAlive() const { return thread_ && thread_->Running(); }

// The cache is safe from this thread: the values go to it directly, and a new capacity
// trims it at once. The view is refreshed here when the operator asked for it after each change.
void serverController::applyCacheSettings()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (!serverThreadAlive()) return;
    CacheHooks& hooks = thread_->cacheHooks();
    hooks.Configure(settings_);
    if (settings_.CacheAutoRefreshGUI) view_.ShowCacheView(CacheViewContentsOf(hooks.Cache().CacheSnapshot()));
}

void serverController::refreshCacheView()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (serverThreadAlive()) postCommandRetrying(MSG_REFRESH_CACHE_VIEW, true);
}

bool serverController::changePassword(long long clientNumber, const std::string& password)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    const SessionRecordPtr record = sessions_.Find(clientNumber);
    if (!record) return false;
    return accounts_.changePassword(record->AccountName(), password);
}

void serverController::writeLog(const std::string& line) { log_.writeLog(line); }
void serverController::writeLogLines(const std::vector<std::string>& lines) { log_.writeLogLines(lines); }

void serverController::applyLogSettings(bool screenLogging, bool fileLogging, const std::string& logFilePath)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    const bool fileLoggingChanged = fileLogging != settings_.LoggingToFile;
    settings_.ScreenLoggingEnabled = screenLogging;
    settings_.LoggingToFile = fileLogging;
    settings_.LogFilePath = logFilePath;
    log_.SetScreenLogging(screenLogging);
    log_.SetFileLogging(fileLogging);
    if (!fileLoggingChanged) return;
    if (fileLogging) log_.OpenLogFile(logFilePath);
    else log_.CloseLogFile();
}

void serverController::setClientCounts(int ftp, int http)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    ftpClientCount_ = ftp;
    httpClientCount_ = http;
}

void serverController::setFtpListening(bool on) { ftpListening_.Set(on); }
bool serverController::ftpListening() const { return ftpListening_.Get(); }
void serverController::setHttpListening(bool on) { httpListening_.Set(on); }
bool serverController::httpListening() const { return httpListening_.Get(); }

// ---- Settings file ----

void serverController::removeStaleSettingsTemporaries()
{
    // A save killed before its rename leaves its hidden temporary; nothing else writes the
    // settings while the controller starts.
    fs::RemoveStaleRewriteTemporaries(ProgramFolder(),
                                      [](std::string_view name) { return name == kServerSettingsFileName; });
}

void serverController::loadSettings()
{
    settings_ = LoadServerSettings(OpenServerSettings());
    // New passwords are hashed at the settings' cost from now on, whether or not a service runs.
    accounts_.SetPasswordHashCost({static_cast<unsigned long long>(settings_.PasswordHashPasses),
                                   static_cast<std::size_t>(settings_.PasswordHashMemoryKiB)});
}

void serverController::saveSettings()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    IniImage image = OpenServerSettings();
    SaveServerSettings(settings_, image);
    image.SaveOwnerOnly(ProgramFolder() + std::string(kServerSettingsFileName));
}

void serverController::loadNetworkProfile()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    const IniImage image = OpenServerSettings();
    networkProfile_ = LoadNetworkProfile(image);
    connectionSettings_ = LoadConnectionSettings(image);
    std::lock_guard guard(networkList_.Lock());
    networkList_.Load(image);
}

void serverController::saveNetworkProfile()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    IniImage image = OpenServerSettings();
    SaveNetworkProfile(networkProfile_, image);
    {
        std::lock_guard guard(networkList_.Lock());
        networkList_.Save(image);
    }
    SaveConnectionSettings(connectionSettings_, image);
    image.SaveOwnerOnly(ProgramFolder() + std::string(kServerSettingsFileName));
}

void serverController::showMessageBox(ServerView::MessageKind kind, const std::string& text)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (view_.ShowMessageBox(kind, text)) return;
    std::string line(kind == ServerView::MessageKind::Error ? kErrorCaption : kHelpCaption);
    line.append(": ").append(text);
    writeLog(line);
}

void serverController::publishNetworkList(const std::string& registeredNetworksText)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (!startedForP2P_) return;
    networkListPublished_ = WriteSharedMemoryFile(ProgramFolder() + std::string(kNetworkListFileName),
                                                  kNetworkListMappingSize, registeredNetworksText);
}

}  // namespace corvane
