// The real program runs its whole battery, windowless, and prints the report.
// Only the report's structure is checked, never what the network answered.

#include "battery.h"
#include "endpoints.h"
#include "resultblock.h"
#include "testsupport.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>

namespace {

// What the battery table gives for these options on this machine.
QStringList expectedNames(const QStringList &options)
{
    BatteryInputs inputs;
    inputs.endpoints = builtInEndpoints();
    inputs.agentGate = options.contains("--amx");
    if (options.contains("-d"))
        inputs.testDomain = options.at(options.indexOf("-d") + 1);
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
};

void TestBatteryRun::initTestCase()
{
    if (buildPlatform != Platform::Linux)
        QSKIP("the expected launch paths are those of Linux");
    if (!isolatedOnLoopback())
        QSKIP("needs the loopback test build inside a private network namespace "
              "(scripts/test.sh)");
    if (QFileInfo::exists(AgentPaths().installDirectory))
        QSKIP("the endpoint agent is installed here, which changes the battery");
}

void TestBatteryRun::reportHoldsTheBattery_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("blocks");
    const QStringList domain = {"-d", "probe.veltrane.test"};
    QTest::newRow("plain") << QStringList{} << 51;
    QTest::newRow("-d") << domain << 56;
    QTest::newRow("--amx") << QStringList{"--amx"} << 51 + 14;
    QTest::newRow("-d --amx") << domain + QStringList{"--amx"} << 56 + 15;
}

void TestBatteryRun::reportHoldsTheBattery()
{
    QFETCH(QStringList, options);
    QFETCH(int, blocks);

    QProcess program;
    program.start(VELTRANE_BINARY, QStringList{"-s", "-c"} + options);
    QVERIFY(program.waitForFinished(120000));
    QCOMPARE(program.exitCode(), 0);
    const QString report = QString::fromUtf8(program.readAllStandardOutput());

    const QStringList results = report.split(blockSeparator, Qt::SkipEmptyParts);
    QStringList names;
    for (const QString &block : results)
        names.append(block.section(u'\n', 0, 0).remove(0, QString("Results for: ").size()));
    QCOMPARE(names.size(), blocks);
    QCOMPARE(names, expectedNames(options));
    QCOMPARE(names.first(), "/usr/bin/dig +time=10 myip.veltrane.test");
    QVERIFY(names.contains("/usr/bin/ping -c 5 iad.router.veltrane.test (washington dc router)"));
    if (options.contains("--amx"))
        QCOMPARE(names.at(blocks - 8), "/bin/sh -c ping -c 1 -W 1 127.0.0.66 (Blocked IP)");

    // Every row ran its tool: nothing failed to launch or hung.
    QVERIFY(!report.contains("could not start "));
    QVERIFY(!report.contains("without finishing"));
    // The system overview (row 56) is this machine's own, its shell text intact.
    const QString overview = results.at(options.contains("-d") ? 55 : 50);
    QVERIFY2(overview.contains("\nKernel Version: Linux "), qPrintable(overview));
    QVERIFY2(!overview.contains("stderr:"), qPrintable(overview));
}

QTEST_GUILESS_MAIN(TestBatteryRun)
#include "tst_batteryrun.moc"
