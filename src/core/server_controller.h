// serverController: the window-thread half of the server core. It loads and saves the settings,
// owns the account store, the session table and the log, creates the server thread and steers
// the FTP and HTTP services by posting commands to it.
//
// Window thread only. The server thread reaches it through closures run on the window thread
// (posted, or run with WindowThread::RunAndWait where it needs an answer), except for the two
// listening flags and the session table, which have their own locks.
// Every wait here (for a command to be done, for the thread to end) keeps serving the window
// thread's queue, so the server thread's closures always complete.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "accounts/permissions.h"
#include "common/thread_owner.h"
#include "core/connection_settings.h"
#include "core/log_writer.h"
#include "core/server_settings.h"
#include "core/server_view.h"
#include "core/session_table.h"
#include "core/window_thread.h"
#include "p2p/p2p_network_list.h"

namespace corvane {

class ftpServerThread;

// Kinds of service for startServices, stopServices, restartServices and clientCount.
enum ServiceSelection { kServiceFtp = 0, kServiceHttp = 1, kServiceBoth = 2 };

inline constexpr std::size_t kNetworkListMappingSize = 1048576;
inline constexpr std::string_view kNetworkListFileName = "corvaneserver.mmf";

class serverController {
public:
    // `arguments` are the program's command-line arguments after the program name.
    serverController(WindowThread& window, ServerView& view, std::vector<std::string> arguments);
    ~serverController();
    serverController(const serverController&) = delete;
    serverController& operator=(const serverController&) = delete;

    // The start-up order: drive map, account store, settings (written back at once), network
    // profile, first-run setup, log file, the P2P flags.
    void startUp();
    // What the window does when it is first painted: start FTP, or both services when the HTTP
    // service ran last time.
    void startInitialServices();
    // The shut-down order: remember whether HTTP ran, stop both services and the server thread,
    // save the profile, the settings and the account store, close the log.
    void shutDown();

    void startServices(int kind);
    void stopServices(int kind);
    void restartServices(int kind);
    // The client is named by its never-reused ClientNumber (a session record's ClientNumber).
    // True when that client was there and is gone now.
    bool disconnectClient(long long clientNumber);
    // The number of clients that went.
    std::size_t disconnectAll();
    int clientCount(int kind) const;
    bool serverThreadAlive() const;
    void applyCacheSettings();
    void refreshCacheView();
    bool changePassword(long long clientNumber, const std::string& password);
    void writeLog(const std::string& line);
    void writeLogLines(const std::vector<std::string>& lines);

    void loadSettings();
    void saveSettings();
    void loadNetworkProfile();
    // Writes the profile, the network list and the connection settings (the file holds
    // passwords: it is left readable by its owner only).
    void saveNetworkProfile();
    // A message box (Error: the error caption and a warning icon; Help: the help caption and an
    // information icon); where the view shows none, the caption and text go to the log.
    void showMessageBox(ServerView::MessageKind kind, const std::string& text);
    // The shared-memory hand-off of the registered P2P networks (one encoded entry per line,
    // each ended by CR LF), done when the program was started for P2P.
    void publishNetworkList(const std::string& registeredNetworksText);

    // What the options dialog's apply-and-save buttons and its log panel do with the values of
    // `fresh`, group by group: the common group restarts the services, the FTP group the FTP
    // service and the HTTP group a running HTTP service, each only when one of its values
    // changed; the reverse-DNS switch goes to the account store, the cache and log values
    // apply live. Clients of a restarted service are disconnected (the service manager's
    // reload is the operator's yes). Values outside the groups (first run, the HTTP service
    // of the next start) stay as they are.
    struct OptionsApplied {
        bool ftpRestarted = false;
        bool httpRestarted = false;
    };
    OptionsApplied applyOptions(const ServerSettings& fresh, bool reverseDnsCheck);
    // Closes and opens the log file again (after it was moved away, e.g. by logrotate), when
    // logging to a file is on.
    void reopenLogFile();

    // Log file control (the log panel): opened when LoggingToFile is on.
    void applyLogSettings(bool screenLogging, bool fileLogging, const std::string& logFilePath);

    ServerSettings& settings() { return settings_; }
    NetworkProfile& networkProfile() { return networkProfile_; }
    ConnectionSettings& connectionSettings() { return connectionSettings_; }
    // Shared with the indexer: hold its Lock() around every use (any thread).
    P2PNetworkList& networkList() { return networkList_; }
    // The P2P state the indexer's network phase writes (through the window thread).
    bool indexUploadSucceeded() const { return indexUploadSucceeded_; }
    void setIndexUploadSucceeded(bool on) { indexUploadSucceeded_ = on; }
    const std::string& indexServerAddress() const { return indexServerAddress_; }
    void setIndexServerAddress(const std::string& url) { indexServerAddress_ = url; }
    permissionsClass& accounts() { return accounts_; }
    sessionTable& sessions() { return sessions_; }
    ServerView& view() { return view_; }
    WindowThread& window() { return window_; }
    bool startedForP2P() const { return startedForP2P_; }
    bool networkListPublished() const { return networkListPublished_; }
    bool logFileOpen() const { return log_.LogFileOpen(); }
    // Any thread: whether the log is written to the screen or a file.
    bool logWanted() const { return log_.Wanted(); }

    // ---- Reached by the server thread ----
    // Any thread (each flag has its own lock).
    void setFtpListening(bool on);
    bool ftpListening() const;
    void setHttpListening(bool on);
    bool httpListening() const;
    // Window thread (inside the server thread's closures).
    void setClientCounts(int ftp, int http);
    // The server thread's tick, 10 s; tests shorten it before the first start.
    void setTickInterval(std::chrono::milliseconds interval) { tickInterval_ = interval; }
    // The thread object, for its own closures and for tests; null when none.
    ftpServerThread* serverThread() { return thread_.get(); }

private:
    ThreadOwner owner_;  // the window thread, which makes the controller
    void removeStaleSettingsTemporaries();
    void postCommandRetrying(unsigned message, bool pause);
    std::size_t disconnect(long long clientNumber);
    void endServerThread();
    void firstRunSetup();

    WindowThread& window_;
    ServerView& view_;
    std::vector<std::string> arguments_;
    bool startedForP2P_ = false;
    bool networkListPublished_ = false;
    sessionTable sessions_;
    LogWriter log_;
    // A flag that the server thread writes outside the window thread's closures.
    class LockedFlag {
    public:
        void Set(bool on)
        {
            std::lock_guard guard(lock_);
            on_ = on;
        }
        bool Get() const
        {
            std::lock_guard guard(lock_);
            return on_;
        }

    private:
        mutable std::mutex lock_;
        bool on_ = false;
    };
    LockedFlag httpListening_;
    LockedFlag ftpListening_;
    std::unique_ptr<ftpServerThread> thread_;
    std::chrono::milliseconds tickInterval_{10000};
    int ftpClientCount_ = 0;
    int httpClientCount_ = 0;
    permissionsClass accounts_;
    ServerSettings settings_;
    NetworkProfile networkProfile_;
    ConnectionSettings connectionSettings_;
    P2PNetworkList networkList_;
    bool indexUploadSucceeded_ = false;
    std::string indexServerAddress_;
};

}  // namespace corvane
