// TMainForm: the administration window and the owner of the whole server. Its controller, the
// account store and the server thread live exactly as long as the window. Every action of
// the operator is a handler here or on one of its pages that asks where the system asks and
// then calls one operation of the controller, the account store or the cache.
// Window thread only.
#pragma once

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QSplitter>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTreeWidget>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/server_controller.h"
#include "core/window_placement.h"
#include "gui/accounts_page.h"
#include "gui/cache_page.h"
#include "gui/connections_page.h"
#include "gui/info_page.h"
#include "gui/ip_page.h"
#include "gui/qt_window_thread.h"
#include "gui/status_page.h"
#include "gui/window_view.h"

namespace corvane {

// The pages of the page control, in order; the navigation tree mirrors them.
enum MainPage { kInfoPage, kFtpStatusPage, kPermissionsPage, kHttpStatusPage, kConnectionsPage, kIpPage, kCachePage };

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window and the controller, and runs the controller's start-up (settings,
    // account store, first-run setup, log file). The services start at the first paint.
    // `arguments`: the program's arguments after its name ("/p2p" first when so started).
    explicit TMainForm(std::vector<std::string> arguments, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Start (or restart) the services of a kind (0 FTP, 1 HTTP, 2 both): without a server
    // thread they simply start; with connected clients the operator is asked first.
    void Restart(int kind);
    // Stop the services of a kind, asking first when clients would be disconnected.
    void Stop(int kind);
    // "S&hut Down": asks when clients are connected, then stops and saves everything and
    // closes the window for good. False when the operator said No.
    bool ShutDown();
    // The same for a stop signal: nobody is asked.
    void ShutDownWithoutAsking();
    // "&Send to tray" and the close box: hides the window (minimises it without a tray).
    void SendToTray();
    void Restore();
    void OpenOptions();
    // "P2P Indexer Options": the network list, the profile and the HTTP proxy, modal. In the
    // first session the first dialog downloads the network list when it is shown.
    void OpenP2POptions();
    void OpenHelp();
    // Help: the maker's web site in the desktop's browser.
    void OpenMakersWebSite();
    // The desktop's opener of web addresses (QDesktopServices); the window's tests put their
    // own here.
    void SetUrlOpener(std::function<bool(const QUrl&)> opener) { openUrl_ = std::move(opener); }
    // "&Delete P2P User Account": asks for each account this server keeps whether to forget
    // it (the network's account service keeps it: it has no request that deletes one).
    void DeleteP2PAccounts();
    void ShowPage(MainPage page);
    // Starts the services as the first paint does (tests that never paint call it).
    void StartInitialServices();

    // The account store or the IP rules were changed by an administration command: the IP page
    // shows the rules in force (the account pages follow the store by themselves).
    void StoreChangedElsewhere();

    // Called through the view on the window thread.
    void ServiceStarted(bool ftp);
    void ServiceStopped(bool ftp);
    void ShowSettingsEntry();

    serverController& Controller() { return controller_; }
    QtWindowThread& WindowThreadOfForm() { return windowThread_; }
    StatusPage* FtpStatus() const { return ftpStatus_; }
    StatusPage* HttpStatus() const { return httpStatus_; }
    AccountsPage* Accounts() const { return accounts_; }
    ConnectionsPage* Connections() const { return connections_; }
    IpPage* Ip() const { return ip_; }
    CachePage* Cache() const { return cache_; }
    InfoPage* Info() const { return info_; }
    QLabel* StatusText() const { return statusText_; }
    QTreeWidget* Navigation() const { return navigation_; }
    QStackedWidget* Pages() const { return pages_; }
    bool ShutDownDone() const { return shutDownDone_; }
    bool TrayNoticePending() const { return firstCloseNotice_; }

signals:
    // The shut-down begins: the controller still runs.
    void shuttingDown();
    // The controller has shut down; the program may end.
    void shutDownComplete();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void BuildPages();
    void BuildNavigation();
    void FitNavigationToLabels();
    void BuildMenus();
    void BuildTray();
    void WireStatusPage(StatusPage* page, int kind);
    void SetStopEnabled(int kind, bool on);
    QString ThisServerAddress();
    // Size and position from section "MainWindow", and back at the window's end.
    void LoadPlacement();
    void SavePlacement();

    // Declared first: the controller holds references to both.
    QtWindowThread windowThread_;
    WindowServerView view_;
    serverController controller_;

    QSplitter* splitter_ = nullptr;
    QTreeWidget* navigation_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    InfoPage* info_ = nullptr;
    StatusPage* ftpStatus_ = nullptr;
    AccountsPage* accounts_ = nullptr;
    StatusPage* httpStatus_ = nullptr;
    ConnectionsPage* connections_ = nullptr;
    IpPage* ip_ = nullptr;
    CachePage* cache_ = nullptr;
    QLabel* statusText_ = nullptr;
    QTreeWidgetItem* settingsEntry_ = nullptr;
    QTreeWidgetItem* p2pEntry_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    QAction* startFtp_ = nullptr;
    QAction* stopFtp_ = nullptr;
    QAction* restartFtp_ = nullptr;
    QAction* startHttp_ = nullptr;
    QAction* stopHttp_ = nullptr;
    QAction* restartHttp_ = nullptr;

    std::function<bool(const QUrl&)> openUrl_;

    bool shutDownFlag_ = false;
    bool shutDownDone_ = false;
    bool firstCloseNotice_ = true;
    bool firstPaintDone_ = false;
    bool networkListOffered_ = false;
    bool maximised_ = false;
    WindowPlacement placement_;
};

}  // namespace corvane
