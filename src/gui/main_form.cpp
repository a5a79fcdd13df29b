#include "gui/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QSplitter>
#include <QStyle>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

#include "common/constants.h"
#include "common/program_folder.h"
#include "core/ftp_server_thread.h"
#include "core/p2p_options_model.h"
#include "core/window_placement.h"
#include "gui/options_dialog.h"
#include "gui/p2p_options_dialog.h"
#include "gui/qt_text.h"
#include "gui/window_helpers.h"
#include "platform/executable_folder.h"
#include "platform/local_addresses.h"
#include "platform/local_time_text.h"

namespace corvane {
namespace {

constexpr const char* kTrayNotice =
    "Corvane will now minimize into the windows tray instead of actually closing. You have to give the shut down "
    "command from the tray menu or from the File menu to actually close it. This message will NOT be displayed again "
    "to not to bother you.";

constexpr const char* kMakersWebSite = "https://www.brinvale.com/corvane/";
constexpr const char* kNoBrowserText = "Could not spawn the web browser, sorry!";
constexpr const char* kNoP2PAccountText = "There is no P2P user account to delete.";
constexpr const char* kP2PAccountStaysText =
    "This server forgets the account and no longer indexes on that network. The account itself stays with the "
    "network: its account service offers no way to delete it.";

constexpr int kPageRole = Qt::UserRole;

// The navigation tree, able to say how wide its labels are.
class NavigationTree : public QTreeWidget {
public:
    int LabelsWidth() const { return sizeHintForColumn(0); }
};

int ClientsOf(const serverController& controller, int kind) { return controller.clientCount(kind); }

}  // namespace

TMainForm::TMainForm(std::vector<std::string> arguments, QWidget* parent)
    : QMainWindow(parent),
      view_(*this),
      controller_(windowThread_, view_, std::move(arguments)),
      openUrl_([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    AssertWindowThread();
    setObjectName("MainForm");
    setWindowTitle("Brinvale Corvane Server");
    setWindowIcon(QIcon(QtText(ShippedDataFolder() + "/corvane-server.png")));
    BuildPages();
    BuildNavigation();
    BuildMenus();
    BuildTray();
    statusText_ = new QLabel("IP: Not listening");
    statusText_->setObjectName("StatusText");
    statusBar()->addWidget(statusText_, 1);
    LoadPlacement();

    controller_.startUp();
    accounts_->FillFromStore();
    ip_->LoadFromStore();
    connections_->LoadLogOptions();
    ShowPage(kFtpStatusPage);
    if (accounts_->Tree()->topLevelItemCount() == 1 && accounts_->Tree()->topLevelItem(0)->childCount() == 0)
        accounts_->Tree()->setCurrentItem(accounts_->Tree()->topLevelItem(0));
}

TMainForm::~TMainForm()
{
    AssertWindowThread();
    // A window closed without the shut-down (a test, a failed start) still saves and stops.
    if (!shutDownDone_) controller_.shutDown();
    SavePlacement();
}

void TMainForm::LoadPlacement()
{
    placement_ = LoadWindowPlacement(OpenServerSettings());
    setGeometry(placement_.Left, placement_.Top, placement_.ClientWidth(), placement_.ClientHeight());
    if (placement_.Maximized()) {
        maximised_ = true;
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}

void TMainForm::SavePlacement()
{
    const QRect normal = isMaximized() ? normalGeometry() : geometry();
    placement_.Capture(normal.top(), normal.left(), normal.height(), normal.width(), isMaximized());
    // The list download that the first run offers belongs to the first session only.
    placement_.FirstRun = false;
    IniImage image = OpenServerSettings();
    SaveWindowPlacement(placement_, image);
    image.SaveOwnerOnly(ProgramFolder() + std::string(kServerSettingsFileName));
}

void TMainForm::BuildPages()
{
    pages_ = new QStackedWidget;
    info_ = new InfoPage(controller_);
    ftpStatus_ = new StatusPage("Status (FTP)", "0 KB UL, 0 KB DL");
    ftpStatus_->setObjectName("FtpStatusPage");
    accounts_ = new AccountsPage(controller_.accounts(), [this] { return ThisServerAddress(); });
    httpStatus_ = new StatusPage("Status (HTTP)", "0 KB");
    httpStatus_->setObjectName("HttpStatusPage");
    connections_ = new ConnectionsPage(controller_);
    ip_ = new IpPage(controller_.accounts(),
                     {[this] {
                          ftpServerThread* thread = controller_.serverThread();
                          return thread ? thread->BansShown() : std::vector<LoginBanBook::Ban>{};
                      },
                      [this](const std::string& address) {
                          ftpServerThread* thread = controller_.serverThread();
                          return thread != nullptr && thread->PostUnban(address);
                      }});
    cache_ = new CachePage(controller_);
    for (QWidget* page :
         std::initializer_list<QWidget*>{info_, ftpStatus_, accounts_, httpStatus_, connections_, ip_, cache_})
        pages_->addWidget(page);
    WireStatusPage(ftpStatus_, kServiceFtp);
    WireStatusPage(httpStatus_, kServiceHttp);
}

void TMainForm::WireStatusPage(StatusPage* page, int kind)
{
    connect(page->StartButton(), &QPushButton::clicked, this, [this, kind] { Restart(kind); });
    connect(page->RestartButton(), &QPushButton::clicked, this, [this, kind] { Restart(kind); });
    connect(page->StopButton(), &QPushButton::clicked, this, [this, kind] { Stop(kind); });
    connect(page->Lamp(), &StatusLamp::doubleClicked, this, [this, page, kind] {
        if (page->StopButton()->isEnabled()) Stop(kind);
        else if (page->StartButton()->isEnabled()) controller_.restartServices(kind);
    });
}

void TMainForm::BuildNavigation()
{
    navigation_ = new NavigationTree;
    navigation_->setObjectName("NavigationTree");
    navigation_->setHeaderHidden(true);
    const char* const titles[] = {"Information",
                                  "Status (FTP)",
                                  "Permissions (FTP)",
                                  "Status (HTTP)",
                                  "Connections / Logs (Common)",
                                  "IP/DNS Filtering (Common)",
                                  "Cache (Common)"};
    for (int page = 0; page < 7; ++page) {
        auto* item = new QTreeWidgetItem(QStringList{titles[page]});
        item->setData(0, kPageRole, page);
        navigation_->addTopLevelItem(item);
    }
    auto* settings = new QTreeWidgetItem(QStringList{"Settings"});
    settings->setData(0, kPageRole, -1);
    settingsEntry_ = new QTreeWidgetItem(settings, QStringList{"Server Options"});
    settingsEntry_->setData(0, kPageRole, -2);
    p2pEntry_ = new QTreeWidgetItem(settings, QStringList{"P2P Indexer Options"});
    p2pEntry_->setData(0, kPageRole, -3);
    navigation_->addTopLevelItem(settings);
    settings->setExpanded(true);
    connect(navigation_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        const int page = item->data(0, kPageRole).toInt();
        if (page >= 0) ShowPage(static_cast<MainPage>(page));
        else if (page == -2) OpenOptions();
        else if (page == -3) OpenP2POptions();
    });
    connect(navigation_, &QTreeWidget::itemClicked, this, [this] {
        // A settings entry opens its dialog but is no page: the highlight goes back to the
        // page shown.
        ShowPage(static_cast<MainPage>(pages_->currentIndex()));
    });
    splitter_ = new QSplitter;
    splitter_->addWidget(navigation_);
    splitter_->addWidget(pages_);
    splitter_->setCollapsible(0, false);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    setCentralWidget(splitter_);
    FitNavigationToLabels();
}

void TMainForm::FitNavigationToLabels()
{
    // Room for the longest label and a scroll bar: no label is cut off, whatever the window's
    // size; the pages take the rest.
    const int width = static_cast<NavigationTree*>(navigation_)->LabelsWidth() + 2 * navigation_->frameWidth() +
                      navigation_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, navigation_);
    navigation_->setMinimumWidth(width);
    splitter_->setSizes({width, std::max(width, this->width() - width)});
}

void TMainForm::BuildMenus()
{
    QMenu* file = menuBar()->addMenu("&File");
    restartFtp_ = file->addAction("&Restart FTP Server", this, [this] { Restart(kServiceFtp); });
    startFtp_ = file->addAction("&Start FTP Server", this, [this] { Restart(kServiceFtp); });
    stopFtp_ = file->addAction("S&top FTP Server", this, [this] { Stop(kServiceFtp); });
    file->addSeparator();
    restartHttp_ = file->addAction("&Restart HTTP Server", this, [this] { Restart(kServiceHttp); });
    startHttp_ = file->addAction("&Start HTTP Server", this, [this] { Restart(kServiceHttp); });
    stopHttp_ = file->addAction("S&top HTTP Server", this, [this] { Stop(kServiceHttp); });
    file->addSeparator();
    file->addAction("&Delete P2P User Account", this, &TMainForm::DeleteP2PAccounts);
    file->addSeparator();
    file->addAction("&Send to tray", this, &TMainForm::SendToTray);
    file->addAction("S&hut Down", this, &TMainForm::ShutDown);
    for (QAction* stop : {stopFtp_, stopHttp_}) stop->setEnabled(false);

    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->addAction("Server Options", this, &TMainForm::OpenOptions);
    edit->addAction("P2P Indexer Options", this, &TMainForm::OpenP2POptions);

    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction("&Help Contents", QKeySequence(Qt::Key_F1), this, &TMainForm::OpenHelp);
    help->addAction("Corvane Server on the web", this, &TMainForm::OpenMakersWebSite);
    help->addAction("Send &Bug Report", this, [] {
        OpenWithDesktop("mailto:?subject=Corvane%20Server%20bug%20report", "Could not spawn the mail program, sorry!");
    });
    help->addAction("Send &Feedback", this, [] {
        OpenWithDesktop("mailto:?subject=Corvane%20Server%20feedback", "Could not spawn the mail program, sorry!");
    });
    help->addAction("&About", QKeySequence(Qt::Key_F12), this, [this] {
        QMessageBox::about(
            this, "About Brinvale Corvane Server",
            "Brinvale Corvane Server\nShares local folders over FTP and HTTP, with accounts and folder rights.");
    });
}

void TMainForm::BuildTray()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    tray_ = new QSystemTrayIcon(windowIcon(), this);
    tray_->setToolTip("Brinvale Corvane Server");
    auto* menu = new QMenu(this);
    menu->addAction("Restore", this, &TMainForm::Restore);
    menu->addAction("Shut Down", this, &TMainForm::ShutDown);
    tray_->setContextMenu(menu);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) Restore();
    });
    tray_->show();
}

