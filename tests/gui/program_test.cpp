// The program with its window, run as an operator runs it: without a display it names
// --headless; a stop signal shuts it down in order, writing the home's files.
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>

#include "../core/test_client.h"
#include "common/ini_image.h"
#include "gui/qt_text.h"

using namespace corvane;

namespace {

QString Program() { return qEnvironmentVariable("CORVANE_BIN_DIR") + "/corvane-server"; }

void WriteHomeFile(const QTemporaryDir& home, const QString& name, const std::string& text)
{
    QFile file(home.path() + "/" + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text.c_str());
}

bool LocaleInstalled(const char* name)
{
    locale_t locale = ::newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) return false;
    ::freelocale(locale);
    return true;
}

}  // namespace

class ProgramTest : public QObject {
    Q_OBJECT

private slots:
    void withoutADisplayItNamesHeadlessAndFails()
    {
        QTemporaryDir home;
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
        program.setProcessEnvironment(environment);
        program.start(Program(), {"--home", home.path()});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitCode(), 1);
        QVERIFY(program.readAllStandardError().contains("--headless"));
        // Nothing was set up on the home it did not serve.
        QVERIFY(!QFile::exists(home.path() + "/CorvaneServer.ini"));
    }

    void aStopSignalShutsTheWindowDownInOrder()
    {
        QTemporaryDir home;
        RunUntilStartedThenStop(home, QProcessEnvironment::systemEnvironment());
        if (QTest::currentTestFailed()) return;
        const IniImage written = IniImage::Open(home.path().toStdString() + "/CorvaneServer.ini");
        QCOMPARE(QtText(written.ReadString("ServerData", "ServerFirstRun", "")), QString("0"));
        QVERIFY(IniImage::Open(home.path().toStdString() + "/usersgroups.ini").SectionExists("Anonymous"));
    }

    // Qt takes the operator's locale from the environment, its decimal comma included; the
    // files are still written with ".", so a fractional ratio reads back after a restart.
    void numbersInTheFilesKeepTheirPointUnderACommaLocale()
    {
        if (!LocaleInstalled("de_DE.UTF-8")) QFAIL("the de_DE.UTF-8 locale is missing (scripts/install-deps.sh makes it)");
        QTemporaryDir home;
        WriteHomeFile(home, "usersgroups.ini",
                      "[Usernames]\r\nUserCount=1\r\nUser0=jo\r\n[jo]\r\nUD Ratio=0.25\r\n");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LC_ALL", "de_DE.UTF-8");
        RunUntilStartedThenStop(home, environment);
        if (QTest::currentTestFailed()) return;
        const IniImage accounts = IniImage::Open(home.path().toStdString() + "/usersgroups.ini");
        QCOMPARE(QtText(accounts.ReadString("jo", "UD Ratio", "")), QString("0.25"));
    }

private:
    // The window program on `home` (its FTP service on a free loopback port), stopped by a stop
    // signal once start-up has written every setting back (the first run is recorded as done
    // only at the shut-down); the stop writes the home's files.
    static void RunUntilStartedThenStop(const QTemporaryDir& home, const QProcessEnvironment& environment)
    {
        WriteHomeFile(home, "CorvaneServer.ini",
                      "[ServerData]\r\nPort=" + std::to_string(corvane::testing::FreeLoopbackPort()) +
                          "\r\nUserSetServerIP=127.0.0.1\r\n");
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(Program(), {"--home", home.path()});
        QVERIFY(program.waitForStarted(10000));
        const std::string settingsPath = home.path().toStdString() + "/CorvaneServer.ini";
        QVERIFY(QTest::qWaitFor(
            [&] { return IniImage::Open(settingsPath).ReadString("ServerData", "ServerFirstRun", "") == "1"; }, 20000));
        program.terminate();
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }
};

QTEST_MAIN(ProgramTest)
#include "program_test.moc"
