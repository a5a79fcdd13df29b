// Draws the administration window into PNG files: first as a first run shows it (a new home,
// the window at its default size), then every page and dialog on a prepared scratch home
// filled with a few accounts, rules and connected FTP users. docs/screenshots.sh runs it
// under Xvfb. Usage: gui_screenshots OUTPUT_FOLDER CLIENT_SCRIPT
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "../tests/core/test_client.h"
#include "common/program_folder.h"
#include "gui/main_form.h"
#include "gui/options_dialog.h"
#include "gui/p2p_options_dialog.h"
#include "gui/register_form.h"
#include "gui/url_form.h"
#include "gui/window_helpers.h"
#include "platform/fs.h"

using namespace corvane;

namespace {

QString output;

void Save(QWidget* widget, const QString& name)
{
    QTest::qWait(150);
    widget->grab().save(output + "/" + name + ".png", "PNG", 9);
}

// Grabs the modal dialog that `open` shows, then closes it.
void SaveModal(const QString& name, const std::function<void()>& open)
{
    auto* timer = new QTimer;
    timer->setInterval(50);
    QObject::connect(timer, &QTimer::timeout, [timer, name] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        Save(modal, name);
        modal->close();
    });
    timer->start();
    open();
}

std::unique_ptr<QProcess> Client(const QString& script, int port, const QString& user, const QString& password)
{
    auto client = std::make_unique<QProcess>();
    client->start("python3", {script, "127.0.0.1", QString::number(port), user, password});
    (void)QTest::qWaitFor(
        [&] { return client->readAll().contains("ready") || client->state() == QProcess::NotRunning; }, 20000);
    return client;
}

// A home that only says on which ports to listen: everything else is as a first run finds it.
void WriteListenPorts(const QString& home, const std::string& more)
{
    fs::WriteFileAtomically(home.toStdString() + "/CorvaneServer.ini",
                            "[ServerData]\r\nPort=" + std::to_string(corvane::testing::FreeLoopbackPort()) +
                                "\r\nUserSetServerIP=127.0.0.1\r\nWebServerPort=" +
                                std::to_string(corvane::testing::FreeLoopbackPort()) + "\r\n" + more);
}

