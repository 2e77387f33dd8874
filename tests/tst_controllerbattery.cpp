#include "consoleview.h"
#include "maincontroller.h"
#include "testsupport.h"

#include <QBuffer>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Lays out files (and folders, where a path ends in "/") below root.
void createTree(const QString &root, const QStringList &paths)
{
    for (const QString &path : paths) {
        QDir().mkpath(QFileInfo(root + u'/' + path).path());
        if (!path.endsWith(u'/'))
            QFile(root + u'/' + path).open(QIODevice::WriteOnly);
    }
}

// A windowless controller that prints to a buffer and looks for its agent in dir/agent.
struct Controller : MainController
{
    explicit Controller(const QTemporaryDir &dir, bool amx = false, bool noamx = false)
    {
        setAgentPaths({dir.filePath("agent"), dir.filePath("data")});
        initArgsWithSilent(true, true, amx, noamx, false);
        console.open(QIODevice::WriteOnly);
        awakeFromNib();
    }
    QBuffer console;
    ConsoleView view{*this, &console};
};

} // namespace

class TestControllerBattery : public QObject
{
    Q_OBJECT

private slots:
    void logFiles();
    void agentGate();
    void testDomainSources();
    void accountAndTicketHeadTheReport();
};

void TestControllerBattery::logFiles()
{
    QTemporaryDir dir;
    Controller controller(dir);
    QCOMPARE(controller.tailBeaconLogs(), QStringList());
    // Subfolders in their order, each sorted; hidden entries and folders count;
    // an empty subfolder gives nothing, and so does one that is a file.
    const QString logs = dir.filePath("agent/beacon-logs/");
    createTree(logs, {"service/c.log", "service/.state", "service/old/", "ipblock/b.log",
                      "ipblock/a.log", "probe/"});
    const QStringList expected = {logs + "ipblock/a.log", logs + "ipblock/b.log",
                                  logs + "service/.state", logs + "service/c.log",
                                  logs + "service/old"};
    QCOMPARE(controller.tailBeaconLogs(), expected);
    // The logs make the agent installed: its rows and one per log file.
    QCOMPARE(int(controller.prepareRun().size()), 51 + 14 + 5);
    QVERIFY(QDir(logs + "probe").removeRecursively());
    createTree(logs, {"probe"});
    QCOMPARE(controller.tailBeaconLogs(), expected);
}

void TestControllerBattery::agentGate()
{
    QTemporaryDir dir;
    const auto count = [&dir](bool amx, bool noamx) {
        return int(Controller(dir, amx, noamx).prepareRun().size());
    };
    QCOMPARE(count(false, false), 51);
    QCOMPARE(count(true, false), 51 + 14);
    // Any kind of file at the agent's path means it is installed.
    createTree(dir.path(), {"agent"});
    QCOMPARE(count(false, false), 51 + 14);
    QCOMPARE(count(false, true), 51);
    QVERIFY(QFile::remove(dir.filePath("agent")));
    createTree(dir.path(), {"agent/"});
    QCOMPARE(count(false, false), 51 + 14);
}

void TestControllerBattery::testDomainSources()
{
    QTemporaryDir dir;
    Controller controller(dir);
    const FieldEntries field{{}, {}, " field. test "};
    QCOMPARE(int(controller.prepareRun(field).size()), 56);
    // --domain wins over the field, but a name that dig would take for an option is none.
    controller.setDomain("-f/etc/secret.conf");
    QTest::ignoreMessage(QtWarningMsg,
                         "not testing the domain \"-f/etc/secret.conf\": dig and traceroute "
                         "would take a name beginning with \"-\" for an option");
    QCOMPARE(int(controller.prepareRun(field).size()), 51);
}

void TestControllerBattery::accountAndTicketHeadTheReport()
{
    QTemporaryDir dir;
    Controller controller(dir);
    const QString empty = writeScript(dir, "empty", "");
    controller.replaceBattery({Test{empty, {}, std::nullopt}});
    QSignalSpy exited(&controller.view, &ConsoleView::exitRequested);
    controller.runTests({" \tacme\t ", " 42 ", {}});
    QTRY_COMPARE(exited.count(), 1);
    QCOMPARE(controller.report(),
             "Veltrane account: acme\nVeltrane ticket: 42\n" + blockHead(empty));
}

QTEST_MAIN(TestControllerBattery)
#include "tst_controllerbattery.moc"
