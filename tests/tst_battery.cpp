#include "battery.h"
#include "resultblock.h"
#include "testsupport.h"

#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTest>

namespace {

// A Linux machine with merged /usr, without net-tools, with the journal; the
// changes add ("path") or take away ("-path") files, separated by blanks.
LocalSystem linuxMachine(const QString &changes = "", bool root = false)
{
    QSet<QString> files = {"/run/systemd/journal", "/usr/sbin/traceroute", "/sbin/traceroute"};
    for (const char *tool :
         {"dig", "nslookup", "ping", "ps", "curl", "ip", "journalctl", "sh", "ls", "cat"})
        files << QString("/bin/") + tool << QString("/usr/bin/") + tool;
    for (const QString &change : changes.split(u' ', Qt::SkipEmptyParts)) {
        if (change.startsWith(u'-'))
            files.remove(change.mid(1));
        else
            files.insert(change);
    }
    const auto has = [files](const QString &path) { return files.contains(path); };
    return {Platform::Linux, root, has, has};
}

QStringList names(bool withDomain, bool gate, const LocalSystem &system)
{
    BatteryInputs inputs;
    inputs.endpoints = builtInEndpoints();
    if (withDomain)
        inputs.testDomain = "probe.test";
    inputs.agentGate = gate;
    inputs.agentLogFiles = {"/logs/a.log"};
    QStringList list;
    for (const Test &test : batteryTests(inputs, system))
        list << commandDisplayName(test.launchPath, test.args, test.comment);
    return list;
}

} // namespace

class TestBattery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void listing_data();
    void listing();
    void linuxVariants_data();
    void linuxVariants();
    void logFiles();
};

void TestBattery::initTestCase()
{
    if (builtInEndpoints().MyIpName != "myip.veltrane.test")
        QSKIP("the listings name the endpoints of tests/loopback.endpoints");
}

void TestBattery::listing_data()
{
    QTest::addColumn<LocalSystem>("system");
    QTest::addColumn<QString>("file");
    QTest::newRow("macOS") << LocalSystem{Platform::MacOS, false, {}, {}} << "battery-macos.txt";
    QTest::newRow("Linux") << linuxMachine() << "battery-linux.txt";
}

// The listings hold the battery with a test domain, the agent gate open and
// one agent log file: every row there is, in start order.
void TestBattery::listing()
{
    QFETCH(LocalSystem, system);
    QFETCH(QString, file);
    QFile listing(VELTRANE_SOURCE_DIR "/tests/data/" + file);
    QVERIFY(listing.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList expected = QString::fromUtf8(listing.readAll()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(names(true, true, system), expected);
    // Without a test domain rows 2 to 6 and 57 go; with the gate shut, the
    // agent's rows and its log files.
    expected.remove(56);
    expected.remove(1, 5);
    QCOMPARE(names(false, true, system), expected);
    QCOMPARE(names(false, false, system), expected.first(51));
}

void TestBattery::linuxVariants_data()
{
    QTest::addColumn<QString>("changes");
    QTest::addColumn<bool>("root");
    QTest::addColumn<int>("row"); // counted as in the listings
    QTest::addColumn<QString>("expected");
    const QString grep = " | grep -E -i \"kernel|launchd|vpn|dns|configd|racoon|tirrel\"";
    QTest::newRow("root traces by ICMP")
        << "" << true << 7 << "/usr/sbin/traceroute -I -w 2 127.0.0.10";
    QTest::newRow("first directory wins") << "/usr/sbin/ping" << false << 26
                                          << "/usr/sbin/ping -c 5 pao.router.veltrane.test "
                                             "(palo alto router)";
    QTest::newRow("ifconfig") << "/sbin/ifconfig" << false << 48 << "/sbin/ifconfig -a";
    QTest::newRow("neither ifconfig nor ip: launch fails")
        << "-/bin/ip -/usr/bin/ip" << false << 48 << "/sbin/ifconfig -a";
    QTest::newRow("netstat") << "/usr/bin/netstat" << false << 50 << "/usr/bin/netstat -rn";
    QTest::newRow("resolved") << "/run/systemd/resolve /usr/bin/resolvectl" << false << 49
                              << "/bin/sh -c cat /etc/resolv.conf; resolvectl dns";
    QTest::newRow("syslog") << "-/run/systemd/journal /var/log/syslog" << false << 64
                            << "/bin/sh -c tail -n 15000 /var/log/syslog" + grep;
    QTest::newRow("messages") << "-/usr/bin/journalctl -/bin/journalctl" << false << 64
                              << "/bin/sh -c tail -n 15000 /var/log/messages" + grep;
}

void TestBattery::linuxVariants()
{
    QFETCH(QString, changes);
    QFETCH(bool, root);
    QFETCH(int, row);
    QFETCH(QString, expected);
    QCOMPARE(names(true, true, linuxMachine(changes, root)).at(row - 1), expected);
}

void TestBattery::logFiles()
{
    // Hidden names first, then digits, capitals and small letters.
    QCOMPARE(sortedLogPaths("/d/", {"b.log", "alpha", "Zeta", ".hidden", "1x", "a.log"}),
             (QStringList{"/d/.hidden", "/d/1x", "/d/Zeta", "/d/a.log", "/d/alpha", "/d/b.log"}));
    // No file name breaks out of the quotes into the shell.
    QTemporaryDir dir;
    for (const QString name : {"x$(touch CANARY)y", "x`touch CANARY`y", "a\"; touch CANARY; \"",
                               "a\\\"; touch CANARY #"}) {
        QProcess shell;
        shell.setWorkingDirectory(dir.path());
        shell.start("/bin/sh", {"-c", logCommand(writeScript(dir, name, "the log"))});
        QVERIFY(shell.waitForFinished(10000));
        QCOMPARE(shell.readAllStandardOutput(), QByteArray("#!/bin/sh\nthe log\n"));
        QVERIFY(!QFile::exists(dir.filePath("CANARY")));
    }
}

QTEST_GUILESS_MAIN(TestBattery)
#include "tst_battery.moc"
