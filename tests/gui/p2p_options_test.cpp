// The P2P options dialog and the sign-up dialog driven as an operator drives them, against a
// real controller on a scratch home and the network operator's services as a real peer
// (operator_service.py, on a loopback port it picks).
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTabWidget>
#include <QTreeWidget>
#include <memory>

#include "../core/test_client.h"
#include "common/ini_image.h"
#include "common/program_folder.h"
#include "core/connection_settings.h"
#include "dialog_answer.h"
#include "gui/main_form.h"
#include "gui/p2p_options_dialog.h"
#include "gui/qt_text.h"
#include "gui/register_form.h"
#include "p2p/p2p_network_list.h"
#include "platform/fs.h"
#include "test_source_dir.h"

using namespace corvane;
using corvane::testing::AnswerBox;
using corvane::testing::AnswerNextDialog;

namespace {

// Fills the sign-up dialog and presses its confirm button.
std::function<void(QWidget*)> SignUp(const QString& user, const QString& password)
{
    return [user, password](QWidget* modal) {
        auto* form = qobject_cast<TRegisterForm*>(modal);
        if (!form) {
            modal->close();
            return;
        }
        form->UserNameEdit()->setText(user);
        form->PasswordEdit()->setText(password);
        form->RetypeEdit()->setText(password);
        form->ConfirmButton()->click();
    };
}

// Answers the options dialog once no request runs in it and `act` says it is done; after ten
// seconds the dialog is closed. Lives as long as the dialog.
class WhenIdle : public QObject {
public:
    static std::function<void(QWidget*)> Answer(std::function<bool(TIndexerOptionsForm&)> act)
    {
        return [act](QWidget* modal) { (new WhenIdle(modal, act))->Try(); };
    }

private:
    WhenIdle(QWidget* modal, std::function<bool(TIndexerOptionsForm&)> act)
        : QObject(modal),
          modal_(modal),
          act_(std::move(act))
    {}

    void Try()
    {
        auto* dialog = qobject_cast<TIndexerOptionsForm*>(modal_);
        if (!dialog || ++tries_ > 500) {
            modal_->close();
            return;
        }
        if (!dialog->RequestInFlight() && act_(*dialog)) return;
        QTimer::singleShot(20, this, [this] { Try(); });
    }

    QWidget* modal_;
    std::function<bool(TIndexerOptionsForm&)> act_;
    int tries_ = 0;
};

}  // namespace

