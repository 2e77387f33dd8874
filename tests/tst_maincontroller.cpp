#include "maincontroller.h"
#include "testsupport.h"

#include <QBuffer>
#include <QDir>
#include <QSignalSpy>
#include <QTest>

class TestMainController : public QObject
{
    Q_OBJECT

private slots:
    void runFinishesOnceWithEveryBlockInStartOrder();
    void inputs_data();
    void inputs();
};

void TestMainController::runFinishesOnceWithEveryBlockInStartOrder()
{
    QTemporaryDir dir;
    // Most end at once, one a little later and one cannot start: the finish
    // must come once, after the last.
    const QString quick = writeScript(dir, "quick", "echo $1");
    const QString slow = writeScript(dir, "slow", "sleep 0.5; echo slow");
    std::vector<Test> tests;
    for (int i = 0; i < 30; ++i)
        tests.push_back({quick, {QString::number(i)}, std::nullopt});
    tests.insert(tests.begin() + 10, Test{slow, {}, QString("(late)")});
    tests.push_back({dir.filePath("missing"),
                     {},
                     std::nullopt,
                     BatteryRow::DebugNamePort53,
                     {},
                     QString("/usr/bin/dig")});

    MainController controller;
    controller.replaceBattery(tests);
    controller.initArgsWithSilent({.silent = true, .console = true});
    controller.awakeFromNib();
    QSignalSpy started(&controller, &MainController::runStarted);
    QSignalSpy progress(&controller, &MainController::progressChanged);
    QSignalSpy finishes(&controller, &MainController::allTestsFinished);
    QSignalSpy delivered(&controller.delivery(), &Delivery::deliveredWithoutUpload);
    QSignalSpy found(&controller, &MainController::findingsFound);
    // The report as it stands when the run says it has finished.
    QBuffer report;
    QVERIFY(report.open(QIODevice::WriteOnly));
    connect(&controller, &MainController::allTestsFinished, this,
            [&] { QVERIFY(controller.buildResults(report)); });
    controller.runTests({" \tacme\t ", " 42 ", {}});
    QCOMPARE(started, QList<QVariantList>{{32}});
    QTRY_COMPARE_WITH_TIMEOUT(delivered.count(), 1, 10000);
    QTRY_COMPARE(progress.last(), (QVariantList{32, 32}));
    QTest::qWait(100);
    QCOMPARE(finishes.count(), 1);
    QCOMPARE(delivered.count(), 1);
    for (const QVariantList &update : progress)
        QCOMPARE(update.at(1), 32);

    QString expected = "Veltrane account: acme\nVeltrane ticket: 42\n";
    for (int i = 0; i < 30; ++i) {
        if (i == 10)
            expected += blockHead(slow + " (late)") + "stdout:\nslow\n\n";
        expected +=
            blockHead(quick + " " + QString::number(i)) + "stdout:\n" + QString::number(i) + "\n\n";
    }
    QVERIFY(report.data().startsWith(expected.toUtf8()));
    QVERIFY(report.data().contains("stderr:\ncould not start " + dir.filePath("missing").toUtf8()));
    // Its row and its failed start reach the findings, which name the tool
    // that could not start rather than the one the report shows.
    const auto findings = found.at(0).at(0).value<std::vector<Finding>>();
    QCOMPARE(findingsText(findings), "look Could not start: missing\n?    The service's resolver "
                                     "127.0.0.10 by port: 53 could not tell (missing could not "
                                     "start)\n");
}

// What a run's inputs make of the battery: the agent counts as installed when
// anything is at its path; its log files (each folder's entries sorted, hidden
// ones and subfolders too) add a test each, without a row of their own.
void TestMainController::inputs_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("field");
    // What the battery holds: "agent" its tests, "domain" the test domain's
    // rows, "logs=N" that many log files.
    QTest::addColumn<QString>("holds");
    const auto row = [](const char *name, const QStringList &tree, const QString &flags,
                        const QString &holds, const QString &option = "",
                        const QString &field = "") {
        QTest::newRow(name) << tree << flags << option << field << holds;
    };
    row("no agent", {}, "", "logs=0");
    row("--amx", {}, "amx", "agent logs=0");
    row("a file at the agent's path", {"agent"}, "", "agent logs=0");
    row("--noamx wins", {"agent"}, "amx noamx", "logs=0");
    const QString logs = "agent/beacon-logs/";
    row("log files",
        {logs + "service/c.log", logs + "service/.state", logs + "service/old/",
         logs + "ipblock/b.log", logs + "probe/"},
        "", "agent logs=4");
    row("domain field", {}, "", "domain logs=0", "", " field. test ");
    row("--domain over the field", {}, "", "domain logs=0", "a.test", "-");
    row("no option for dig", {}, "", "logs=0", "-f/etc/x.conf", "a.test");
}

void TestMainController::inputs()
{
    QFETCH(QStringList, tree);
    QFETCH(QString, flags);
    QFETCH(QString, option);
    QFETCH(QString, field);
    QFETCH(QString, holds);
    QTemporaryDir dir;
    for (const QString &path : tree) {
        QVERIFY(QDir().mkpath(QFileInfo(dir.filePath(path)).path()));
        QVERIFY(path.endsWith(u'/') || QFile(dir.filePath(path)).open(QIODevice::WriteOnly));
    }
    MainController controller;
    controller.setAgentPaths({dir.filePath("agent"), dir.filePath("data")});
    const QStringList flag = flags.split(u' ');
    controller.initArgsWithSilent({.silent = true,
                                   .forceAgentTests = flag.contains("amx"),
                                   .skipAgentTests = flag.contains("noamx"),
                                   .domain = option});
    controller.awakeFromNib();
    if (option.startsWith(u'-'))
        QTest::ignoreMessage(QtWarningMsg, "not testing the domain \"" + option.toUtf8() +
                                               "\": dig and traceroute would take a name "
                                               "beginning with \"-\" for an option");
    const std::vector<Test> battery = controller.prepareRun({{}, {}, field});
    const auto has = [&battery](BatteryRow row) {
        return std::any_of(battery.begin(), battery.end(),
                           [row](const Test &test) { return test.row == row; });
    };
    QCOMPARE(has(BatteryRow::AgentDebugName), holds.contains("agent"));
    QCOMPARE(has(BatteryRow::TraceTestDomain), holds.contains("domain"));
    QCOMPARE(has(BatteryRow::AgentTestDomain), holds.contains("agent domain"));
    const auto logFiles = std::count_if(battery.begin(), battery.end(), [](const Test &test) {
        return test.row == BatteryRow::None;
    });
    QCOMPARE("logs=" + QString::number(logFiles), holds.section(u' ', -1));
    if (logFiles == 4) {
        const QString logs = dir.filePath("agent/beacon-logs/");
        QCOMPARE(controller.tailBeaconLogs(),
                 (QStringList{logs + "ipblock/b.log", logs + "service/.state",
                              logs + "service/c.log", logs + "service/old"}));
    }
}

QTEST_GUILESS_MAIN(TestMainController)
#include "tst_maincontroller.moc"
