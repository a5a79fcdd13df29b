// The administration commands while the window runs: the command-line program reaches the
// window's server through the control socket; what a command changes shows in the window, and
// what the operator changes in the window is what the next command sees.
#include <QAbstractButton>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <memory>
#include <sys/wait.h>
#include <thread>

#include "../core/test_client.h"
#include "app/control_commands.h"
#include "app/control_protocol.h"
#include "app/window_control.h"
#include "common/ini_image.h"
#include "common/program_folder.h"
#include "dialog_answer.h"
#include "gui/main_form.h"
#include "platform/fs.h"
#include "platform/home_lock.h"

using namespace corvane;
using corvane::testing::AnswerNextDialog;

namespace {

QString Program() { return qEnvironmentVariable("CORVANE_BIN_DIR") + "/corvane-server"; }

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

// The command-line program, run while this thread serves its events (the window thread carries
// the command out meanwhile).
Outcome RunCommand(const QString& home, QStringList words, const QByteArray& input = {})
{
    QProcess command;
    command.start(Program(), QStringList{"--home", home} + words);
    if (!input.isEmpty()) command.write(input);
    command.closeWriteChannel();
    if (!QTest::qWaitFor([&] { return command.state() == QProcess::NotRunning; }, 20000)) command.kill();
    return {command.exitStatus() == QProcess::NormalExit ? command.exitCode() : -1,
            QString::fromUtf8(command.readAllStandardOutput()), QString::fromUtf8(command.readAllStandardError())};
}

std::string SettingsWithFreePorts()
{
    return "[ServerData]\r\nPort=" + std::to_string(corvane::testing::FreeLoopbackPort()) +
           "\r\nUserSetServerIP=127.0.0.1\r\nWebServerPort=" + std::to_string(corvane::testing::FreeLoopbackPort()) +
           "\r\n";
}

// The window's queue, counting what is handed to it.
class CountingWindowThread : public WindowThread {
public:
    explicit CountingWindowThread(WindowThread& inner)
        : inner_(inner)
    {}
    bool Post(Closure closure) override
    {
        ++posts;
        return inner_.Post(std::move(closure));
    }
    void PumpQueue() override { inner_.PumpQueue(); }
    bool IsWindowThread() const override { return inner_.IsWindowThread(); }
    std::atomic<int> posts{0};

private:
    WindowThread& inner_;
};

}  // namespace

class ControlSocketTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<HomeLock> lock_;
    std::unique_ptr<TMainForm> form_;
    std::unique_ptr<CountingWindowThread> counting_;
    std::unique_ptr<WindowControlSocket> socket_;

    QString Home() const { return home_->path(); }

    // A window on a fresh home that it holds, with the control socket the program gives it.
    void OpenWindowWithSocket()
    {
        home_ = std::make_unique<QTemporaryDir>();
        const std::string home = Home().toStdString();
        fs::WriteFileAtomically(home + "/CorvaneServer.ini", SettingsWithFreePorts());
        std::string error;
        QCOMPARE(HomeLock::TryAcquire(home, lock_, error), HomeLock::Outcome::Acquired);
        SetProgramFolder(home);
        form_ = std::make_unique<TMainForm>(std::vector<std::string>{});
        counting_ = std::make_unique<CountingWindowThread>(form_->WindowThreadOfForm());
        TMainForm* form = form_.get();
        socket_ = std::make_unique<WindowControlSocket>(
            *counting_, home + "/" + kControlSocketName, [form, home](const AdminRequest& request) {
                AdminReply reply = RunControlCommand(form->Controller(), home, request);
                if (reply.changed && reply.status == kAdminDone) form->StoreChangedElsewhere();
                return reply;
            });
        QVERIFY(socket_->Listening());
    }

