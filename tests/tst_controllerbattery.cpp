#include "maincontroller.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

// Lays out files (and folders, where a path ends in "/") below root.
bool createTree(const QString &root, const QStringList &paths)
{
    for (const QString &path : paths) {
        if (path.endsWith(u'/')) {
            if (!QDir().mkpath(root + u'/' + path))
                return false;
            continue;
        }
        QDir().mkpath(QFileInfo(root + u'/' + path).path());
        QFile file(root + u'/' + path);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write("log line\n");
    }
    return true;
}

AgentPaths agentIn(const QTemporaryDir &dir)
{
    AgentPaths paths;
    paths.installDirectory = dir.filePath("agent");
    paths.dataDirectory = dir.filePath("data");
    return paths;
}

// The arguments of every test, to find the test domain in.
int testsMentioning(const std::vector<Test> &tests, const QString &text)
{
    int count = 0;
    for (const Test &test : tests)
        count += test.args.contains(text) ? 1 : 0;
    return count;
}

bool hasAgentRows(const std::vector<Test> &tests)
{
    for (const Test &test : tests) {
        if (test.args.contains("@127.0.0.1"))
            return true;
    }
    return false;
}

} // namespace

class TestControllerBattery : public QObject
{
    Q_OBJECT

private slots:
    void logFiles_data();
    void logFiles();
    void unreadableSubfolderGivesNothing();
    void agentGate_data();
    void agentGate();
    void logTestsStandBetweenLocalDomainsAndSystemLog();
    void testDomainSources();
    void domainThatLooksLikeAnOptionIsRefused();
    void accountAndTicketHeadTheReport();
};

void TestControllerBattery::logFiles_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("two, none, one")
        << QStringList{"ipblock/b.log", "ipblock/a.log", "probe/", "service/c.log"}
        << QStringList{"ipblock/a.log", "ipblock/b.log", "service/c.log"};
    QTest::newRow("a hidden file alone")
        << QStringList{"probe/.state"} << QStringList{"probe/.state"};
    QTest::newRow("subdirectories count, plain order")
        << QStringList{"service/alpha", "service/Zeta", "service/1x", "service/old/"}
        << QStringList{"service/1x", "service/Zeta", "service/alpha", "service/old"};
    QTest::newRow("a subfolder that is a file")
        << QStringList{"ipblock", "probe/p.log"} << QStringList{"probe/p.log"};
    QTest::newRow("no log directory") << QStringList{} << QStringList{};
}

void TestControllerBattery::logFiles()
{
    QFETCH(QStringList, tree);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString logs = dir.filePath("agent/beacon-logs");
    QVERIFY(createTree(logs, tree));

    MainController controller;
    controller.setAgentPaths(agentIn(dir));
    QStringList full;
    for (const QString &path : expected)
        full.append(logs + u'/' + path);
    QCOMPARE(controller.tailBeaconLogs(), full);
}