void TMainForm::ShowPage(MainPage page)
{
    AssertWindowThread();
    pages_->setCurrentIndex(page);
    QTreeWidgetItem* item = navigation_->topLevelItem(page);
    if (item && navigation_->currentItem() != item) navigation_->setCurrentItem(item);
}

void TMainForm::OpenP2POptions()
{
    AssertWindowThread();
    // The first session fetches the network list with the first dialog it opens; later
    // dialogs show the list as it is, with the ticks the operator left.
    TIndexerOptionsForm dialog(controller_, placement_.FirstRun && !networkListOffered_, this);
    networkListOffered_ = true;
    dialog.exec();
}

void TMainForm::ShowSettingsEntry()
{
    AssertWindowThread();
    // The first run leads the operator to the P2P options: the entry stands out in bold, while
    // the highlight stays on the page the window shows.
    QFont bold = p2pEntry_->font(0);
    bold.setBold(true);
    p2pEntry_->setFont(0, bold);
    navigation_->scrollToItem(p2pEntry_);
    FitNavigationToLabels();
}

QString TMainForm::ThisServerAddress()
{
    const ServerSettings& s = controller_.settings();
    return QtText(s.UserSetServerIP) + ":" + QString::number(s.WebServerPort);
}

// ---- Start-up ----

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (firstPaintDone_) return;
    firstPaintDone_ = true;
    // After the first paint, so the operator sees the window while the services start.
    QTimer::singleShot(0, this, &TMainForm::StartInitialServices);
}

