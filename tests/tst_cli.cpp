#include "endpoints.h"
#include "help.h"

#include <QProcess>
#include <QTest>

// The built program, run as a user would.
class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void helpPrintsEntriesOnly_data();
    void helpPrintsEntriesOnly();
};

void TestCli::helpPrintsEntriesOnly_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("-h") << QStringList{"-h"};
    QTest::newRow("--help") << QStringList{"--help"};
    QTest::newRow("-?") << QStringList{"-?"};
    QTest::newRow("help wins over silent, nothing runs") << QStringList{"-s", "-c", "-h"};
    QTest::newRow("unknown arguments stay silent") << QStringList{"--what", "-h", "x"};
}

void TestCli::helpPrintsEntriesOnly()
{
    QFETCH(QStringList, args);
    QProcess program;
    // No display server: the help must not need one.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    program.setProcessEnvironment(env);
    program.start(VELTRANE_BINARY, args);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(program.readAllStandardError(), QByteArray());

    const QByteArray out = program.readAllStandardOutput();
    QCOMPARE(out, helpOutput(endpoints::ServiceDomain, endpoints::ResultsServerHost).toUtf8());
    // Nine entries, none wider than 100 columns.
    QCOMPARE(out.count("\n-") + 1, 9);
    for (const QByteArray &line : out.split('\n'))
        QVERIFY(line.size() <= 100);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
