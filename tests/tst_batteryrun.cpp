// The real program runs its whole battery, windowless, and prints the report.
// Only the report's structure is checked, never what the network answered.

#include "battery.h"
#include "endpoints.h"
#include "resultblock.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

namespace {

const QString defaultAgentDirectory = "/Library/Application Support/Veltrane Ambrix";
const QString testDomain = "probe.veltrane.test";

struct Run
{
    int exitCode = -1;
    QString report;
    QString errors;
};

Run runProgram(const QStringList &args)
{
    QProcess program;
    // As over ssh: no display server at all.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    program.setProcessEnvironment(env);
    program.start(VELTRANE_BINARY, args);
    Run run;
    if (!program.waitForFinished(120000)) {
        program.kill();
        program.waitForFinished();
        return run;
    }
    run.exitCode = program.exitCode();
    run.report = QString::fromUtf8(program.readAllStandardOutput());
    run.errors = QString::fromUtf8(program.readAllStandardError());
    return run;
}

// The report split into its result blocks, each without its separator.
QStringList blocksOf(const QString &report)
{
    QStringList blocks = report.split(QString(45, u'-'));
    if (!blocks.isEmpty() && blocks.first().isEmpty())
        blocks.removeFirst();
    return blocks;
}

QString displayNameOf(const QString &block)
{
    return block.section(u'\n', 0, 0).remove(0, QStringLiteral("Results for: ").size());
}

QStringList expectedNames(const std::optional<QString> &domain, bool agent)
{
    BatteryInputs inputs;
    inputs.endpoints = builtInEndpoints();
    inputs.testDomain = domain;
    inputs.agentGate = agent;
    QStringList names;
    for (const Test &test : batteryTests(inputs, thisSystem()))
        names.append(commandDisplayName(test.launchPath, test.args, test.comment));
    return names;
}

} // namespace

class TestBatteryRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void reportHoldsTheBattery_data();
    void reportHoldsTheBattery();
    void domainThatLooksLikeAnOptionIsNotTested();
};

void TestBatteryRun::initTestCase()
{
    if (buildPlatform != Platform::Linux)
        QSKIP("the expected launch paths are those of Linux");
    if (!isolatedOnLoopback())
        QSKIP("needs the loopback test build inside a private network namespace "
              "(scripts/test.sh)");
    if (QFileInfo::exists(defaultAgentDirectory))
        QSKIP("the endpoint agent is installed here, which changes the battery");
}

void TestBatteryRun::reportHoldsTheBattery_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("withDomain");
    QTest::addColumn<bool>("agent");
    QTest::addColumn<int>("blocks");

    QTest::newRow("-s -c") << QStringList{"-s", "-c"} << false << false << 51;
    QTest::newRow("-d") << QStringList{"-s", "-c", "-d", testDomain} << true << false << 56;
    QTest::newRow("--amx") << QStringList{"-s", "-c", "--amx"} << false << true << 51 + 14;
    QTest::newRow("-d --amx") << QStringList{"-s", "-c", "-d", testDomain, "--amx"} << true << true
                              << 56 + 15;
    QTest::newRow("--amx --noamx")
        << QStringList{"-s", "-c", "--amx", "--noamx"} << false << false << 51;
}

void TestBatteryRun::reportHoldsTheBattery()
{
    QFETCH(QStringList, args);
    QFETCH(bool, withDomain);
    QFETCH(bool, agent);
    QFETCH(int, blocks);

    QElapsedTimer timer;
    timer.start();
    const Run run = runProgram(args);
    qInfo("battery run %s took %lld ms", qPrintable(args.join(u' ')), timer.elapsed());
    QCOMPARE(run.exitCode, 0);

    const QStringList results = blocksOf(run.report);
    QCOMPARE(results.size(), blocks);
    QStringList names;
    for (const QString &block : results)
        names.append(displayNameOf(block));
    const auto domain = withDomain ? std::optional<QString>(testDomain) : std::nullopt;
    QCOMPARE(names, expectedNames(domain, agent));

    QCOMPARE(names.first(), "/usr/bin/dig +time=10 myip.veltrane.test");
    QCOMPARE(names.count("/usr/bin/ping -c 5 iad.router.veltrane.test (washington dc router)"), 1);

    // Every row ran its tool: nothing failed to launch or hung.
    for (const QString &block : results) {
        const QString launchPath = displayNameOf(block).section(u' ', 0, 0);
        QVERIFY2(QFileInfo(launchPath).isExecutable(), qPrintable(block));
        QVERIFY2(!block.contains("could not start "), qPrintable(block));
        QVERIFY2(!block.contains("without finishing"), qPrintable(block));
    }
    // The system overview (row 56) is this machine's own, shell text intact.
    const QString overview = results.at(withDomain ? 55 : 50);
    QVERIFY2(overview.contains("\nKernel Version: Linux "), qPrintable(overview));
    QVERIFY2(!overview.contains("stderr:"), qPrintable(overview));

    if (agent) {
        // Rows 63 and 64 come after the five agent rows that print files.
        const int systemLog = (withDomain ? 56 : 51) + (withDomain ? 6 : 5);
        QVERIFY(names.at(systemLog).startsWith("/bin/sh -c journalctl") ||
                names.at(systemLog).startsWith("/bin/sh -c tail"));
        QVERIFY(names.at(systemLog).contains("tail -n 15000 "));
        QCOMPARE(names.at(systemLog + 1), "/bin/sh -c ping -c 1 -W 1 127.0.0.66 (Blocked IP)");
        QCOMPARE(names.last(),
                 "/bin/sh -c curl -v -m 2 127.0.0.77:8081/malware.htm (Blocked page from grey IP)");
    }
}

void TestBatteryRun::domainThatLooksLikeAnOptionIsNotTested()
{
    const Run run = runProgram({"-s", "-c", "--domain=-f/etc/hostname.x"});
    QCOMPARE(run.exitCode, 0);
    const QStringList results = blocksOf(run.report);
    QCOMPARE(results.size(), 51);
    // The process list shows the program's own arguments; no command has them.
    for (const QString &block : results)
        QVERIFY2(!displayNameOf(block).contains("hostname.x"), qPrintable(block));
    QCOMPARE(run.errors.count("not testing the domain \"-f/etc/hostname.x\""), 1);
}

QTEST_GUILESS_MAIN(TestBatteryRun)
#include "tst_batteryrun.moc"