class P2POptionsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<TMainForm> form_;
    QTemporaryDir serviceFolder_;
    QProcess service_;
    QString serviceUrl_;

    std::string HomeFile(const std::string& name) const { return home_->path().toStdString() + "/" + name; }

    void OpenWindow(const std::string& moreSettings)
    {
        home_ = std::make_unique<QTemporaryDir>();
        const std::string ini =
            "[ServerData]\r\nPort=" + std::to_string(corvane::testing::FreeLoopbackPort()) +
            "\r\nUserSetServerIP=127.0.0.1\r\nWebServerPort=" + std::to_string(corvane::testing::FreeLoopbackPort()) +
            "\r\n" + moreSettings;
        fs::WriteFileAtomically(HomeFile("CorvaneServer.ini"), ini);
        SetProgramFolder(home_->path().toStdString());
        form_ = std::make_unique<TMainForm>(std::vector<std::string>{});
    }

    void Script(const QString& lines)
    {
        QFile script(serviceFolder_.filePath("script.txt"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(lines.toUtf8());
    }

    int RequestCount() const { return QDir(serviceFolder_.path()).entryList({"req-*.txt"}, QDir::Files).size(); }

    QByteArray RequestBody(int number)
    {
        QFile request(serviceFolder_.filePath(QString("req-%1.txt").arg(number, 4, 10, QChar('0'))));
        if (!request.open(QIODevice::ReadOnly)) return {};
        const QByteArray raw = request.readAll();
        return raw.mid(raw.indexOf("\r\n\r\n") + 4);
    }

private slots:
    void initTestCase()
    {
        service_.start("python3", {"-u", CORVANE_TEST_SOURCE_DIR "/p2p/operator_service.py", serviceFolder_.path()});
        QVERIFY(service_.waitForReadyRead(10000));
        serviceUrl_ = "http://127.0.0.1:" + QString::fromLatin1(service_.readLine()).trimmed();
    }

    void cleanupTestCase()
    {
        service_.kill();
        service_.waitForFinished();
    }

    void cleanup()
    {
        const std::size_t unanswered = corvane::testing::DialogAnswers::Instance().Clear();
        const int unexpected = corvane::testing::DialogAnswers::Instance().TakeUnexpected();
        form_.reset();
        home_.reset();
        QCOMPARE(unanswered, std::size_t{0});
        QCOMPARE(unexpected, 0);
    }

    void signUpRulesKeepTheDialogOpenWithTheirMessage_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("retyped");
        QTest::addColumn<QString>("message");  // empty: confirmed
        QTest::addColumn<QString>("passwordAfter");
        QTest::newRow("16 letters") << "abcdefghijklmnop"
                                    << "pw"
                                    << "pw"
                                    << ""
                                    << "pw";
        QTest::newRow("17 letters") << "abcdefghijklmnopq"
                                    << "pw"
                                    << "pw"
                                    << "Username cannot exceed 16 characters; Please re-enter the password fields."
                                    << "pw";
        QTest::newRow("_P") << "bob_P"
                            << "pw"
                            << "pw"
                            << "Username cannot have \"_p\" at the end; Please re-enter the username."
                            << "pw";
        QTest::newRow("9 characters") << "bob"
                                      << "123456789"
                                      << "123456789"
                                      << "Password cannot exceed 8 characters; Please re-enter the password fields."
                                      << "";
        QTest::newRow("mismatch") << "bob"
                                  << "pw"
                                  << "px"
                                  << "Passwords do not match; Please re-enter the password fields."
                                  << "";
    }

    void signUpRulesKeepTheDialogOpenWithTheirMessage()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, retyped);
        QFETCH(QString, message);
        QFETCH(QString, passwordAfter);
        P2PNetwork network;
        network.name = "Brinvale Test";
        SignUpForm form(SignUpForm::Mode::Register, network);
        TRegisterForm dialog(form);
        QCOMPARE(dialog.windowTitle(), QString("Register to Brinvale Test"));
        QCOMPARE(dialog.ConfirmButton()->text(), QString("Sign in"));
        QCOMPARE(dialog.PasswordEdit()->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog.RetypeEdit()->echoMode(), QLineEdit::Password);
        dialog.UserNameEdit()->setText(user);
        dialog.PasswordEdit()->setText(password);
        dialog.RetypeEdit()->setText(retyped);
        std::shared_ptr<corvane::testing::DialogSeen> box;
        if (!message.isEmpty()) box = AnswerBox(QMessageBox::Ok);
        QTest::keyClick(dialog.RetypeEdit(), Qt::Key_Return);  // Enter confirms as the button does
        QCOMPARE(form.Confirmed(), message.isEmpty());
        if (box) {
            QCOMPARE(box->text, message);
            QCOMPARE(box->title, QString("Brinvale Corvane Server Error"));
        }
        QCOMPARE(dialog.PasswordEdit()->text(), passwordAfter);
    }

    void editModeShowsTheAccountAndRefusedKeysAreDropped()
    {
        P2PNetwork network;
        network.name = "Net";
        network.userName = "bob";
        network.password = "secret";
        network.existingAccount = true;
        SignUpForm form(SignUpForm::Mode::Edit, network);
        TRegisterForm dialog(form);
        QCOMPARE(dialog.windowTitle(), QString("Edit your Net Account"));
        QVERIFY(dialog.ExistingUserBox()->isChecked());
        QCOMPARE(dialog.ConfirmButton()->text(), QString("Apply"));
        QCOMPARE(dialog.UserNameEdit()->text(), QString("bob"));
        QCOMPARE(dialog.RetypeEdit()->text(), QString("secret"));
        for (char refused : {' ', '"', '#', '&', '*', ';'}) {
            auto box = AnswerBox(QMessageBox::Ok);
            QTest::keyClicks(dialog.UserNameEdit(), QString(QChar(refused)));
            QCOMPARE(box->text, QString(kNameKeyRefusedText));
        }
        QTest::keyClicks(dialog.UserNameEdit(), "x9");
        QCOMPARE(dialog.UserNameEdit()->text(), QString("bobx9"));
    }

    void aDownloadedNetworkIsSignedUpRegisteredAndApplied()
    {
        OpenWindow("[Connection]\r\nP2PNetworkListURL=" + ToStd(serviceUrl_) +
                   "/list.txt\r\n[Network]\r\nZipcode=112345\r\n");
        Script("/list.txt reply Brinvale Main*" + serviceUrl_ +
               "\\r\\nOther*host/base\\r\\n\n"
               "/v6/user.php reply 200 welcome\n");
        // The window's first run downloads the list when the dialog is first shown.
        TIndexerOptionsForm dialog(form_->Controller(), true);
        QCOMPARE(dialog.ZipcodeEdit()->text(), QString("12345"));
        QTreeWidget* view = dialog.NetworkView();
        QCOMPARE(view->topLevelItemCount(), 0);
        dialog.show();
        QTRY_COMPARE_WITH_TIMEOUT(view->topLevelItemCount(), 2, 10000);
        QCOMPARE(dialog.RetrieveButton()->text(), QString("Retrieve P2P Network List"));
        QVERIFY(dialog.RetrieveButton()->isEnabled());
        QCOMPARE(view->topLevelItem(1)->text(1), QString("host/base/v6"));
        QCOMPARE(view->topLevelItem(1)->text(2), QString("<unregistered>"));
        QCOMPARE(view->topLevelItem(0)->checkState(0), Qt::Checked);  // the first row is ticked
        QCOMPARE(view->topLevelItem(1)->checkState(0), Qt::Unchecked);

        AnswerNextDialog(SignUp("bob", "pw"));
        auto registered = AnswerBox(QMessageBox::Ok);
        view->setCurrentItem(view->topLevelItem(0));
        dialog.RegisterOrEditSelected();
        QCOMPARE(registered->text, QString("User bob registered and ready for indexing on Brinvale Main .."));
        QCOMPARE(view->topLevelItem(0)->text(2), QString("bob"));
        QTRY_COMPARE_WITH_TIMEOUT(RequestBody(2), QByteArray("input=*112345*&username=bob&password=pw&action=insert"),
                                  5000);

        view->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        dialog.ZipcodeEdit()->setText("");
        dialog.ProxyTypeList()->setCurrentIndex(1);
        dialog.ProxyServerEdit()->setText("proxy.example");
        dialog.ProxyPortEdit()->setText("");
        dialog.ApplyNetworkOptions();
        dialog.ApplyProxyOptions();
        serverController& controller = form_->Controller();
        QCOMPARE(controller.networkProfile().Zipcode, std::string("1"));
        QVERIFY(!controller.networkList().FindByName("Brinvale Main")->enabled);
        QCOMPARE(controller.connectionSettings().HTTPConnectionType, 1);
        QCOMPARE(controller.connectionSettings().HTTPProxyPort, 0);

        AnswerBox(QMessageBox::Ok);  // nothing selected
        view->setCurrentItem(nullptr);
        dialog.RegisterOrEditSelected();
    }

    void theFirstSessionDownloadsTheListWithItsFirstDialogOnly()
    {
        OpenWindow("[Connection]\r\nP2PNetworkListURL=" + ToStd(serviceUrl_) + "/list.txt\r\n");
        Script("/list.txt reply Alpha*host\\r\\n\n/list.txt reply Other*host\\r\\n\n");
        const int requestsBefore = RequestCount();
        QStringList seen;  // each dialog's first row once its download, if any, is over
        for (int opening = 0; opening < 2; ++opening) {
            AnswerNextDialog(WhenIdle::Answer([&seen](TIndexerOptionsForm& dialog) {
                QTreeWidgetItem* first = dialog.NetworkView()->topLevelItem(0);
                if (!first) return false;
                seen << first->text(0) + (first->checkState(0) == Qt::Checked ? " ticked" : " unticked");
                first->setCheckState(0, Qt::Unchecked);
                dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
                return true;
            }));
            form_->OpenP2POptions();
        }
        QCOMPARE(seen, QStringList({"Alpha ticked", "Alpha unticked"}));
        QCOMPARE(RequestCount() - requestsBefore, 1);
    }

    void theWindowKeepsServingItsQueueDuringADownload()
    {
        OpenWindow("[Connection]\r\nP2PNetworkListURL=" + ToStd(serviceUrl_) + "/list.txt\r\n");
        Script("/list.txt slow 1 Alpha*host\\r\\n\n");
        TIndexerOptionsForm dialog(form_->Controller(), false);
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        timer.start(20);
        dialog.RetrieveNetworkList();
        QCOMPARE(dialog.NetworkView()->topLevelItemCount(), 1);
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    }

    void cancelAbortsAStalledRequestAtOnce_data()
    {
        QTest::addColumn<bool>("registration");  // else the list download
        QTest::newRow("list download") << false;
        QTest::newRow("registration") << true;
    }

    void cancelAbortsAStalledRequestAtOnce()
    {
        QFETCH(bool, registration);
        OpenWindow("[Connection]\r\nP2PNetworkListURL=" + ToStd(serviceUrl_) + "/list.txt\r\n");
        Script(registration ? "/list.txt reply Brinvale Main*" + serviceUrl_ + "\\r\\n\n/v6/user.php hang\n"
                            : QString("/list.txt hang\n"));
        TIndexerOptionsForm dialog(form_->Controller(), false);
        dialog.show();
        if (registration) {
            dialog.RetrieveNetworkList();
            QCOMPARE(dialog.NetworkView()->topLevelItemCount(), 1);
            dialog.NetworkView()->setCurrentItem(dialog.NetworkView()->topLevelItem(0));
            AnswerNextDialog(SignUp("bob", "pw"));
        }
        QPushButton* cancel = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel);
        // Seen while the request stalls: the window is served, busy, and only Cancel acts.
        bool inFlight = false, busy = false, locked = false;
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        timer.start(20);
        QTimer::singleShot(500, &dialog, [&] {
            inFlight = dialog.RequestInFlight();
            busy = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
            locked = !dialog.Tabs()->isEnabled() && cancel->isEnabled();
            QTest::mouseClick(cancel, Qt::LeftButton);
        });
        QElapsedTimer elapsed;
        elapsed.start();
        if (registration) dialog.RegisterOrEditSelected();
        else dialog.RetrieveNetworkList();
        QVERIFY2(elapsed.elapsed() < 5000, qPrintable(QString::number(elapsed.elapsed())));
        QVERIFY(inFlight);
        QVERIFY(locked);
        QVERIFY(ticks >= 10);
        if (!registration) QVERIFY(busy);
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        // Nothing was lost: the list as it was, the account as typed (registered at its next edit).
        const P2PNetworkList& list = form_->Controller().networkList();
        QCOMPARE(list.Entries().size(), std::size_t(registration ? 1 : 0));
        if (registration) {
            QCOMPARE(list.Entries()[0].userName, std::string("bob"));
            QVERIFY(!list.Entries()[0].existingAccount);
        }
    }

    void thePlacementIsReadAndWrittenBack()
    {
        OpenWindow("[MainWindow]\r\nTop=50\r\nLeft=60\r\nHeight=-500\r\nWidth=-700\r\nFirstRun=1\r\n");
        QVERIFY(form_->windowState() & Qt::WindowMaximized);
        form_.reset();
        const IniImage image = IniImage::FromText(ReadBack());
        QCOMPARE(image.ReadString("MainWindow", "FirstRun", ""), std::string("0"));
        QVERIFY(std::atoi(image.ReadString("MainWindow", "Height", "").c_str()) < 0);

        OpenWindow("[MainWindow]\r\nTop=50\r\nLeft=60\r\nHeight=300\r\nWidth=400\r\n");
        QVERIFY(!(form_->windowState() & Qt::WindowMaximized));
        QCOMPARE(form_->geometry(), QRect(60, 50, 400, 300));
        form_->setGeometry(70, 80, 420, 310);
        form_.reset();
        const IniImage moved = IniImage::FromText(ReadBack());
        QCOMPARE(moved.ReadString("MainWindow", "Top", ""), std::string("80"));
        QCOMPARE(moved.ReadString("MainWindow", "Width", ""), std::string("420"));
    }

private:
    std::string ReadBack()
    {
        std::string text;
        fs::ReadFileText(HomeFile("CorvaneServer.ini"), text);
        return text;
    }
};

QTEST_MAIN(P2POptionsTest)
#include "p2p_options_test.moc"