private slots:
    void cleanup()
    {
        socket_.reset();
        counting_.reset();
        form_.reset();
        lock_.reset();
        home_.reset();
        QCOMPARE(corvane::testing::DialogAnswers::Instance().Clear(), std::size_t{0});
        QCOMPARE(corvane::testing::DialogAnswers::Instance().TakeUnexpected(), 0);
    }

    void commandChangesShowInTheWindowAndWindowChangesReachTheCommands()
    {
        OpenWindowWithSocket();
        AccountsPage* accounts = form_->Accounts();

        Outcome group = RunCommand(Home(), {"group", "add", "Staff"});
        QCOMPARE(group.status, 0);
        QVERIFY(accounts->SelectAccount("Staff"));
        Outcome user = RunCommand(Home(), {"user", "add", "carol", "--group", "Staff", "--password-stdin"}, "pw\n");
        QCOMPARE(user.status, 0);
        QVERIFY(accounts->SelectAccount("carol"));
        QCOMPARE(AccountTree::NameOf(accounts->Tree()->currentItem()->parent()), QString("Staff"));
        // Written at once: the window's store and the files agree.
        QVERIFY(IniImage::Open(Home().toStdString() + "/usersgroups.ini").SectionExists("carol"));

        Outcome rule = RunCommand(Home(), {"ip", "add", "10.1.2.x"});
        QCOMPARE(rule.status, 0);
        QVERIFY(!form_->Ip()->RuleList()->findItems("10.1.2.x", Qt::MatchExactly).isEmpty());

        // A refusal changes nothing in the window either.
        Outcome twice = RunCommand(Home(), {"group", "add", "staff"});
        QCOMPARE(twice.status, 1);
        QVERIFY(twice.err.contains("already exists"));

        // The operator's own edit is what the next command sees.
        QVERIFY(accounts->SelectAccount("Staff"));
        for (const char* typed : {"dave", "pw"})  // the name, then the password
            AnswerNextDialog([typed](QWidget* modal) {
                modal->findChild<QLineEdit*>("NameEdit")->setText(typed);
                static_cast<QDialog*>(modal)->accept();
            });
        accounts->AddUser();
        Outcome listed = RunCommand(Home(), {"show", "dave", "--json"});
        QCOMPARE(listed.status, 0);
        QVERIFY(listed.out.contains("\"Staff\""));
        accounts->MoveUser("carol", "All Others");
        Outcome moved = RunCommand(Home(), {"show", "carol", "--json"});
        QVERIFY(moved.out.contains("\"All Others\""));
    }

    void aCommandTheWindowHasNotTakenUpWhenItShutsDownIsNotCarriedOut()
    {
        OpenWindowWithSocket();
        // Run on a thread of its own, so that this thread serves no event while it waits.
        std::string said;
        int status = -1;
        std::thread command([&] {
            const std::string line =
                "'" + Program().toStdString() + "' --home '" + Home().toStdString() + "' group add Late 2>&1";
            FILE* pipe = popen(line.c_str(), "r");
            char buffer[512];
            while (pipe && std::fgets(buffer, sizeof buffer, pipe)) said += buffer;
            status = pipe ? pclose(pipe) : -1;
        });
        QElapsedTimer waited;
        waited.start();
        while (counting_->posts == 0 && waited.elapsed() < 20000) QThread::msleep(10);
        QCOMPARE(counting_->posts.load(), 1);
        socket_.reset();
        command.join();
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 1, said.c_str());
        QVERIFY2(said.find("not carried out") != std::string::npos, said.c_str());
        // The closure still queued finds the socket gone and changes nothing.
        QTest::qWait(50);
        QVERIFY(!form_->Accounts()->SelectAccount("Late"));
        QVERIFY(!QFile::exists(Home() + "/control.sock"));
    }

    void theWindowsProgramServesCommandsAndRemovesItsSocketAtTheEnd()
    {
        QTemporaryDir home;
        fs::WriteFileAtomically(home.path().toStdString() + "/CorvaneServer.ini", SettingsWithFreePorts());
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(Program(), {"--home", home.path()});
        QVERIFY(program.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home.path() + "/control.sock"), 20000);

        Outcome added = RunCommand(home.path(), {"user", "add", "erin", "--password-stdin"}, "pw\n");
        QCOMPARE(added.status, 0);
        QVERIFY(IniImage::Open(home.path().toStdString() + "/usersgroups.ini").SectionExists("erin"));
        Outcome status = RunCommand(home.path(), {"status", "--json"});
        QCOMPARE(status.status, 0);
        QVERIFY(status.out.contains("\"running\":true") || status.out.contains("\"running\": true"));
        Outcome sessions = RunCommand(home.path(), {"sessions"});
        QCOMPARE(sessions.status, 0);

        program.terminate();
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(!QFile::exists(home.path() + "/control.sock"));
        // Without a server the command works on the files, and finds what the window kept.
        Outcome shown = RunCommand(home.path(), {"show", "erin"});
        QCOMPARE(shown.status, 0);
    }
};

QTEST_MAIN(ControlSocketTest)
#include "control_socket_test.moc"
