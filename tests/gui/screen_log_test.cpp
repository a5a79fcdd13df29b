// The screen log: its colours, its bound and its cut of long lines.
#include <QTest>
#include <QTextBlock>

#include "gui/screen_log.h"

using namespace corvane;

class ScreenLogTest : public QObject {
    Q_OBJECT

private slots:
    void coloursFollowTheFirstCharacter_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("reply") << "> 200 NOOP command successful." << QColor(Qt::black);
        QTest::newRow("command") << "< NOOP" << QColor(0, 128, 0);
        QTest::newRow("event") << "! FTP Server started" << QColor(Qt::blue);
        QTest::newRow("http request") << "< HTTP GET /" << QColor(0, 128, 0);
    }

    void coloursFollowTheFirstCharacter()
    {
        QFETCH(QString, line);
        QFETCH(QColor, colour);
        ScreenLogView log;
        log.AppendLine("! first");
        log.AppendLine(line);
        log.DrawQueued();
        const QTextBlock block = log.document()->lastBlock();
        QCOMPARE(block.text(), line);
        QCOMPARE(block.begin().fragment().charFormat().foreground().color(), colour);
    }

    void keepsTheLastLinesOnlyAndDropsEmptyOnes()
    {
        ScreenLogView log;
        log.AppendLine("");
        QCOMPARE(log.QueuedCount(), 0);
        // More than the screen holds, in two bursts: queued beyond the bound, and drawn.
        for (int i = 0; i < kScreenLogLines + 10; ++i) log.AppendLine("! line " + QString::number(i));
        QCOMPARE(log.QueuedCount(), kScreenLogLines);
        log.DrawQueued();
        for (int i = 0; i < 20; ++i) log.AppendLine("! more " + QString::number(i));
        log.DrawQueued();
        QCOMPARE(log.blockCount(), kScreenLogLines);
        QCOMPARE(log.document()->lastBlock().text(), QString("! more 19"));
        QCOMPARE(log.document()->firstBlock().text(), QString("! line 30"));
    }

    void aLongLineIsShownCut()
    {
        ScreenLogView log;
        log.AppendLine("< " + QString(64 * 1024, 'x'));
        log.DrawQueued();
        const QString shown = log.document()->firstBlock().text();
        QCOMPARE(shown.size(), kScreenLogLineChars + 6);
        QVERIFY(shown.endsWith(" [...]"));
    }
};

QTEST_MAIN(ScreenLogTest)
#include "screen_log_test.moc"