void TMainForm::StartInitialServices()
{
    AssertWindowThread();
    firstPaintDone_ = true;
    controller_.startInitialServices();
    info_->Reload();
}

// ---- Services ----

void TMainForm::Restart(int kind)
{
    AssertWindowThread();
    if (!controller_.serverThreadAlive()) {
        controller_.startServices(kind);
        return;
    }
    const int n = ClientsOf(controller_, kind);
    if (n > 0 &&
        AskYesNo(this,
                 "The changes you have made requires the restarting of server which requires the disconnection of the "
                 "connected " +
                     QString::number(n) + " users. Do you accept to restart?",
                 "Really Restart Server?") != QMessageBox::Yes)
        return;
    controller_.restartServices(kind);
}

void TMainForm::Stop(int kind)
{
    AssertWindowThread();
    const int n = (kind != kServiceHttp ? ClientsOf(controller_, kServiceFtp) : 0) +
                  (kind != kServiceFtp ? ClientsOf(controller_, kServiceHttp) : 0);
    if (n > 0 &&
        AskYesNo(this, "Do you really want to stop the server, killing the " + QString::number(n) + " connected users?",
                 "Server stopping confirmation") != QMessageBox::Yes)
        return;
    SetStopEnabled(kind, false);
    controller_.stopServices(kind);
}

void TMainForm::SetStopEnabled(int kind, bool on)
{
    if (kind != kServiceHttp) {
        if (!on) ftpStatus_->DisableStopAndRestart();
        stopFtp_->setEnabled(on);
        restartFtp_->setEnabled(on);
    }
    if (kind != kServiceFtp) {
        if (!on) httpStatus_->DisableStopAndRestart();
        stopHttp_->setEnabled(on);
        restartHttp_->setEnabled(on);
    }
}

