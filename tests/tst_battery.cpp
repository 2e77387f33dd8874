#include "battery.h"
#include "resultblock.h"
#include "testsupport.h"

#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A machine of the given platform with the tools of the rows checked here where
// Debian puts them, changed by "-path" (gone) and "path" (an executable file),
// separated by blanks.
LocalSystem machine(Platform platform, const QString &changes = "", bool root = false)
{
    QSet<QString> files = {"/usr/bin/dig", "/usr/bin/ping",    "/sbin/ifconfig",
                           "/usr/bin/ip",  "/usr/bin/netstat", "/usr/bin/journalctl"};
    for (const QString &change : changes.split(u' ', Qt::SkipEmptyParts)) {
        if (change.startsWith(u'-'))
            files.remove(change.mid(1));
        else
            files.insert(change);
    }
    const auto has = [files](const QString &path) { return files.contains(path); };
    return {platform, root, has, has};
}

// Only the roles of the rows checked by name have a value.
BatteryInputs inputs(bool withDomain, bool gate, int logFiles = 0)
{
    BatteryInputs in;
    in.endpoints.MyIpName = "myip";
    in.endpoints.AshburnRouter = "iad";
    in.endpoints.BlockedTestAddress = "bad";
    if (withDomain)
        in.testDomain = "example.test";
    in.agentGate = gate;
    for (int i = 0; i < logFiles; ++i)
        in.agentLogFiles.append(QString("/logs/%1.log").arg(i));
    return in;
}

QString nameOf(const Test &test)
{
    return commandDisplayName(test.launchPath, test.args, test.comment);
}

} // namespace

class TestBattery : public QObject
{
    Q_OBJECT

private slots:
    void counts_data();
    void counts();
    void rows_data();
    void rows();
    void argumentsStayWhole();
    void logOrder();
    void logCommandPrintsAnyName_data();
    void logCommandPrintsAnyName();
};

void TestBattery::counts_data()
{
    QTest::addColumn<Platform>("platform");
    QTest::newRow("macOS") << Platform::MacOS;
    QTest::newRow("Linux") << Platform::Linux;
}

void TestBattery::counts()
{
    QFETCH(Platform, platform);
    const auto count = [platform](bool withDomain, bool gate, int logFiles) {
        return int(batteryTests(inputs(withDomain, gate, logFiles), machine(platform)).size());
    };
    QCOMPARE(count(false, false, 0), 51);
    QCOMPARE(count(true, false, 0), 56);
    QCOMPARE(count(false, true, 0), 51 + 14);
    QCOMPARE(count(true, true, 3), 56 + 15 + 3);
    // Log files found while the gate is shut print nothing.
    QCOMPARE(count(false, false, 3), 51);
}

void TestBattery::rows_data()
{
    QTest::addColumn<Platform>("platform");
    QTest::addColumn<QString>("changes");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("expected");
    const auto mac = Platform::MacOS;
    const auto lin = Platform::Linux;
    const QString ping44 = "ping -c 5 iad (washington dc router)";
    const QString grep = "grep -E -i \"kernel|launchd|vpn|dns|configd|racoon|tirrel\"";

    QTest::newRow("mac 44") << mac << "" << 44 << "/sbin/" + ping44;
    QTest::newRow("mac 64") << mac << "" << 64 << "/bin/sh -c ping -c 1 -t 1 bad (Blocked IP)";
    QTest::newRow("written path first")
        << lin << "/usr/local/bin/dig" << 1 << "/usr/bin/dig +time=10 myip";
    QTest::newRow("looked up") << lin << "" << 44 << "/usr/bin/" + ping44;
    QTest::newRow("first directory wins") << lin << "/usr/sbin/ping" << 44 << "/usr/sbin/" + ping44;
    QTest::newRow("not in $PATH: launch fails")
        << lin << "-/usr/bin/ping /opt/bin/ping" << 44 << "/sbin/" + ping44;
    QTest::newRow("ifconfig") << lin << "" << 48 << "/sbin/ifconfig -a";
    QTest::newRow("ip for ifconfig")
        << lin << "-/sbin/ifconfig" << 48 << "/usr/bin/ip address show";
    QTest::newRow("neither") << lin << "-/sbin/ifconfig -/usr/bin/ip" << 48 << "/sbin/ifconfig -a";
    QTest::newRow("ip for netstat") << lin << "-/usr/bin/netstat" << 50 << "/usr/bin/ip route show";
    QTest::newRow("journal") << lin << "/var/log/journal" << 63
                             << "/bin/sh -c journalctl -q --no-pager -n 15000 | tail -n 15000 | " +
                                    grep;
    QTest::newRow("syslog") << lin << "-/usr/bin/journalctl /var/log/syslog" << 63
                            << "/bin/sh -c tail -n 15000 /var/log/syslog | " + grep;
    QTest::newRow("linux 64") << lin << "" << 64 << "/bin/sh -c ping -c 1 -W 1 bad (Blocked IP)";
    QTest::newRow("linux 65") << lin << "" << 65 << "/bin/sh -c ip route get bad (Blocked IP)";
}

