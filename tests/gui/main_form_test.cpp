// The administration window driven as an operator drives it: real widgets on the offscreen
// platform, a real controller on a scratch home, real FTP clients (Python's ftplib).
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QStyle>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "../core/test_client.h"
#include "accounts/permissions.h"
#include "common/ini_image.h"
#include "common/program_folder.h"
#include "dialog_answer.h"
#include "gui/main_form.h"
#include "gui/options_dialog.h"
#include "gui/qt_text.h"
#include "gui/session_filter.h"
#include "gui/url_form.h"
#include "gui/window_view.h"
#include "p2p/p2p_network_list.h"
#include "platform/fs.h"
#include "test_source_dir.h"

using namespace corvane;
using corvane::testing::AnswerBox;
using corvane::testing::AnswerNextDialog;

namespace {

// Types `text` into the name prompt and presses Ok.
std::function<void(QWidget*)> TypeName(const QString& text)
{
    return [text](QWidget* modal) {
        auto* field = modal->findChild<QLineEdit*>("NameEdit");
        if (field) field->setText(text);
        static_cast<QDialog*>(modal)->accept();
    };
}

// Answers the name prompts in order.
void AnswerNames(const QStringList& texts)
{
    for (const QString& text : texts) AnswerNextDialog(TypeName(text));
}

std::string ReadFile(const std::string& path)
{
    std::string text;
    fs::ReadFileText(path, text);
    return text;
}

}  // namespace

class MainFormTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<TMainForm> form_;
    int ftpPort_ = 0;

    std::string HomeFile(const std::string& name) const { return home_->path().toStdString() + "/" + name; }

    // A fresh home whose services listen on loopback ports of their own.
    void OpenWindow(const std::string& moreSettings = "")
    {
        home_ = std::make_unique<QTemporaryDir>();
        ftpPort_ = corvane::testing::FreeLoopbackPort();
        const std::string ini =
            "[ServerData]\r\nPort=" + std::to_string(ftpPort_) +
            "\r\nUserSetServerIP=127.0.0.1\r\nWebServerPort=" + std::to_string(corvane::testing::FreeLoopbackPort()) +
            "\r\n" + moreSettings;
        fs::WriteFileAtomically(HomeFile("CorvaneServer.ini"), ini);
        SetProgramFolder(home_->path().toStdString());
        // The first run points the operator at the settings: answer nothing, just open.
        form_ = std::make_unique<TMainForm>(std::vector<std::string>{});
    }

    void StartFtp()
    {
        form_->StartInitialServices();
        QTRY_VERIFY_WITH_TIMEOUT(form_->Controller().ftpListening(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(form_->FtpStatus()->StateLabel()->text(), QString("Running"), 10000);
    }

    // A logged-in ftplib session, kept alive until the server closes it.
    std::unique_ptr<QProcess> ConnectClient(const QString& user = "anonymous", const QString& password = "guest@")
    {
        auto client = std::make_unique<QProcess>();
        client->setProcessChannelMode(QProcess::MergedChannels);
        client->start("python3", {CORVANE_TEST_SOURCE_DIR "/gui/ftp_session_client.py", "127.0.0.1",
                                  QString::number(ftpPort_), user, password});
        const bool ready = QTest::qWaitFor(
            [&] { return client->readAll().contains("ready") || client->state() == QProcess::NotRunning; }, 20000);
        if (!ready || client->state() == QProcess::NotRunning) return nullptr;
        return client;
    }

    static void EndClient(QProcess* client)
    {
        if (!client) return;
        client->closeWriteChannel();
        // Served while waiting: the server thread hands its log lines to this thread.
        if (!QTest::qWaitFor([client] { return client->state() == QProcess::NotRunning; }, 10000)) client->kill();
    }

    // An action of the menu bar ("&File", "&Edit") or, for an empty menu title, of the account
    // page's popup menus, found by its text.
    QAction* MenuAction(const QString& menu, const QString& text) const
    {
        QList<QAction*> actions;
        if (menu.isEmpty()) {
            for (QMenu* popup : form_->Accounts()->findChildren<QMenu*>()) actions += popup->actions();
        } else {
            for (QAction* top : form_->menuBar()->actions())
                if (top->text() == menu && top->menu()) actions = top->menu()->actions();
        }
        for (QAction* action : actions)
            if (action->text() == text) return action;
        return nullptr;
    }

    bool HasAccount(const std::string& name, bool group) const
    {
        permissionsClass& store = form_->Controller().accounts();
        for (const std::string& known : group ? store.GroupNames() : store.UserNames())
            if (known == name) return true;
        return false;
    }

    void SelectFolderOf(const QString& account, const QString& folder)
    {
        QVERIFY(form_->Accounts()->SelectAccount(account));
        QVERIFY(form_->Accounts()->SelectFolderRow(folder));
    }

private slots:
    void cleanup()
    {
        const std::size_t unanswered = corvane::testing::DialogAnswers::Instance().Clear();
        const int unexpected = corvane::testing::DialogAnswers::Instance().TakeUnexpected();
        // The window's own destruction stops and saves without asking.
        form_.reset();
        home_.reset();
        QCOMPARE(unanswered, std::size_t{0});  // every dialog the test expected came
        QCOMPARE(unexpected, 0);               // and no other
    }

    void windowThreadRunsClosuresOnItsThreadAndReleasesWaitersWhenItGoes()
    {
        auto window = std::make_unique<QtWindowThread>();
        QVERIFY(window->IsWindowThread());
        bool ranOnWindowThread = false;
        std::atomic<bool> done{false};
        std::thread server([&] {
            window->RunAndWait([&] { ranOnWindowThread = window->IsWindowThread(); });
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 5000);
        server.join();
        QVERIFY(ranOnWindowThread);

        // A waiter whose closure is still queued when the window thread's queue goes is
        // released, and posts after that fail.
        std::atomic<bool> released{false};
        std::atomic<bool> waiting{false};
        // The thread is given the object itself: the unique_ptr is reset below while it waits.
        QtWindowThread* const goingWindow = window.get();
        std::thread late([&] {
            waiting = true;
            goingWindow->RunAndWait([] {});
            released = true;
        });
        while (!waiting) QThread::msleep(1);
        QThread::msleep(50);
        window.reset();
        late.join();
        QVERIFY(released.load());
    }

    void actionFilterSelectsByMeaning_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("hidden");
        QTest::newRow("uploads") << "Uploading" << int(saUploadAllowed) << int(saDownloadAllowed);
        QTest::newRow("searches") << "Searching" << int(saSearch) << int(saDirectoryListed);
        QTest::newRow("md5 is a search") << "Searching" << int(saMd5Request) << int(saLoggedIn);
        QTest::newRow("logins") << "Authenticating" << int(saLoggedIn) << int(saSearch);
        QTest::newRow("cwd") << "Changing Directory" << int(saDirectoryChanged) << int(saDirectoryMade);
        QTest::newRow("rmd") << "Removing Directory" << int(saDirectoryRemoved) << int(saFileDeleted);
        QTest::newRow("all") << "All Actions" << int(saRename) << -1;
    }

    void actionFilterSelectsByMeaning()
    {
        QFETCH(QString, label);
        QFETCH(int, shown);
        QFETCH(int, hidden);
        int position = -1;
        for (std::size_t i = 0; i < kActionFilterLabels.size(); ++i)
            if (QtText(kActionFilterLabels[i]) == label) position = static_cast<int>(i);
        QVERIFY(position >= 0);
        QVERIFY(ActionFilterShows(position, shown));
        if (hidden >= 0) QVERIFY(!ActionFilterShows(position, hidden));
    }

    void accountsMadeInTheWindowReachTheAccountFiles()
    {
        OpenWindow();
        AccountsPage* page = form_->Accounts();
        // "ftp" typed as a user name becomes the anonymous account (which the first run made,
        // so the store refuses it with the window's text).
        QVERIFY(page->SelectAccount("All Others"));
        AnswerNames({"ftp"});
        auto refused = AnswerBox(QMessageBox::Ok);
        page->AddUser();
        QVERIFY(refused->seen);
        QCOMPARE(refused->title, QString("Brinvale Corvane Server Error"));
        QVERIFY(refused->text.startsWith("Anonymous user already exists"));
        QVERIFY(!page->Tree()->FindUser("ftp"));

        AnswerNames({"Staff"});
        page->AddGroup();
        QVERIFY(page->Tree()->FindGroup("Staff"));
        QVERIFY(page->SelectAccount("Staff"));
        AnswerNames({"bob", "s3cret"});
        page->AddUser();
        QVERIFY(page->Tree()->FindUser("bob"));
        QCOMPARE(page->Tree()->FindUser("bob")->parent()->text(0), QString("Staff"));
        IniImage accounts = IniImage::Open(HomeFile("usersgroups.ini"));
        QCOMPARE(QtText(accounts.ReadString("bob", "Group", "")), QString("Staff"));

        // A name the store cannot keep is refused with its reason, and the tree stays as it was.
        QVERIFY(page->SelectAccount("Staff"));
        AnswerNames({"bad[name]", "x"});
        auto badName = AnswerBox(QMessageBox::Ok);
        page->AddUser();
        QVERIFY(badName->seen);
        QCOMPARE(badName->text, QString("The name cannot hold the character \"[\"."));
        QVERIFY(!page->Tree()->FindUser("bad[name]"));

        // Cut and paste moves bob back to "All Others", first under it.
        QVERIFY(page->SelectAccount("bob"));
        page->CutUser();
        QVERIFY(page->PasteUserAction()->isEnabled());
        QVERIFY(page->SelectAccount("All Others"));
        page->PasteUser();
        QCOMPARE(page->Tree()->FindGroup("All Others")->child(0)->text(0), QString("bob"));
        QVERIFY(!page->PasteUserAction()->isEnabled());
        accounts = IniImage::Open(HomeFile("usersgroups.ini"));
        QCOMPARE(QtText(accounts.ReadString("bob", "Group", "")), QString("All Others"));

        // The anonymous account has no password to set.
        QVERIFY(page->SelectAccount("Anonymous"));
        QVERIFY(!page->PasswordButton()->isEnabled());
        QVERIFY(page->SelectAccount("bob"));
        QVERIFY(page->PasswordButton()->isEnabled());
    }

    void groupsKeepTheirRulesAndTheirUsers()
    {
        OpenWindow();
        AccountsPage* page = form_->Accounts();
        AnswerNames({"FTP"});
        auto refused = AnswerBox(QMessageBox::Ok);
        page->AddGroup();
        QCOMPARE(refused->text,
                 QString("Names \"Anonymous\" and \"ftp\" are for users only, \nthey cannot be assigned to groups"));
        QVERIFY(page->SelectAccount("All Others"));
        auto kept = AnswerBox(QMessageBox::Ok);
        page->DeleteGroup();
        QCOMPARE(kept->text, QString("Group \"All Others\" cannot be removed"));

        // A group removed with a user in it takes the user with it, as the command line does:
        // gone from the tree, the name list and the disk, and no longer there to be pasted.
        AnswerNames({"Temp"});
        page->AddGroup();
        QVERIFY(page->SelectAccount("Temp"));
        AnswerNames({"carol", "pw"});
        page->AddUser();
        QVERIFY(page->SelectAccount("carol"));
        page->CutUser();
        QVERIFY(page->SelectAccount("Temp"));
        auto confirm = AnswerBox(QMessageBox::Yes);
        page->DeleteGroup();
        QCOMPARE(confirm->title, QString("Really delete group?"));
        QVERIFY(!page->Tree()->FindGroup("Temp"));
        QVERIFY(!page->Tree()->FindUser("carol"));
        QVERIFY(!page->PasteUserAction()->isEnabled());
        QVERIFY(!QFileInfo::exists(QString::fromStdString(HomeFile("user - carol.kcf"))));
        QFile accounts(QString::fromStdString(HomeFile("usersgroups.ini")));
        QVERIFY(accounts.open(QIODevice::ReadOnly));
        QVERIFY(!accounts.readAll().contains("carol"));
    }

    // The window tells accounts apart as the store does: names that differ only in a letter
    // beyond ASCII are two accounts, each with its own node, and removing one keeps the other.
    void namesThatDifferBeyondAsciiAreTwoAccounts()
    {
        OpenWindow();
        AccountsPage* page = form_->Accounts();
        for (const char* name : {"Jörg", "JÖRG"}) {
            QVERIFY(page->SelectAccount("All Others"));
            AnswerNames({name, "pw"});
            page->AddUser();
        }
        QVERIFY(HasAccount("Jörg", false) && HasAccount("JÖRG", false));
        QVERIFY(page->SelectAccount("JÖRG"));
        QCOMPARE(AccountTree::NameOf(page->Tree()->currentItem()), QString("JÖRG"));
        auto confirm = AnswerBox(QMessageBox::Yes);
        page->DeleteUser();
        QVERIFY(confirm->seen);
        QVERIFY(HasAccount("Jörg", false));
        QVERIFY(!HasAccount("JÖRG", false));
        QVERIFY(!page->Tree()->FindUser("JÖRG"));
        QCOMPARE(AccountTree::NameOf(page->Tree()->FindUser("Jörg")), QString("Jörg"));
    }

    void aBusyWindowDoesNotHoldUpTheFtpService()
    {
        OpenWindow();
        StartFtp();
        // The window thread is blocked (a long redraw, a modal loop elsewhere) while a client
        // connects, logs in, lists and sends NOOPs: every reply still comes at once.
        std::atomic<bool> served{false};
        std::atomic<bool> failed{false};
        std::string failure;  // written by the client, read after it has ended
        std::thread client([&] {
            corvane::testing::LineClient ftp(ftpPort_);
            const auto expect = [&](const std::string& code) {
                std::string line;
                do line = ftp.ReadLine(std::chrono::milliseconds(2000));
                while (line.rfind(code + "-", 0) == 0);
                if (line.rfind(code + " ", 0) == 0 || failed) return;
                failure = "wanted " + code + ", got " + line;
                failed = true;
            };
            expect("220");
            ftp.Send("USER anonymous\r\n");
            expect("331");
            ftp.Send("PASS x@\r\n");
            expect("230");
            for (int i = 0; i < 5; ++i) {
                ftp.Send("NOOP\r\n");
                expect("200");
            }
            ftp.Send("PWD\r\n");
            expect("257");
            served = !failed;
            ftp.Send("QUIT\r\n");
        });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(8);
        while (!served && !failed && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));  // not serving the window's queue
        const bool servedWhileBlocked = served;
        client.join();
        QVERIFY2(servedWhileBlocked, failure.c_str());
        // Once the window runs again it shows what happened.
        QTRY_VERIFY_WITH_TIMEOUT(form_->Connections()->RefreshCount() > 0, 5000);
    }

    void rightsTickedInTheWindowReachTheFolderFile()
    {
        OpenWindow();
        AccountsPage* page = form_->Accounts();
        const QString share = "C:\\My Downloads\\";
        SelectFolderOf("Anonymous", share);
        QVERIFY(page->RightBox(FolderFlag::get)->isChecked());
        QVERIFY(!page->RightBox(FolderFlag::put)->isChecked());
        QVERIFY(page->HomeFolderBox()->isChecked());

        page->RightBox(FolderFlag::put)->click();
        QVERIFY(form_->Controller().accounts().Folders().CheckFolderPermission("Anonymous", ToStd(share), "put"));
        const std::string granted = ReadFile(HomeFile("user - Anonymous.kcf"));
        QVERIFY2(granted.find("gplc---i" + ToStd(share)) != std::string::npos, granted.c_str());
        page->RightBox(FolderFlag::put)->click();
        page->RightBox(FolderFlag::get)->click();
        const std::string revoked = ReadFile(HomeFile("user - Anonymous.kcf"));
        QVERIFY2(revoked.find("--lc---i" + ToStd(share)) != std::string::npos, revoked.c_str());

        // A second folder, added through the chooser, gets Download, List, Change and Inherit;
        // ticking Home Folder there moves the home.
        const std::string second = home_->path().toStdString() + "/drive_c/Pub";
        QVERIFY(fs::MakeHostFolders(second));
        page->chooseFolder = [second] { return QtText(second); };
        QVERIFY(page->SelectAccount("Anonymous"));
        page->AddFolder();
        QCOMPARE(page->FolderList()->topLevelItemCount(), 2);
        SelectFolderOf("Anonymous", "C:\\Pub\\");
        QVERIFY(!page->HomeFolderBox()->isChecked());
        page->RightBox(FolderFlag::CWD)->click();  // off
        page->HomeFolderBox()->click();
        QVERIFY(page->RightBox(FolderFlag::CWD)->isChecked());
        QCOMPARE(QtText(form_->Controller().accounts().Folders().GetHomeFolder("Anonymous")), QString("C:\\Pub\\"));
        const std::string moved = ReadFile(HomeFile("user - Anonymous.kcf"));
        QVERIFY2(moved.find("g-lc---iC:\\Pub\\") != std::string::npos, moved.c_str());
    }

    void gridStoresLimitsAndRatios()
    {
        OpenWindow();
        AccountsPage* page = form_->Accounts();
        QVERIFY(page->SelectAccount("Anonymous"));
        QLineEdit* connections = page->GridEdit(0);
        connections->setFocus();
        connections->selectAll();
        QTest::keyClicks(connections, "123456");  // five digits at most
        QCOMPARE(connections->text(), QString("12345"));
        emit connections->editingFinished();
        QCOMPARE(form_->Controller().accounts().GetMaxAccountConnections("Anonymous"), 12345);
        page->RatioChoice()->setCurrentIndex(2);
        emit page->RatioChoice()->activated(2);
        QCOMPARE(form_->Controller().accounts().GetUdRatio("Anonymous"), static_cast<float>(1.0 / 3.0));
        QVERIFY(page->SelectAccount("All Others"));
        QVERIFY(page->SelectAccount("Anonymous"));
        QCOMPARE(page->RatioChoice()->currentText(), QString("1/3"));
        QCOMPARE(page->GridEdit(0)->text(), QString("12345"));
    }

    void webLinkEditorCancelLeavesTheLink()
    {
        QCOMPARE(TURLForm("https://example.org/x", "127.0.0.1:80").AddressEdit()->text(), QString("example.org/x"));
        OpenWindow();
        AccountsPage* page = form_->Accounts();
        SelectFolderOf("Anonymous", "C:\\My Downloads\\");
        auto setLink = [](QWidget* modal) {
            auto* form = qobject_cast<TURLForm*>(modal);
            form->findChild<QPushButton*>("ThisServerButton")->click();
            form->findChild<QPushButton*>("OkButton")->click();
        };
        AnswerNextDialog(setLink);
        page->EditWebLink();
        const QString local = "http://127.0.0.1:" + QString::number(form_->Controller().settings().WebServerPort);
        QCOMPARE(page->FolderList()->topLevelItem(0)->text(1), local);
        AnswerNextDialog([](QWidget* modal) { modal->findChild<QPushButton*>("CancelButton")->click(); });
        page->EditWebLink();
        QCOMPARE(page->FolderList()->topLevelItem(0)->text(1), local);
        AnswerNextDialog([](QWidget* modal) { modal->close(); });
        page->EditWebLink();
        QCOMPARE(page->FolderList()->topLevelItem(0)->text(1), local);
        AnswerNextDialog([](QWidget* modal) { modal->findChild<QPushButton*>("RemoveLinkButton")->click(); });
        page->EditWebLink();
        QCOMPARE(page->FolderList()->topLevelItem(0)->text(1), QString());
    }

    void ipRulesAreListedThenAppliedAndWritten()
    {
        OpenWindow();
        IpPage* page = form_->Ip();
        for (const char* rule : {"127.0.0.x", "10.1.2.3"}) {
            page->RuleEdit()->setText(rule);
            page->AddRule();
        }
        for (const QString& bad : {QString(""), QString(1024, 'x')}) {
            page->RuleEdit()->setText(bad);
            auto box = AnswerBox(QMessageBox::Ok);
            page->AddRule();
            QCOMPARE(box->text, QString("Invalid IP address/rule entered."));
        }
        QCOMPARE(page->RuleList()->count(), 2);
        page->RuleList()->setCurrentRow(1);
        page->DeleteSelected();
        QVERIFY(form_->Controller().accounts().IpRules().ListIpRules().empty());  // the list only, so far
        page->ModeSelector()->setCurrentIndex(0);
        page->SaveAndApply();
        QCOMPARE(form_->Controller().accounts().IpRules().GetIpRuleMode(), 0);
        const IniImage settings = IniImage::Open(HomeFile("CorvaneServer.ini"));
        QCOMPARE(QtText(settings.ReadString("ServerData", "IPListCount", "")), QString("1"));
        QCOMPARE(QtText(settings.ReadString("ServerData", "IPListData0", "")), QString("127.0.0.x"));
        page->DeleteAll();
        QCOMPARE(form_->Controller().accounts().IpRules().ListIpRules().size(), std::size_t{1});
    }

    // The bans as the server publishes them: listed with what is left of them, and lifted by
    // address; a lift that cannot be asked for (no server) says so and keeps the row.
    void bansAreListedAndLiftedByAddress()
    {
        OpenWindow();
        std::vector<std::string> lifted;
        bool serverThere = true;
        IpPage page(form_->Controller().accounts(),
                    {[] {
                         return std::vector<LoginBanBook::Ban>{{"10.0.0.7", std::chrono::seconds(840), 10},
                                                               {"10.0.0.8", std::chrono::seconds(12), 11}};
                     },
                     [&](const std::string& address) {
                         if (serverThere) lifted.push_back(address);
                         return serverThere;
                     }});
        page.LoadFromStore();
        QCOMPARE(page.BanList()->count(), 2);
        QCOMPARE(page.BanList()->item(0)->text(), QString("10.0.0.7  (840 s left, 10 failed logins)"));
        page.BanList()->item(1)->setSelected(true);
        page.LiftSelectedBans();
        QCOMPARE(lifted, std::vector<std::string>{"10.0.0.8"});
        QCOMPARE(page.BanList()->count(), 1);
        serverThere = false;
        page.BanList()->item(0)->setSelected(true);
        auto box = AnswerBox(QMessageBox::Ok);
        page.LiftSelectedBans();
        QCOMPARE(box->text, QString("The ban could not be lifted: no server runs."));
        QCOMPARE(page.BanList()->count(), 1);
    }

    void servicesStartStopAndDisconnectAConnectedClient()
    {
        OpenWindow();
        StartFtp();
        QVERIFY(!form_->FtpStatus()->StartButton()->isEnabled());
        QVERIFY(form_->StatusText()->text().startsWith(" IP: "));
        auto client = ConnectClient();
        QVERIFY(client);
        ConnectionsPage* page = form_->Connections();
        QTRY_COMPARE_WITH_TIMEOUT(page->SessionList()->topLevelItemCount(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(page->SessionList()->topLevelItem(0)->text(0).toLower(), QString("anonymous"), 10000);
        // The last action was a listing: "Uploading" hides it, "Directory listing" shows it.
        page->ActionFilter()->setCurrentIndex(10);
        QCOMPARE(page->SessionList()->topLevelItemCount(), 0);
        page->ActionFilter()->setCurrentIndex(4);
        QCOMPARE(page->SessionList()->topLevelItemCount(), 1);

        // Stopping with a client connected asks; No keeps the service running.
        QTRY_COMPARE_WITH_TIMEOUT(form_->Controller().clientCount(kServiceFtp), 1, 15000);
        auto ask = AnswerBox(QMessageBox::No);
        form_->Stop(kServiceFtp);
        QCOMPARE(ask->title, QString("Server stopping confirmation"));
        QCOMPARE(ask->text, QString("Do you really want to stop the server, killing the 1 connected users?"));
        QVERIFY(form_->Controller().ftpListening());

        page->SessionList()->setCurrentItem(page->SessionList()->topLevelItem(0));
        auto confirm = AnswerBox(QMessageBox::Yes);
        page->DisconnectSelected();
        QCOMPARE(confirm->text.toLower(), QString("do you really want to disconnect the user anonymous?"));
        QVERIFY(QTest::qWaitFor(
            [&] { return client->readAll().contains("closed") || client->state() == QProcess::NotRunning; }, 15000));
        QTRY_COMPARE_WITH_TIMEOUT(page->SessionList()->topLevelItemCount(), 0, 10000);
        EndClient(client.get());

        form_->Stop(kServiceFtp);
        QTRY_COMPARE_WITH_TIMEOUT(form_->FtpStatus()->StateLabel()->text(), QString("Stopped"), 10000);
        QVERIFY(form_->FtpStatus()->StartButton()->isEnabled());
        QVERIFY(!form_->FtpStatus()->StopButton()->isEnabled());
        QCOMPARE(form_->FtpStatus()->TransferredLabel()->text(), QString("0 KB UL, 0 KB DL"));
        form_->Restart(kServiceFtp);
        QTRY_COMPARE_WITH_TIMEOUT(form_->FtpStatus()->StateLabel()->text(), QString("Running"), 10000);
    }

    void optionsRestartOnlyWhatChangedAndAskWhenClientsWouldGo()
    {
        OpenWindow();
        StartFtp();
        OptionsDialog dialog(
            form_->Controller(), [this](int kind) { form_->Restart(kind); }, form_.get());
        // Nothing changed: nothing restarts.
        dialog.ApplyFtp();
        form_->Connections()->Log()->DrawQueued();
        QVERIFY(!form_->Connections()->Log()->toPlainText().contains("FTP server stopped"));

        auto client = ConnectClient();
        QVERIFY(client);
        QTRY_COMPARE_WITH_TIMEOUT(form_->Controller().clientCount(kServiceFtp), 1, 15000);
        const int newPort = corvane::testing::FreeLoopbackPort();
        dialog.Field("Port")->setText(QString::number(newPort));
        auto ask = AnswerBox(QMessageBox::No);
        dialog.ApplyFtp();
        QCOMPARE(ask->title, QString("Really Restart Server?"));
        QCOMPARE(ask->text, QString("The changes you have made requires the restarting of server which requires the "
                                    "disconnection of the connected 1 users. Do you accept to restart?"));
        // No keeps the old port running; the new one is stored.
        QCOMPARE(form_->Controller().settings().Port, newPort);
        QVERIFY(client->state() == QProcess::Running);

        // Yes restarts FTP on the new port, disconnecting the client.
        const int thirdPort = corvane::testing::FreeLoopbackPort();
        dialog.Field("Port")->setText(QString::number(thirdPort));
        auto yes = AnswerBox(QMessageBox::Yes);
        dialog.ApplyFtp();
        QVERIFY(yes->seen);
        QVERIFY(QTest::qWaitFor(
            [&] { return client->readAll().contains("closed") || client->state() == QProcess::NotRunning; }, 15000));
        EndClient(client.get());
        QTRY_VERIFY_WITH_TIMEOUT(form_->Controller().ftpListening(), 10000);
        ftpPort_ = thirdPort;
        auto again = ConnectClient();
        QVERIFY(again);
        EndClient(again.get());
        QCOMPARE(QtText(IniImage::Open(HomeFile("CorvaneServer.ini")).ReadString("ServerData", "Port", "")),
                 QString::number(thirdPort));
    }

    void optionsDialogStoresTheTlsSettings()
    {
        OpenWindow();
        OptionsDialog dialog(
            form_->Controller(), [](int) {}, form_.get());
        QVERIFY(dialog.Box("TlsRequiredForPasswordLogins")->isChecked());
        dialog.Box("TlsRequiredForPasswordLogins")->setChecked(false);
        dialog.Field("TlsCertificateFile")->setText(" /srv/tls/server.crt ");
        dialog.ApplyFtp();
        QVERIFY(!form_->Controller().settings().TlsRequiredForPasswordLogins);
        const IniImage ini = IniImage::Open(HomeFile("CorvaneServer.ini"));
        QCOMPARE(QtText(ini.ReadString("ServerData", "TlsRequiredForPasswordLogins", "")), QString("0"));
        QCOMPARE(QtText(ini.ReadString("ServerData", "TlsCertificateFile", "")), QString("/srv/tls/server.crt"));
        QVERIFY(!ini.ValueExists("ServerData", "TlsKeyFile"));
    }

    // The HTTPS port and its redirect are set on the HTTP page and saved; a port that is out of
    // range or the plain one turns HTTPS off rather than failing at the next start.
    void optionsDialogSetsTheHttpsPort()
    {
        OpenWindow();
        OptionsDialog dialog(
            form_->Controller(), [](int) {}, form_.get());
        QCOMPARE(dialog.Field("WebServerHttpsPort")->text(), QString("0"));
        const std::vector<std::pair<QString, int>> cases = {
            {"8443", 8443}, {"70000", 0}, {dialog.Field("WebServerPort")->text(), 0}};
        for (const auto& [typed, kept] : cases) {
            dialog.Field("WebServerHttpsPort")->setText(typed);
            dialog.Box("WebServerRedirectToHttps")->setChecked(true);
            dialog.ApplyHttp();
            QCOMPARE(form_->Controller().settings().WebServerHttpsPort, kept);
            QCOMPARE(dialog.Field("WebServerHttpsPort")->text(), QString::number(kept));
        }
        QVERIFY(form_->Controller().settings().WebServerRedirectToHttps);
        const IniImage ini = IniImage::Open(HomeFile("CorvaneServer.ini"));
        QCOMPARE(QtText(ini.ReadString("ServerData", "WebServerRedirectToHttps", "")), QString("1"));
    }

    void cacheOptionsApplyAtOnce()
    {
        OpenWindow();
        CachePage* page = form_->Cache();
        form_->ShowPage(kCachePage);
        page->LoadSettings();
        QCOMPARE(page->CapacityEdit()->text(), QString("128"));
        page->CapacityEdit()->clear();
        QTest::keyClicks(page->CapacityEdit(), "12a345");  // digits only, four at most
        QCOMPARE(page->CapacityEdit()->text(), QString("1234"));
        page->SetCapacity();
        QCOMPARE(form_->Controller().settings().CacheSize, std::int64_t{1234} * 1048576);
        page->DirectoryCacheBox()->click();
        QVERIFY(!form_->Controller().settings().DirectoryCacheEnabled);
        page->ModeSelector()->setCurrentIndex(3);
        QCOMPARE(form_->Controller().settings().FileCacheMode, 3);
    }

    void cachePageShowsWhatADownloadLeftInTheCache()
    {
        OpenWindow();
        QVERIFY(QDir().mkpath(home_->path() + "/drive_c/My Downloads"));
        fs::WriteFileAtomically(HomeFile("drive_c/My Downloads/cached.bin"), std::string(5000, 'c'));
        StartFtp();
        form_->ShowPage(kCachePage);
        QProcess client;
        client.start("python3",
                     {"-c",
                      "import ftplib,sys\n"
                      "f=ftplib.FTP()\nf.connect('127.0.0.1',int(sys.argv[1]),timeout=20)\n"
                      "f.login('anonymous','guest@')\nf.retrbinary('RETR cached.bin',lambda b:None)\nf.quit()",
                      QString::number(ftpPort_)});
        // Served while waiting: the download's bookkeeping reaches this thread.
        QVERIFY(QTest::qWaitFor([&] { return client.state() == QProcess::NotRunning; }, 20000));
        QCOMPARE(client.exitCode(), 0);
        QTreeWidget* list = form_->Cache()->FileList();
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                form_->Controller().refreshCacheView();
                QTest::qWait(50);
                return list->topLevelItemCount() == 1 && list->topLevelItem(0)->text(0).contains("cached.bin");
            }(),
            10000);
        QCOMPARE(list->topLevelItem(0)->text(2), QString("0"));
        QCOMPARE(form_->Cache()->HitRatePanel()->text(), QString("0.00%"));
    }

    void theServersMessagesAreBoxesInTheWindowNotLogLines()
    {
        OpenWindow();
        auto error = AnswerBox(QMessageBox::Ok);
        form_->Controller().showMessageBox(corvane::ServerView::MessageKind::Error,
                                           "The index server refused the account.");
        QVERIFY(error->seen);
        QCOMPARE(error->title, QString("Brinvale Corvane Server Error"));
        QCOMPARE(error->text, QString("The index server refused the account."));
        auto help = AnswerBox(QMessageBox::Ok);
        form_->Controller().showMessageBox(corvane::ServerView::MessageKind::Help, "Registered.");
        QVERIFY(help->seen);
        QCOMPARE(help->title, QString("Brinvale Corvane Server Help"));
    }

    void everyMenuActionThatChangesSomethingDoesIt()
    {
        // Not a first run: the P2P options would fetch the network list from the Internet.
        OpenWindow("[MainWindow]\r\nFirstRun=0\r\n");
        form_->show();
        AccountsPage* page = form_->Accounts();
        const QString shared = home_->path() + "/drive_c/shared";
        QVERIFY(QDir().mkpath(shared));
        page->chooseFolder = [shared] { return shared; };
        serverController& controller = form_->Controller();
        permissionsClass& store = controller.accounts();
        std::shared_ptr<corvane::testing::DialogSeen> seen;
        const auto closeDialog = [&seen] { seen = AnswerNextDialog([](QWidget* modal) { modal->close(); }); };
        const auto confirm = [&seen] { seen = AnswerBox(QMessageBox::Yes); };
        struct Row {
            const char* menu;  // empty: the account page's popup menus
            const char* action;
            std::function<void()> before;
            std::function<bool()> done;
        };
        const std::vector<Row> rows = {
            {"&File", "&Start FTP Server", {}, [&] { return controller.ftpListening(); }},
            {"&File", "S&top FTP Server", {}, [&] { return !controller.ftpListening(); }},
            {"&File", "&Restart FTP Server", {}, [&] { return controller.ftpListening(); }},
            {"&File", "&Start HTTP Server", {}, [&] { return controller.httpListening(); }},
            {"&File", "S&top HTTP Server", {}, [&] { return !controller.httpListening(); }},
            {"&File", "&Restart HTTP Server", {}, [&] { return controller.httpListening(); }},
            {"&Edit", "Server Options", closeDialog, [&] { return seen->seen; }},
            {"&Edit", "P2P Indexer Options", closeDialog, [&] { return seen->seen; }},
            {"", "Add Group",
             [&] {
                 page->SelectAccount("All Others");
                 AnswerNames({"Crew"});
             },
             [&] { return HasAccount("Crew", true); }},
            {"", "Add User",
             [&] {
                 page->SelectAccount("Crew");
                 AnswerNames({"zoe", "pw"});
             },
             [&] { return HasAccount("zoe", false) && store.GetUserGroup("zoe") == "Crew"; }},
            {"", "Cut User", [&] { page->SelectAccount("zoe"); }, [&] { return page->PasteUserAction()->isEnabled(); }},
            {"", "Paste User", [&] { page->SelectAccount("All Others"); },
             [&] { return store.GetUserGroup("zoe") == "All Others"; }},
            {"", "Add Folder", [&] { page->SelectAccount("zoe"); },
             [&] { return store.Folders().ListFolders("zoe").size() == 1; }},
            {"", "Delete Folder",
             [&] {
                 page->FolderList()->setCurrentItem(page->FolderList()->topLevelItem(0));
                 confirm();
             },
             [&] { return store.Folders().ListFolders("zoe").empty(); }},
            {"", "Delete User",
             [&] {
                 page->SelectAccount("zoe");
                 confirm();
             },
             [&] { return !HasAccount("zoe", false); }},
            {"", "Delete Group",
             [&] {
                 page->SelectAccount("Crew");
                 confirm();
             },
             [&] { return !HasAccount("Crew", true); }},
            {"&File", "&Send to tray", [&] { seen = AnswerBox(QMessageBox::Ok); },
             [&] { return seen->seen && (form_->isMinimized() || !form_->isVisible()); }},
            {"&File", "S&hut Down", {}, [&] { return form_->ShutDownDone() && !controller.serverThreadAlive(); }},
        };
        for (const Row& row : rows) {
            QAction* action = MenuAction(row.menu, row.action);
            QVERIFY2(action, row.action);
            if (row.before) row.before();
            // As the operator does: after the previous step has shown its end.
            QVERIFY2(QTest::qWaitFor([action] { return action->isEnabled(); }, 10000), row.action);
            action->trigger();
            QVERIFY2(QTest::qWaitFor(row.done, 10000), row.action);
        }
        // The account files followed every change.
        const std::string written = ReadFile(HomeFile("usersgroups.ini"));
        QVERIFY(written.find("[Crew]") == std::string::npos && written.find("[zoe]") == std::string::npos);
    }

    void theFirstWindowShowsWholeLabelsAndHighlightsThePageItShows()
    {
        OpenWindow();  // a new home: the first run, the window at its stored default size
        QTreeWidget* tree = form_->Navigation();
        const auto highlightedPage = [this, tree] {
            return tree->currentItem() == tree->topLevelItem(form_->Pages()->currentIndex());
        };
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        QTRY_VERIFY_WITH_TIMEOUT(form_->Controller().ftpListening(), 10000);  // the first paint is over
        QCOMPARE(form_->Pages()->currentIndex(), int(kFtpStatusPage));
        QVERIFY(highlightedPage());
        const int margin = tree->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, tree) + 1;
        for (QTreeWidgetItemIterator it(tree); *it; ++it) {
            const QRect row = tree->visualItemRect(*it);
            const int needed = QFontMetrics((*it)->font(0)).horizontalAdvance((*it)->text(0)) + 2 * margin;
            QVERIFY2(row.left() + needed <= tree->viewport()->width(), qPrintable((*it)->text(0)));
        }
        // A settings entry opens its dialog; the highlight comes back to the page shown.
        QTreeWidgetItem* serverOptions = tree->topLevelItem(7)->child(0);
        AnswerNextDialog([](QWidget* modal) { modal->close(); });
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(serverOptions).center());
        QVERIFY(highlightedPage());
    }

    void theMakersSiteOpensInTheBrowserAndP2PAccountsAreForgottenOneByOne()
    {
        OpenWindow("[MainWindow]\r\nFirstRun=0\r\n");
        QList<QUrl> opened;
        bool browserStarts = true;
        form_->SetUrlOpener([&](const QUrl& url) {
            opened << url;
            return browserStarts;
        });
        QAction* site = MenuAction("&Help", "Corvane Server on the web");
        QVERIFY(site);
        site->trigger();
        QCOMPARE(opened, QList<QUrl>{QUrl("https://www.brinvale.com/corvane/")});
        browserStarts = false;
        auto failed = AnswerBox(QMessageBox::Ok);
        site->trigger();
        QCOMPARE(failed->text, QString("Could not spawn the web browser, sorry!"));

        QAction* deleteAccount = MenuAction("&File", "&Delete P2P User Account");
        QVERIFY(deleteAccount && deleteAccount->isEnabled());
        auto none = AnswerBox(QMessageBox::Ok);
        deleteAccount->trigger();
        QCOMPARE(none->text, QString("There is no P2P user account to delete."));

        std::vector<P2PNetwork>& entries = form_->Controller().networkList().Entries();
        for (const char* name : {"Kept", "Forgotten", "Unregistered"}) {
            P2PNetwork network;
            network.name = name;
            network.userName = network.name == "Unregistered" ? "" : "user of " + network.name;
            network.password = "pw";
            network.enabled = true;
            network.existingAccount = true;
            entries.push_back(network);
        }
        auto kept = AnswerBox(QMessageBox::No);
        auto forgotten = AnswerBox(QMessageBox::Yes);
        deleteAccount->trigger();
        QVERIFY(kept->text.startsWith("Do you really want to delete the P2P user account user of Kept of Kept?"));
        QVERIFY(forgotten->text.contains("its account service offers no way to delete it"));
        QCOMPARE(entries[0].userName, std::string("user of Kept"));
        QCOMPARE(entries[1].userName + entries[1].password, std::string());
        QVERIFY(!entries[1].existingAccount);
        form_.reset();  // the list reaches the settings file
        P2PNetworkList stored;
        stored.Load(IniImage::Open(HomeFile("CorvaneServer.ini")));
        QCOMPARE(stored.Entries().size(), std::size_t{3});
        QVERIFY(stored.Entries()[0].registered() && !stored.Entries()[1].registered());
    }

    void aCrowdOf256ClientsFillsTheOpenSessionsViewAndLeavesIt()
    {
        OpenWindow("MaximumNumberOfConnections=256\r\n");
        StartFtp();
        form_->ShowPage(kConnectionsPage);
        QTreeWidget* sessions = form_->Connections()->SessionList();
        QProcess crowd;
        crowd.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        crowd.start("python3",
                    {CORVANE_TEST_SOURCE_DIR "/gui/ftp_crowd.py", "127.0.0.1", QString::number(ftpPort_), "256"});
        QByteArray said;
        QVERIFY(QTest::qWaitFor(
            [&] {
                said += crowd.readAll();
                return said.contains("ready") || crowd.state() == QProcess::NotRunning;
            },
            60000));
        QVERIFY2(said.contains("ready 256"), said.constData());
        QTRY_COMPARE_WITH_TIMEOUT(sessions->topLevelItemCount(), 256, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(form_->Controller().clientCount(kServiceFtp), 256, 15000);  // counted every 10 s
        crowd.closeWriteChannel();
        QVERIFY(QTest::qWaitFor([&] { return crowd.state() == QProcess::NotRunning; }, 20000));
        QTRY_COMPARE_WITH_TIMEOUT(sessions->topLevelItemCount(), 0, 20000);
    }

    void badInputGetsItsMessageAndChangesNothing()
    {
        OpenWindow();
        AccountsPage* page = form_->Accounts();
        const std::size_t groups = form_->Controller().accounts().GroupNames().size();
        const QStringList refused = {"a[b",
                                     "a]b",
                                     "a=b",
                                     "a/b",
                                     "a\\b",
                                     "a\tb",
                                     "a\x7f"
                                     "b",
                                     " lead",
                                     "trail "};
        for (const QString& name : refused) {
            QVERIFY(page->SelectAccount("All Others"));
            AnswerNames({name});
            auto box = AnswerBox(QMessageBox::Ok);
            page->AddGroup();
            QVERIFY2(box->seen && box->text.startsWith("The name cannot"), qPrintable(name + ": " + box->text));
        }
        QCOMPARE(form_->Controller().accounts().GroupNames().size(), groups);

        // A capacity past four digits is cut to what the field takes.
        CachePage* cache = form_->Cache();
        cache->CapacityEdit()->clear();
        QTest::keyClicks(cache->CapacityEdit(), "99999");
        cache->SetCapacity();
        QCOMPARE(form_->Controller().settings().CacheSize, std::int64_t{9999} << 20);

        // A folder outside every drive of the server is refused with the way to map one.
        QTemporaryDir outside;
        page->chooseFolder = [&outside] { return outside.path(); };
        QVERIFY(page->SelectAccount("Anonymous"));
        const int folders = page->FolderList()->topLevelItemCount();
        auto unmapped = AnswerBox(QMessageBox::Ok);
        page->AddFolder();
        QVERIFY(unmapped->text.contains("lies on no drive of the server"));
        QCOMPARE(page->FolderList()->topLevelItemCount(), folders);

        // Closed while the services restart: the window goes to the tray, the restart ends,
        // and an account made just before is kept.
        StartFtp();
        form_->show();
        AnswerNames({"Crew"});
        page->AddGroup();
        auto notice = AnswerBox(QMessageBox::Ok);
        QTimer::singleShot(0, form_.get(), [this] { form_->close(); });
        form_->Restart(kServiceFtp);
        QTRY_VERIFY_WITH_TIMEOUT(notice->seen, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(form_->Controller().ftpListening(), 10000);
        QVERIFY(!form_->ShutDownDone());
        QVERIFY(IniImage::Open(HomeFile("usersgroups.ini")).SectionExists("Crew"));
    }

    // The offscreen platform drags nothing; ctest runs this one again on Xvfb (gui.drag_drop).
    void aUserDraggedOntoAGroupMovesThereAndNowhereElse()
    {
        if (QGuiApplication::platformName() == "offscreen") QSKIP("dragging needs a display server (Xvfb)");
        OpenWindow();
        form_->ShowPage(kPermissionsPage);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        AccountsPage* page = form_->Accounts();
        AnswerNames({"Crew"});
        QVERIFY(page->SelectAccount("All Others"));
        page->AddGroup();
        AccountTree* tree = page->Tree();
        QWidget* viewport = tree->viewport();
        const auto centre = [tree](QTreeWidgetItem* item) { return tree->visualItemRect(item).center(); };
        // Drags the node with the mouse as the operator does, and drops it on `target`.
        const auto drag = [&](QTreeWidgetItem* dragged, QTreeWidgetItem* target) {
            tree->scrollToItem(target);
            const QPoint from = centre(dragged);
            const QPoint to = centre(target);
            tree->setCurrentItem(dragged);
            QTimer::singleShot(100, viewport, [viewport, to] {
                QTest::mouseMove(viewport, to);
                QTest::mouseMove(viewport, to + QPoint(1, 0));
                QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
            });
            QTest::mousePress(viewport, Qt::LeftButton, {}, from);
            QTest::mouseMove(viewport, from + QPoint(0, 2 * QApplication::startDragDistance()));
            QTest::mouseMove(viewport, from + QPoint(0, 4 * QApplication::startDragDistance()));
            QTest::qWait(200);
        };
        permissionsClass& store = form_->Controller().accounts();
        QVERIFY(store.GetUserGroup("Anonymous") != "Crew");
        drag(tree->FindUser("Anonymous"), tree->FindGroup("Crew"));
        QCOMPARE(QtText(store.GetUserGroup("Anonymous")), QString("Crew"));
        QCOMPARE(tree->FindUser("Anonymous")->parent(), tree->FindGroup("Crew"));
        QCOMPARE(QtText(IniImage::Open(HomeFile("usersgroups.ini")).ReadString("Anonymous", "Group", "")),
                 QString("Crew"));
        // A group dropped on a group, or a user on a user, moves nothing.
        drag(tree->FindGroup("All Others"), tree->FindGroup("Crew"));
        QVERIFY(tree->FindGroup("All Others") && !tree->FindGroup("All Others")->parent());
        AnswerNames({"zoe", "pw"});
        QVERIFY(page->SelectAccount("All Others"));
        page->AddUser();
        drag(tree->FindUser("zoe"), tree->FindUser("Anonymous"));
        QCOMPARE(QtText(store.GetUserGroup("zoe")), QString("All Others"));
    }

    void theBusyCursorNestsAndNeverTakesAnotherCursorDown()
    {
        OpenWindow();
        WindowServerView view(*form_);
        QApplication::setOverrideCursor(Qt::CrossCursor);  // someone else's, e.g. a dialog's
        view.ShowBusy(true);
        view.ShowBusy(true);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        view.ShowBusy(false);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        view.ShowBusy(false);
        view.ShowBusy(false);  // one too many
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
        QApplication::restoreOverrideCursor();
        // The controller's start is framed by it: the cursor is back afterwards.
        form_->Controller().startServices(kServiceFtp);
        QVERIFY(!QApplication::overrideCursor());
    }

    void closingSendsToTheTrayAndShutDownAsksOnlyWithClients()
    {
        OpenWindow();
        form_->show();
        auto notice = AnswerBox(QMessageBox::Ok);
        form_->close();
        QVERIFY(notice->seen);
        QVERIFY(notice->text.startsWith("Corvane will now minimize into the windows tray"));
        QVERIFY(!form_->ShutDownDone());
        // The notice comes once only.
        form_->Restore();
        auto again = AnswerBox(QMessageBox::Ok);
        form_->close();
        QTest::qWait(100);
        QVERIFY(!again->seen);
        QCOMPARE(corvane::testing::DialogAnswers::Instance().Clear(), std::size_t{1});
        StartFtp();
        QVERIFY(form_->ShutDown());
        QVERIFY(form_->ShutDownDone());
        QVERIFY(!form_->Controller().serverThreadAlive());
    }
};

QTEST_MAIN(MainFormTest)
#include "main_form_test.moc"