void TMainForm::ServiceStarted(bool ftp)
{
    AssertWindowThread();
    (ftp ? ftpStatus_ : httpStatus_)->ShowRunning(true);
    (ftp ? startFtp_ : startHttp_)->setEnabled(false);
    (ftp ? stopFtp_ : stopHttp_)->setEnabled(true);
    (ftp ? restartFtp_ : restartHttp_)->setEnabled(true);
    const std::string service = ftp ? "FTP" : "HTTP";
    controller_.writeLog("! " + service + " Server started (" + LocalDateTimeText() + ")");
    const std::vector<std::string> addresses = LocalIPv4Addresses();
    for (std::size_t i = 0; i < addresses.size(); ++i)
        controller_.writeLog("! Local IP #" + std::to_string(i) + " --> " + addresses[i]);
    controller_.writeLog("! " + service + " Server listening on IP " + controller_.settings().UserSetServerIP);
    info_->Reload();
}

void TMainForm::ServiceStopped(bool ftp)
{
    AssertWindowThread();
    if (ftp) {
        connections_->RefreshNow();
        ftpStatus_->ShowUsers("No users");
    }
    (ftp ? ftpStatus_ : httpStatus_)->ShowRunning(false);
    (ftp ? startFtp_ : startHttp_)->setEnabled(true);
    (ftp ? stopFtp_ : stopHttp_)->setEnabled(false);
    (ftp ? restartFtp_ : restartHttp_)->setEnabled(true);
    info_->Reload();
}

// ---- Closing ----

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (shutDownDone_) {
        event->accept();
        return;
    }
    event->ignore();
    if (shutDownFlag_) return;
    SendToTray();
}

void TMainForm::SendToTray()
{
    AssertWindowThread();
    if (firstCloseNotice_) {
        firstCloseNotice_ = false;
        ShowHelp(kTrayNotice, this);
    }
    if (tray_) hide();
    else showMinimized();
}

void TMainForm::Restore()
{
    AssertWindowThread();
    if (maximised_) showMaximized();
    else showNormal();
    raise();
    activateWindow();
}

void TMainForm::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange) {
        if (!isMinimized()) maximised_ = isMaximized();
    }
    QMainWindow::changeEvent(event);
}

bool TMainForm::ShutDown()
{
    AssertWindowThread();
    if (shutDownDone_) return true;
    shutDownFlag_ = true;
    const int n = ClientsOf(controller_, kServiceBoth);
    if (n > 0 &&
        AskYesNo(this,
                 "Do you really want to quit, killing the " + QString::number(n) + " client(s) connected to server?",
                 "Really quit?") != QMessageBox::Yes) {
        shutDownFlag_ = false;
        return false;
    }
    ShutDownWithoutAsking();
    return true;
}

void TMainForm::ShutDownWithoutAsking()
{
    AssertWindowThread();
    if (shutDownDone_) return;
    shutDownFlag_ = true;
    emit shuttingDown();
    controller_.shutDown();
    shutDownDone_ = true;
    if (tray_) tray_->hide();
    close();
    emit shutDownComplete();
}

void TMainForm::StoreChangedElsewhere()
{
    AssertWindowThread();
    ip_->LoadFromStore();
}

// ---- Dialogs and help ----

void TMainForm::OpenOptions()
{
    AssertWindowThread();
    OptionsDialog dialog(
        controller_, [this](int kind) { Restart(kind); }, this);
    dialog.exec();
    info_->Reload();
}

void TMainForm::OpenHelp()
{
    AssertWindowThread();
    const QString help = QtText(ShippedDataFolder() + "/CorvaneServerHelp.html");
    if (!QFile::exists(help)) return ShowError("Could not open help file. Please re-install.", this);
    OpenWithDesktop(QUrl::fromLocalFile(help).toString(), "Could not open help file. Please re-install.");
}

void TMainForm::OpenMakersWebSite()
{
    AssertWindowThread();
    if (!openUrl_(QUrl(kMakersWebSite))) ShowError(kNoBrowserText, this);
}

void TMainForm::DeleteP2PAccounts()
{
    AssertWindowThread();
    P2PNetworkList& list = controller_.networkList();
    const std::vector<StoredP2PAccount> accounts = StoredP2PAccounts(list);
    if (accounts.empty()) return ShowHelp(kNoP2PAccountText, this);
    bool forgotten = false;
    for (const StoredP2PAccount& account : accounts) {
        const QString question = "Do you really want to delete the P2P user account " + QtText(account.userName) +
                                 " of " + QtText(account.network) + "?\n" + kP2PAccountStaysText;
        if (AskYesNo(this, question, "Really delete P2P user account?") == QMessageBox::Yes)
            forgotten = ForgetP2PAccount(list, account) || forgotten;
    }
    if (!forgotten) return;
    std::string registered;
    {
        std::lock_guard guard(list.Lock());
        registered = list.RegisteredEntriesText();
    }
    // In P2P mode the companion program reads the accounts from the shared file.
    controller_.publishNetworkList(registered);
}

}  // namespace corvane