void SaveFirstRun()
{
    QTemporaryDir home;
    WriteListenPorts(home.path(), "");
    SetProgramFolder(home.path().toStdString());
    TMainForm form({});
    form.show();
    (void)QTest::qWaitFor([&] { return form.Controller().ftpListening(); }, 10000);
    Save(&form, "0-first-run");
    form.ShutDown();
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc < 3) return 2;
    output = argv[1];
    QDir().mkpath(output);
    SaveFirstRun();
    // The prepared home: past its first run, both services on, two IP rules; its FTP users log
    // in without TLS (Python's plain ftplib).
    QTemporaryDir home;
    WriteListenPorts(home.path(),
                     "ServerFirstRun=0\r\nTlsRequiredForPasswordLogins=0\r\nRunWebServerNextTime=1\r\n"
                     "IPListMode=1\r\nIPListCount=2\r\n"
                     "IPListData0=10.0.0.x\r\nIPListData1=192.168.1xx.xxx\r\n[MainWindow]\r\nFirstRun=0\r\n");
    fs::MakeHostFolders(home.path().toStdString() + "/drive_c/Pub/Music");
    SetProgramFolder(home.path().toStdString());
    TMainForm form({});
    permissionsClass& store = form.Controller().accounts();
    store.AddGroup("Staff");
    store.AddUser("alice", "wonder", "Staff");
    store.AddUser("bob", "builder", "Staff");
    store.AddUser("guest", "guest", "All Others");
    store.AddUser("Anonymous", "", "All Others");
    for (FolderFlag flag : {FolderFlag::get, FolderFlag::list, FolderFlag::CWD})
        store.Folders().GrantFlag("Anonymous", "C:\\Pub\\", flag);
    store.Folders().GrantFlag("alice", "C:\\Pub\\", FolderFlag::get);
    store.Folders().GrantFlag("alice", "C:\\Pub\\", FolderFlag::put);
    store.Folders().GrantFlag("alice", "C:\\Pub\\", FolderFlag::list);
    store.Folders().GrantFlag("alice", "C:\\Pub\\", FolderFlag::CWD);
    store.Folders().GrantFlag("alice", "C:\\Pub\\Music\\", FolderFlag::list);
    store.Folders().SetFolderWebLink("alice", "C:\\Pub\\Music\\", "http://music.example.org/");
    store.SetMaxTransferRate("alice", 512);
    store.SetUdRatio("alice", 0.5f);
    form.Ip()->LoadFromStore();
    form.resize(960, 640);
    form.show();
    (void)QTest::qWaitFor([&] { return form.Controller().ftpListening(); }, 10000);
    const QString script = argv[2];
    const int port = form.Controller().settings().Port;
    auto anonymous = Client(script, port, "anonymous", "guest@");
    auto alice = Client(script, port, "alice", "wonder");
    form.Connections()->RefreshNow();
    form.Controller().writeLog("< CWD /Pub [127.0.0.1 <- 127.0.0.1 (10:00:00)]");
    form.Controller().writeLog("> 250 CWD command successful. [127.0.0.1 -> 127.0.0.1 (10:00:00)]");

    const char* const names[] = {"1-information",      "2-status-ftp",   "3-permissions", "4-status-http",
                                 "5-connections-logs", "6-ip-filtering", "7-cache"};
    for (int page = 0; page < 7; ++page) {
        form.ShowPage(static_cast<MainPage>(page));
        if (page == kPermissionsPage) {
            form.Accounts()->SelectAccount("alice");
            form.Accounts()->SelectFolderRow("C:\\Pub\\");
        }
        Save(&form, names[page]);
    }
    OptionsDialog options(
        form.Controller(), [](int) {}, &form);
    options.show();
    auto* tabs = options.findChild<QTabWidget*>();
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        Save(&options, "options-" + QString::number(tab + 1));
    }
    options.close();
    {
        P2PNetworkList& networks = form.Controller().networkList();
        std::lock_guard guard(networks.Lock());
        P2PNetwork main;
        main.name = "Brinvale Main";
        main.address = "http://p2p.example.org/v6";
        main.userName = "alice";
        main.password = "wonder";
        main.enabled = true;
        P2PNetwork music;
        music.name = "Music Share";
        music.address = "http://music.example.org/p2p/v6";
        networks.Entries() = {main, music};
    }
    TIndexerOptionsForm p2pOptions(form.Controller(), false, &form);
    p2pOptions.show();
    auto* p2pTabs = p2pOptions.findChild<QTabWidget*>();
    for (int tab = 0; tab < p2pTabs->count(); ++tab) {
        p2pTabs->setCurrentIndex(tab);
        Save(&p2pOptions, "p2p-options-" + QString::number(tab + 1));
    }
    p2pOptions.close();
    P2PNetwork unregistered;
    unregistered.name = "Music Share";
    SignUpForm signUp(SignUpForm::Mode::Register, unregistered);
    TRegisterForm signUpDialog(signUp, &form);
    signUpDialog.show();
    Save(&signUpDialog, "p2p-sign-up");
    signUpDialog.close();
    TURLForm link("http://music.example.org/", "127.0.0.1:8080", &form);
    link.show();
    Save(&link, "web-link-editor");
    link.close();
    SaveModal("ask-name", [&] { AskName("Enter new user name", false, &form); });
    SaveModal("message-error", [&] {
        ShowError("That name already exists (in either users or in groups)\nPlease choose another one.", &form);
    });
    SaveModal("message-confirm",
              [&] { AskYesNo(&form, "Do you really want to disconnect the user alice?", "Really disconnect user"); });
    for (auto* client : {anonymous.get(), alice.get()}) {
        client->closeWriteChannel();
        (void)QTest::qWaitFor([client] { return client->state() == QProcess::NotRunning; }, 10000);
    }
    form.ShutDown();
    return 0;
}
