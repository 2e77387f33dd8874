#include "endpoints.h"
#include "help.h"

#include <QProcess>
#include <QTest>

namespace {

// No display server: neither the help nor a refusal may need one.
void runWithoutDisplay(QProcess &program, const QStringList &args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    program.setProcessEnvironment(env);
    program.start(VELTRANE_BINARY, args);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
}

} // namespace

// The built program, run as a user would.
class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void helpPrintsEntriesOnly_data();
    void helpPrintsEntriesOnly();
    void refusals_data();
    void refusals();
};

void TestCli::helpPrintsEntriesOnly_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("-h") << QStringList{"-h"};
    QTest::newRow("--help") << QStringList{"--help"};
    QTest::newRow("-?") << QStringList{"-?"};
    QTest::newRow("help wins over silent, nothing runs") << QStringList{"-s", "-c", "-h"};
}

void TestCli::helpPrintsEntriesOnly()
{
    QFETCH(QStringList, args);
    QProcess program;
    runWithoutDisplay(program, args);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(program.readAllStandardError(), QByteArray());

    const QByteArray out = program.readAllStandardOutput();
    QCOMPARE(out, helpOutput(endpoints::ServiceDomain, endpoints::ResultsServerHost).toUtf8());
    // Eight entries, none wider than 100 columns.
    QCOMPARE(out.count("\n-") + 1, 8);
    for (const QByteArray &line : out.split('\n'))
        QVERIFY(line.size() <= 100);
}

// Nothing runs, nothing is sent: one line says why, and the status is 2.
void TestCli::refusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("errors");
    QTest::newRow("-o without a file") << QStringList{"-s", "-c", "--ouput", "-o"}
                                       << QByteArray("ignoring unknown option --ouput\n"
                                                     "-o/--output needs a file name (see -h)\n");
    QTest::newRow("window without a display")
        << QStringList{}
        << QByteArray("the window needs a display; -s runs the tests without one\n");
    QTest::newRow("desktop launch without a display")
        << QStringList{"-s", "-psn_0_1"}
        << QByteArray("the window needs a display; -s runs the tests without one\n");
}

void TestCli::refusals()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, errors);
    QProcess program;
    runWithoutDisplay(program, args);
    QCOMPARE(program.readAllStandardError(), errors);
    QCOMPARE(program.exitCode(), 2);
    QCOMPARE(program.readAllStandardOutput(), QByteArray());
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