void TestControllerBattery::unreadableSubfolderGivesNothing()
{
    if (::geteuid() == 0)
        QSKIP("root reads every folder");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString logs = dir.filePath("agent/beacon-logs");
    QVERIFY(createTree(logs, {"ipblock/a.log", "service/c.log"}));
    QVERIFY(QFile::setPermissions(logs + "/ipblock", QFileDevice::Permissions()));

    MainController controller;
    controller.setAgentPaths(agentIn(dir));
    QCOMPARE(controller.tailBeaconLogs(), QStringList{logs + "/service/c.log"});
    QFile::setPermissions(logs + "/ipblock",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TestControllerBattery::agentGate_data()
{
    QTest::addColumn<QString>("agent"); // none, folder or file
    QTest::addColumn<bool>("amx");
    QTest::addColumn<bool>("noamx");
    QTest::addColumn<int>("expected");

    QTest::newRow("no agent") << "none" << false << false << 51;
    QTest::newRow("agent installed") << "folder" << false << false << 51 + 14;
    QTest::newRow("agent path is a plain file") << "file" << false << false << 51 + 14;
    QTest::newRow("--amx without agent") << "none" << true << false << 51 + 14;
    QTest::newRow("--noamx with agent") << "folder" << false << true << 51;
    QTest::newRow("--amx and --noamx") << "none" << true << true << 51;
}

void TestControllerBattery::agentGate()
{
    QFETCH(QString, agent);
    QFETCH(bool, amx);
    QFETCH(bool, noamx);
    QFETCH(int, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (agent == "folder")
        QVERIFY(QDir().mkpath(dir.filePath("agent")));
    else if (agent == "file")
        QVERIFY(createTree(dir.path(), {"agent"}));

    MainController controller;
    controller.setAgentPaths(agentIn(dir));
    controller.initArgsWithSilent(true, true, amx, noamx, false);
    controller.awakeFromNib();
    const auto tests = controller.prepareRun();
    QCOMPARE(int(tests.size()), expected);
    QCOMPARE(hasAgentRows(tests), expected > 51);
}

void TestControllerBattery::logTestsStandBetweenLocalDomainsAndSystemLog()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(createTree(dir.filePath("agent/beacon-logs"), {"service/s.log", "ipblock/i.log"}));

    MainController controller;
    controller.setAgentPaths(agentIn(dir));
    controller.initArgsWithSilent(true, true, false, false, false);
    controller.awakeFromNib();
    const auto tests = controller.prepareRun();
    // 51 common tests, rows 58 to 62, the two logs, then row 63 onwards.
    QCOMPARE(int(tests.size()), 51 + 14 + 2);
    QVERIFY(tests.at(55).args.at(1).endsWith("/localdomains'"));
    QCOMPARE(tests.at(56).args.at(1),
             "cat \"" + dir.filePath("agent/beacon-logs/ipblock/i.log") + '"');
    QCOMPARE(tests.at(57).args.at(1),
             "cat \"" + dir.filePath("agent/beacon-logs/service/s.log") + '"');
    QVERIFY(tests.at(58).args.at(1).contains("tail -n 15000"));
}

void TestControllerBattery::testDomainSources()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QLineEdit field;
    MainController controller;
    controller.setAgentPaths(agentIn(dir));
    controller.textDomainToTest = &field;
    controller.awakeFromNib();

    // The window's field, blanks removed: rows 2 to 6.
    field.setText(" field. example ");
    auto tests = controller.prepareRun();
    QCOMPARE(int(tests.size()), 56);
    QCOMPARE(testsMentioning(tests, "field.example"), 5);

    // --domain wins over the field.
    controller.setDomain("option.example");
    tests = controller.prepareRun();
    QCOMPARE(testsMentioning(tests, "option.example"), 5);
    QCOMPARE(testsMentioning(tests, "field.example"), 0);
}

void TestControllerBattery::domainThatLooksLikeAnOptionIsRefused()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    MainController controller;
    controller.setAgentPaths(agentIn(dir));
    controller.initArgsWithSilent(true, true, true, false, false);
    controller.setDomain("-f/etc/secret.conf");
    controller.awakeFromNib();

    QTest::ignoreMessage(QtWarningMsg,
                         "not testing the domain \"-f/etc/secret.conf\": dig and traceroute "
                         "would take a name beginning with \"-\" for an option");
    const auto tests = controller.prepareRun();
    // No rows 2 to 6 and no row 57.
    QCOMPARE(int(tests.size()), 51 + 14);
    QCOMPARE(testsMentioning(tests, "-f/etc/secret.conf"), 0);
}

void TestControllerBattery::accountAndTicketHeadTheReport()
{
    QLineEdit account;
    QLineEdit ticket;
    account.setText(" \tacme corp\t ");
    ticket.setText(" \t ");
    QBuffer console;
    console.open(QIODevice::WriteOnly);

    MainController controller;
    controller.textVeltraneAccount = &account;
    controller.textTicketNo = &ticket;
    controller.initArgsWithSilent(true, true, false, false, false);
    controller.setConsole(&console);
    controller.awakeFromNib();
    controller.replaceBattery({Test{"/bin/true", {}, std::nullopt}});
    QSignalSpy exited(&controller, &MainController::exitRequested);
    controller.runTests();
    QTRY_COMPARE(exited.count(), 1);

    // A ticket of blanks and tabs leaves no ticket line.
    QCOMPARE(controller.report(),
             "Veltrane account: acme corp\n" + QString(45, u'-') + "Results for: /bin/true\n");
}

QTEST_MAIN(TestControllerBattery)
#include "tst_controllerbattery.moc"
