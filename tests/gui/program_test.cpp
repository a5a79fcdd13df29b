// The program with its window, run as an operator runs it: without a display it names
// --headless; a stop signal shuts it down in order, writing the home's files.
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "../core/test_client.h"
#include "common/ini_image.h"
#include "gui/qt_text.h"

using namespace corvane;

namespace {

QString Program() { return qEnvironmentVariable("CORVANE_BIN_DIR") + "/corvane-server"; }

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
        QFile settings(home.path() + "/CorvaneServer.ini");
        QVERIFY(settings.open(QIODevice::WriteOnly));
        const std::string text = "[ServerData]\r\nPort=" + std::to_string(corvane::testing::FreeLoopbackPort()) +
                                 "\r\nUserSetServerIP=127.0.0.1\r\n";
        settings.write(text.c_str());
        settings.close();
        QProcess program;
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(Program(), {"--home", home.path()});
        QVERIFY(program.waitForStarted(10000));
        // Start-up writes every setting back at once (the first run is recorded as done only at
        // the shut-down).
        const std::string settingsPath = home.path().toStdString() + "/CorvaneServer.ini";
        QVERIFY(QTest::qWaitFor(
            [&] { return IniImage::Open(settingsPath).ReadString("ServerData", "ServerFirstRun", "") == "1"; }, 20000));
        program.terminate();
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        const IniImage written = IniImage::Open(settingsPath);
        QCOMPARE(QtText(written.ReadString("ServerData", "ServerFirstRun", "")), QString("0"));
        QVERIFY(IniImage::Open(home.path().toStdString() + "/usersgroups.ini").SectionExists("Anonymous"));
    }
};

QTEST_MAIN(ProgramTest)
#include "program_test.moc"
