#include "battery.h"
#include "resultblock.h"
#include "testsupport.h"

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

std::vector<Test> battery(bool withDomain, bool gate, const LocalSystem &system)
{
    BatteryInputs inputs;
    inputs.endpoints = builtInEndpoints();
    if (withDomain)
        inputs.testDomain = "probe.test";
    inputs.agentGate = gate;
    inputs.agentLogFiles = {"/logs/a.log"};
    return batteryTests(inputs, system);
}

QStringList names(bool withDomain, bool gate, const LocalSystem &system)
{
    QStringList list;
    for (const Test &test : battery(withDomain, gate, system))
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
    void logOrder();
    void logCommandPrintsAnyName_data();
    void logCommandPrintsAnyName();
    void specialFilesAreNotRead_data();
    void specialFilesAreNotRead();
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

    // Each test knows its row of the table; the log file between 62 and 63 has none.
    QList<int> rows;
    for (const Test &test : battery(true, true, system))
        rows << test.row;
    QList<int> expectedRows;
    for (int row = 1; row <= 71; ++row)
        expectedRows << row << (row == 62 ? QList<int>{0} : QList<int>{});
    QCOMPARE(rows, expectedRows);
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

void TestBattery::logOrder()
{
    // Hidden names first, then digits, capitals and small letters.
    QCOMPARE(sortedLogPaths("/d/", {"b.log", "alpha", "Zeta", ".hidden", "1x", "a.log"}),
             (QStringList{"/d/.hidden", "/d/1x", "/d/Zeta", "/d/a.log", "/d/alpha", "/d/b.log"}));
}

// A log file of any name is listed, shown and printed exactly, and cannot
// break out into the shell.
void TestBattery::logCommandPrintsAnyName_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("shown");
    QTest::newRow("command substitution")
        << QByteArray("x$(touch CANARY)y") << "x\\$(touch CANARY)y";
    QTest::newRow("backquotes") << QByteArray("x`touch CANARY`y") << "x\\`touch CANARY\\`y";
    QTest::newRow("double quote") << QByteArray("a\"; touch CANARY; echo \"")
                                  << "a\\\"; touch CANARY; echo \\\"";
    QTest::newRow("backslash before the quote")
        << QByteArray("a\\\"; touch CANARY #") << "a\\\\\\\"; touch CANARY #";
    QTest::newRow("Latin-1") << QByteArray("caf\xE9.log") << "caf\\xE9.log";
    QTest::newRow("bytes that are not UTF-8 beside a quote and a character")
        << QByteArray("\xFF\xFE\"\xC3\xA9\xE9") << "\\xFF\\xFE\\\"é\\xE9";
}

void TestBattery::logCommandPrintsAnyName()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, shown);
    QTemporaryDir dir;
    const QByteArray file = QFile::encodeName(dir.path()) + '/' + name;
    // QTemporaryDir cannot remove a name that is not UTF-8.
    const auto removeFile = qScopeGuard([&file] { ::unlink(file.constData()); });
    const int fd = ::open(file.constData(), O_CREAT | O_WRONLY, 0600);
    QVERIFY(fd >= 0 && ::write(fd, "the log\n", 8) == 8 && ::close(fd) == 0);

    const QStringList paths = logFolderPaths(dir.path() + '/');
    QCOMPARE(paths.size(), 1);
    const Test test = logTest(paths[0], thisSystem());
    QCOMPARE(displayNameOf(test), "/bin/sh -c cat \"" + dir.path() + '/' + shown + '"');
    QProcess shell;
    shell.setWorkingDirectory(dir.path());
    shell.start(test.launchPath, test.args);
    QVERIFY(shell.waitForFinished(10000));
    QCOMPARE(shell.readAllStandardError(), QByteArray());
    QCOMPARE(shell.readAllStandardOutput(), QByteArray("the log\n"));
    QVERIFY(!QFile::exists(dir.filePath("CANARY")));
}

// Reading a FIFO, socket or device would not end; files, folders and links to
// them are read as ever.
void TestBattery::specialFilesAreNotRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<std::optional<QString>>("reason");
    const auto notRead = [](const char *kind) {
        return std::optional<QString>(QString("not read: this is %1, not a file").arg(kind));
    };
    QTest::newRow("FIFO") << "fifo" << notRead("a FIFO");
    QTest::newRow("link to a FIFO") << "link to fifo" << notRead("a FIFO");
    QTest::newRow("socket") << "socket" << notRead("a socket");
    QTest::newRow("character device") << "link to /dev/null" << notRead("a character device");
    QTest::newRow("file") << "file" << std::optional<QString>();
    QTest::newRow("link to a folder") << "link to ." << std::optional<QString>();
}

void TestBattery::specialFilesAreNotRead()
{
    QFETCH(QString, kind);
    QFETCH(std::optional<QString>, reason);
    QTemporaryDir dir;
    const QString entry = dir.filePath("entry");
    const QByteArray path = QFile::encodeName(entry);
    QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600) == 0);
    QFile file(entry);
    QLocalServer socket;
    if (kind == "fifo")
        QVERIFY(::mkfifo(path.constData(), 0600) == 0);
    else if (kind == "file")
        QVERIFY(file.open(QIODevice::WriteOnly));
    else if (kind == "socket")
        QVERIFY(socket.listen(entry));
    else
        QVERIFY(::symlink(QFile::encodeName(kind.mid(8)).constData(), path.constData()) == 0);

    const Test test = logTest(entry, thisSystem());
    QCOMPARE(test.notRunBecause, reason);
    QCOMPARE(displayNameOf(test), "/bin/sh -c cat \"" + entry + '"');
}

QTEST_GUILESS_MAIN(TestBattery)
#include "tst_battery.moc"
