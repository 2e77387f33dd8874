#include "battery.h"

#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A Linux machine with merged /usr, without net-tools, with the journal; the
// changes add ("path") or take away ("-path") files, or make the user root.
LocalSystem linuxMachine(const QString &changes = "")
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
    return {Platform::Linux, files.contains("root"), has, has};
}

// With a test domain, the agent gate open and one agent log file, unless told.
std::vector<Test> battery(const LocalSystem &system, bool withDomain = true, bool gate = true)
{
    BatteryInputs inputs;
    inputs.endpoints = builtInEndpoints();
    if (withDomain)
        inputs.testDomain = "probe.test";
    inputs.agentGate = gate;
    inputs.agentLogFiles = {"/logs/a.log"};
    return batteryTests(inputs, system);
}

QStringList names(const std::vector<Test> &tests)
{
    QStringList list;
    for (const Test &test : tests)
        list << displayNameOf(test);
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
        QSKIP("the listings name the endpoints of config/loopback.endpoints");
}

void TestBattery::listing_data()
{
    QTest::addColumn<LocalSystem>("system");
    QTest::addColumn<QString>("file");
    QTest::newRow("macOS") << LocalSystem{Platform::MacOS, false, {}, {}} << "battery-macos.txt";
    QTest::newRow("Linux") << linuxMachine() << "battery-linux.txt";
}