void TestBattery::rows()
{
    QFETCH(Platform, platform);
    QFETCH(QString, changes);
    QFETCH(int, row);
    QFETCH(QString, expected);
    // With a test domain, the gate open and no log files, row n is test n.
    const auto tests = batteryTests(inputs(true, true), machine(platform, changes));
    QCOMPARE(nameOf(tests.at(row - 1)), expected);
    QCOMPARE(tests.at(row - 1).row, row);
}

void TestBattery::argumentsStayWhole()
{
    // ICMP probes need root on Linux.
    QCOMPARE(tracerouteTest("h", machine(Platform::MacOS)).args, (QStringList{"-I", "-w 2", "h"}));
    QCOMPARE(tracerouteTest("h", machine(Platform::Linux)).args, (QStringList{"-w 2", "h"}));
    QCOMPARE(tracerouteTest("h", machine(Platform::Linux, "", true)).args,
             (QStringList{"-I", "-w 2", "h"}));
    QCOMPARE(logTest("/l/a.log", machine(Platform::Linux)).args,
             (QStringList{"-c", "cat \"/l/a.log\""}));
}

void TestBattery::logOrder()
{
    // Hidden names first, then digits, capitals and small letters.
    QCOMPARE(sortedLogPaths("/d/", {"b.log", "alpha", "Zeta", ".hidden", "1x", "a.log"}),
             (QStringList{"/d/.hidden", "/d/1x", "/d/Zeta", "/d/a.log", "/d/alpha", "/d/b.log"}));
    // Rows 58 to 62, the log file, then row 63.
    const auto tests = agentTests(inputs(false, true, 1), machine(Platform::Linux));
    QCOMPARE(nameOf(tests.at(5)), "/bin/sh -c cat \"/logs/0.log\"");
    QVERIFY(nameOf(tests.at(6)).contains("tail -n 15000"));
    QCOMPARE((QList<int>{tests.at(0).row, tests.at(5).row, tests.at(6).row}),
             (QList<int>{58, 0, 63}));
    // Without a test domain the second test is row 7.
    QCOMPARE(commonTests(inputs(false, false), machine(Platform::Linux)).at(1).row, 7);
}

void TestBattery::logCommandPrintsAnyName_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("command substitution") << "x$(touch CANARY)y.log";
    QTest::newRow("backquotes") << "x`touch CANARY`y.log";
    QTest::newRow("double quote") << "a\"; touch CANARY; echo \".log";
    QTest::newRow("backslash before the quote") << "a\\\"; touch CANARY #.log";
}

void TestBattery::logCommandPrintsAnyName()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    const QString log = writeScript(dir, name, "the log");
    QVERIFY(!log.isEmpty());

    QProcess shell;
    shell.setWorkingDirectory(dir.path());
    shell.start("/bin/sh", {"-c", logCommand(log)});
    QVERIFY(shell.waitForFinished(10000));
    QCOMPARE(shell.readAllStandardOutput(), QByteArray("#!/bin/sh\nthe log\n"));
    QVERIFY(!QFile::exists(dir.filePath("CANARY")));
}

QTEST_GUILESS_MAIN(TestBattery)
#include "tst_battery.moc"