// The listings hold the whole battery in start order.
void TestBattery::listing()
{
    QFETCH(LocalSystem, system);
    QFETCH(QString, file);
    QFile listing(VELTRANE_SOURCE_DIR "/tests/data/" + file);
    QVERIFY(listing.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList expected = QString::fromUtf8(listing.readAll()).split(u'\n', Qt::SkipEmptyParts);
    const std::vector<Test> all = battery(system);
    QCOMPARE(names(all), expected);
    // Each test knows its row of the table: every row once, in order; the log
    // file after the agent's local domains has none.
    // Only the process list shows other programs' command lines.
    QList<int> rows;
    QList<BatteryRow> masking;
    for (const Test &test : all) {
        rows << int(test.row);
        if (test.masksSecrets)
            masking << test.row;
    }
    QCOMPARE(masking, QList<BatteryRow>{BatteryRow::ProcessList});
    const qsizetype log = rows.indexOf(0);
    QCOMPARE(rows.at(log - 1), int(BatteryRow::AgentLocalDomains));
    rows.remove(log);
    for (qsizetype i = 0; i < rows.size(); ++i)
        QCOMPARE(rows.at(i), i + 1);

    // Without a test domain its rows go; with the gate shut, the agent's rows
    // and its log files.
    QStringList withoutDomain, common;
    for (const Test &test : all) {
        using enum BatteryRow;
        if ((test.row >= TraceTestDomain && test.row <= TestDomainAtPublicResolver) ||
            test.row == AgentTestDomain)
            continue;
        withoutDomain << displayNameOf(test);
        if (test.row != None && test.row <= SoftwareOverview)
            common << displayNameOf(test);
    }
    QCOMPARE(names(battery(system, false)), withoutDomain);
    QCOMPARE(names(battery(system, false, false)), common);
}

void TestBattery::linuxVariants_data()
{
    QTest::addColumn<QString>("changes");
    QTest::addColumn<int>("row"); // counted as in the listings
    QTest::addColumn<QString>("expected");
    const QString grep = " | grep -E -i \"kernel|launchd|vpn|dns|configd|racoon|tirrel\"";
    QTest::newRow("root traces by ICMP")
        << "root" << 7 << "/usr/sbin/traceroute -I -w 2 127.0.0.10";
    QTest::newRow("ifconfig") << "/sbin/ifconfig" << 48 << "/sbin/ifconfig -a";
    QTest::newRow("neither ifconfig nor ip: launch fails")
        << "-/bin/ip -/usr/bin/ip" << 48 << "/sbin/ifconfig -a";
    QTest::newRow("resolved") << "/run/systemd/resolve /usr/bin/resolvectl" << 49
                              << "/bin/sh -c cat /etc/resolv.conf; resolvectl dns";
    QTest::newRow("resolvectl without resolved")
        << "/usr/bin/resolvectl" << 49 << "/bin/sh -c cat /etc/resolv.conf";
    QTest::newRow("syslog") << "-/run/systemd/journal /var/log/syslog" << 64
                            << "/bin/sh -c tail -n 15000 /var/log/syslog" + grep;
    QTest::newRow("messages") << "-/usr/bin/journalctl -/bin/journalctl" << 64
                              << "/bin/sh -c tail -n 15000 /var/log/messages" + grep;
}

void TestBattery::linuxVariants()
{
    QFETCH(QString, changes);
    QFETCH(int, row);
    QFETCH(QString, expected);
    QCOMPARE(names(battery(linuxMachine(changes))).at(row - 1), expected);
}

// Log files of any name are listed, shown and printed exactly, and cannot
// break out into the shell. Reading a FIFO, socket or device would not end;
// files, folders and links to them are read as ever, unless they lie outside
// the agent's folders (here the log folder itself and /dev).
void TestBattery::logFiles()
{
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path()) + '/';
    const QByteArrayList names = {"x$(touch CANARY)y", "x`touch CANARY`y",
                                  "a\"; touch CANARY; echo \"", "a\\\"; touch CANARY #",
                                  "\xFF\xFE\"\xC3\xA9\xE9"};
    // QTemporaryDir cannot remove a name that is not UTF-8.
    const auto removeFiles = qScopeGuard([&] {
        for (const QByteArray &name : names)
            ::unlink(folder + name);
    });
    for (const QByteArray &name : names) {
        const int fd = ::open(folder + name, O_CREAT | O_WRONLY, 0600);
        QVERIFY(fd >= 0 && ::write(fd, "the log\n", 8) == 8 && ::close(fd) == 0);
    }
    QVERIFY(::mkfifo(folder + "fifo", 0600) == 0);
    QVERIFY(::symlink("fifo", folder + "link to a FIFO") == 0);
    QVERIFY(::symlink("/dev/null", folder + "link to a device") == 0);
    QVERIFY(::symlink(".", folder + "link to a folder") == 0);
    QVERIFY(::symlink("/etc/passwd", folder + "link out") == 0);
    QLocalServer socket;
    QVERIFY(socket.listen(dir.filePath("socket")));

    QStringList shown;
    for (const QString &path : logFolderPaths(dir.path() + '/')) {
        const Test test = logTest(path, thisSystem(), {dir.path(), "/dev"});
        QString output = test.notRunBecause.value_or("");
        if (!test.notRunBecause) {
            QProcess shell;
            shell.setWorkingDirectory(dir.path());
            shell.start(test.launchPath, test.args);
            QVERIFY(shell.waitForFinished(10000));
            output = shell.readAllStandardOutput();
        }
        shown << displayNameOf(test).remove("/bin/sh -c cat \"" + dir.path() + '/') + ": " + output;
    }
    QCOMPARE(shown, (QStringList{
                        "a\\\"; touch CANARY; echo \\\"\": the log\n",
                        "a\\\\\\\"; touch CANARY #\": the log\n",
                        "fifo\": not read: this is a FIFO, not a file",
                        "link out\": not read: a link to /etc/passwd, outside the agent's folders",
                        "link to a FIFO\": not read: this is a FIFO, not a file",
                        "link to a device\": not read: this is a character device, not a file",
                        "link to a folder\": ", "socket\": not read: this is a socket, not a file",
                        "x\\$(touch CANARY)y\": the log\n", "x\\`touch CANARY\\`y\": the log\n",
                        "\\xFF\\xFE\\\"é\\xE9\": the log\n"}));
    QVERIFY(!QFile::exists(dir.filePath("CANARY")));
}

QTEST_GUILESS_MAIN(TestBattery)
#include "tst_battery.moc"
