#include "battery.h"
#include "resultblock.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Every role stands for its own name, so a display name reads like the table
// it comes from.
Endpoints roleNamedEndpoints()
{
    Endpoints e;
    e.MyIpName = "MyIpName";
    e.ResolverPrimary = "ResolverPrimary";
    e.ResolverSecondary = "ResolverSecondary";
    e.PublicResolver = "PublicResolver";
    e.ApiHost = "ApiHost";
    e.MonitorHost = "MonitorHost";
    e.BlockPageHost = "BlockPageHost";
    e.CategoryHitHost = "CategoryHitHost";
    e.DebugName = "DebugName";
    e.CdnEchoName = "CdnEchoName";
    e.CdnEchoServer = "CdnEchoServer";
    e.DnsProviderEchoName = "DnsProviderEchoName";
    e.DnsProviderEchoServer = "DnsProviderEchoServer";
    e.RootServer = "RootServer";
    e.PublicNameServer = "PublicNameServer";
    e.ServiceWebHost = "ServiceWebHost";
    e.PaloAltoRouter = "PaloAltoRouter";
    e.SeattleRouter = "SeattleRouter";
    e.LosAngelesRouter = "LosAngelesRouter";
    e.ChicagoRouter = "ChicagoRouter";
    e.NewYorkRouter = "NewYorkRouter";
    e.AshburnRouter = "AshburnRouter";
    e.LondonRouter = "LondonRouter";
    e.MiamiRouter = "MiamiRouter";
    e.SingaporeRouter = "SingaporeRouter";
    e.FrankfurtRouter = "FrankfurtRouter";
    e.HongKongRouter = "HongKongRouter";
    e.AmsterdamRouter = "AmsterdamRouter";
    e.BerlinRouter = "BerlinRouter";
    e.ParisRouter = "ParisRouter";
    e.CopenhagenRouter = "CopenhagenRouter";
    e.DallasRouter = "DallasRouter";
    e.BucharestRouter = "BucharestRouter";
    e.PragueRouter = "PragueRouter";
    e.WarsawRouter = "WarsawRouter";
    e.SydneyRouter = "SydneyRouter";
    e.BlockPageAltHost = "BlockPageAltHost";
    e.WebServerAddress = "WebServerAddress";
    e.BlockedTestAddress = "BlockedTestAddress";
    e.GreyTestAddress = "GreyTestAddress";
    e.GreyTestName = "GreyTestName";
    return e;
}

// A machine that knows only the paths it is given.
LocalSystem fakeSystem(Platform platform, const QStringList &executables,
                       const QStringList &existing = {}, bool root = false)
{
    const QSet<QString> executableSet(executables.begin(), executables.end());
    QSet<QString> existingSet(existing.begin(), existing.end());
    existingSet.unite(executableSet);
    LocalSystem system;
    system.platform = platform;
    system.isRoot = root;
    system.isExecutable = [executableSet](const QString &path) {
        return executableSet.contains(path);
    };
    system.exists = [existingSet](const QString &path) { return existingSet.contains(path); };
    return system;
}

// Where a Debian system with every tool of the battery installed has them.
const QStringList debianTools = {"/bin/sh",
                                 "/bin/ls",
                                 "/bin/cat",
                                 "/bin/ps",
                                 "/usr/bin/dig",
                                 "/usr/bin/nslookup",
                                 "/usr/bin/ping",
                                 "/usr/sbin/traceroute",
                                 "/usr/bin/curl",
                                 "/sbin/ifconfig",
                                 "/usr/bin/netstat",
                                 "/usr/bin/ip",
                                 "/usr/bin/journalctl"};

QStringList without(QStringList list, const QString &removed)
{
    list.removeAll(removed);
    return list;
}

BatteryInputs inputsWith(const std::optional<QString> &testDomain, bool agentGate,
                         const QStringList &logFiles = {})
{
    BatteryInputs inputs;
    inputs.endpoints = roleNamedEndpoints();
    inputs.testDomain = testDomain;
    inputs.agentGate = agentGate;
    inputs.agentLogFiles = logFiles;
    return inputs;
}

QStringList displayNames(const std::vector<Test> &tests)
{
    QStringList names;
    for (const Test &test : tests)
        names.append(commandDisplayName(test.launchPath, test.args, test.comment));
    return names;
}

const QString logDirectory = "/Library/Application Support/Veltrane Ambrix/beacon-logs/";
const QString systemLogPattern = "\"kernel|launchd|vpn|dns|configd|racoon|tirrel\"";

} // namespace

class TestBattery : public QObject
{
    Q_OBJECT

private slots:
    void macTableAsWritten();
    void argumentsStayWhole();
    void counts_data();
    void counts();
    void linuxRows_data();
    void linuxRows();
    void systemLogFollowsTailSize();
    void logPathsSortPlainly();
    void logCommandPrintsAnyName_data();
    void logCommandPrintsAnyName();
    void agentDirectoryIsQuotedForTheShell();
};

void TestBattery::macTableAsWritten()
{
    const QStringList logs = {logDirectory + "ipblock/a.log", logDirectory + "service/z.log"};
    const auto tests =
        batteryTests(inputsWith("example.test", true, logs), fakeSystem(Platform::MacOS, {}));

    const QStringList expected = {
        "/usr/bin/dig +time=10 MyIpName",
        "/usr/sbin/traceroute -I -w 2 example.test",
        "/usr/bin/dig +time=10 example.test",
        "/usr/bin/dig +time=10 example.test @ResolverPrimary",
        "/usr/bin/dig +time=10 example.test @ResolverSecondary",
        "/usr/bin/dig +time=10 example.test @PublicResolver",
        "/usr/sbin/traceroute -I -w 2 ResolverPrimary",
        "/usr/sbin/traceroute -I -w 2 ResolverSecondary",
        "/usr/sbin/traceroute -I -w 2 ApiHost",
        "/usr/sbin/traceroute -I -w 2 MonitorHost",
        "/usr/sbin/traceroute -I -w 2 BlockPageHost",
        "/usr/sbin/traceroute -I -w 2 CategoryHitHost",
        "/usr/bin/dig @ResolverPrimary +time=10 DebugName txt",
        "/usr/bin/dig @ResolverPrimary -p 443 +time=10 DebugName txt",
        "/usr/bin/dig @ResolverPrimary -p 5353 +time=10 DebugName txt",
        "/usr/bin/dig +time=10 DebugName txt",
        "/usr/bin/dig +time=10 CdnEchoName",
        "/usr/bin/dig +time=10 DnsProviderEchoName",
        "/usr/bin/dig @ResolverPrimary +time=10 MyIpName",
        "/usr/bin/dig @CdnEchoServer +time=10 CdnEchoName",
        "/usr/bin/dig @DnsProviderEchoServer +time=10 DnsProviderEchoName",
        "/usr/bin/nslookup -timeout=10 -class=chaos -type=txt hostname.bind. PublicResolver",
        "/usr/bin/nslookup -timeout=10 -class=chaos -type=txt hostname.bind. RootServer",
        "/usr/bin/nslookup -timeout=10 -class=chaos -type=txt hostname.bind. PublicNameServer",
        "/sbin/ping -c 5 ServiceWebHost (ServiceWebHost)",
        "/sbin/ping -c 5 PaloAltoRouter (palo alto router)",
        "/sbin/ping -c 5 SeattleRouter (seattle router)",
        "/sbin/ping -c 5 LosAngelesRouter (los angeles router)",
        "/sbin/ping -c 5 ChicagoRouter (chicago router)",
        "/sbin/ping -c 5 NewYorkRouter (new york router)",
        "/sbin/ping -c 5 AshburnRouter (ashburn router)",
        "/sbin/ping -c 5 LondonRouter (london router)",
        "/sbin/ping -c 5 MiamiRouter (miami router)",
        "/sbin/ping -c 5 SingaporeRouter (singapore router)",
        "/sbin/ping -c 5 FrankfurtRouter (frankfurt router)",
        "/sbin/ping -c 5 HongKongRouter (hong kong router)",
        "/sbin/ping -c 5 AmsterdamRouter (amsterdam router)",
        "/sbin/ping -c 5 BerlinRouter (berlin router)",
        "/sbin/ping -c 5 ParisRouter (paris router)",
        "/sbin/ping -c 5 CopenhagenRouter (copenhagen router)",
        "/sbin/ping -c 5 DallasRouter (dallas router)",
        "/sbin/ping -c 5 BucharestRouter (bucharest router)",
        "/sbin/ping -c 5 PragueRouter (prague router)",
        "/sbin/ping -c 5 AshburnRouter (washington dc router)",
        "/sbin/ping -c 5 WarsawRouter (warsaw router)",
        "/sbin/ping -c 5 SydneyRouter (sydney router)",
        "/bin/ps wwaux",
        "/sbin/ifconfig -a",
        "/usr/sbin/scutil --dns",
        "/usr/sbin/netstat -rn",
        "/usr/bin/curl -Ls BlockPageAltHost/monitor.php",
        "/usr/bin/curl -Ls -c /dev/null MonitorHost/monitor/",
        "/usr/bin/curl -LIs -c /dev/null BlockPageAltHost/",
        "/usr/bin/curl -s BlockPageHost/monitor.php",
        "/usr/bin/curl -s WebServerAddress",
        "/usr/sbin/system_profiler SPSoftwareDataType",
        "/usr/bin/dig example.test @127.0.0.1",
        "/usr/bin/dig @127.0.0.1 DebugName. txt",
        "/bin/ls /var/lib/data/veltrane",
        "/bin/cat /var/lib/data/veltrane/resolv_orig.conf",
        "/bin/sh -c /bin/ls '/Library/Application Support/Veltrane Ambrix'",
        "/bin/sh -c /bin/cat '/Library/Application Support/Veltrane Ambrix/localdomains'",
        "/bin/sh -c cat \"/Library/Application Support/Veltrane Ambrix/beacon-logs/ipblock/a.log\"",
        "/bin/sh -c cat \"/Library/Application Support/Veltrane Ambrix/beacon-logs/service/z.log\"",
        "/bin/sh -c tail -n 15000 /var/log/system.log | egrep -i " + systemLogPattern,
        "/bin/sh -c ping -c 1 -t 1 BlockedTestAddress (Blocked IP)",
        "/bin/sh -c route -n get BlockedTestAddress (Blocked IP)",
        "/bin/sh -c curl -v -m 2 BlockedTestAddress/some/page (Page from Blocked IP)",
        "/bin/sh -c route -n get GreyTestAddress (GreyTestName)",
        "/bin/sh -c curl -v -m 2 GreyTestAddress/favicon.ico (Allowed page from grey IP)",
        "/bin/sh -c curl -v -m 2 GreyTestAddress:8081/favicon.ico (Allowed page from grey IP)",
        "/bin/sh -c curl -v -m 2 GreyTestAddress/malware.htm (Blocked page from grey IP)",
        "/bin/sh -c curl -v -m 2 GreyTestAddress:8081/malware.htm (Blocked page from grey IP)",
    };
    QCOMPARE(displayNames(tests), expected);
}

void TestBattery::argumentsStayWhole()
{
    // Row 7 of each table; no test domain, so it is the second test.
    const auto mac = commonTests(inputsWith(std::nullopt, false), fakeSystem(Platform::MacOS, {}));
    QCOMPARE(mac.at(1).args, (QStringList{"-I", "-w 2", "ResolverPrimary"}));
    const auto onLinux = commonTests(inputsWith(std::nullopt, false),
                                     fakeSystem(Platform::Linux, debianTools, {}, false));
    QCOMPARE(onLinux.at(1).args, (QStringList{"-w 2", "ResolverPrimary"}));
    // The shell rows hand the whole command line over as one argument.
    const auto agent = agentTests(inputsWith(std::nullopt, true), fakeSystem(Platform::MacOS, {}));
    QCOMPARE(agent.at(6).args, (QStringList{"-c", "ping -c 1 -t 1 BlockedTestAddress"}));
}

void TestBattery::counts_data()
{
    QTest::addColumn<Platform>("platform");
    QTest::addColumn<bool>("withDomain");
    QTest::addColumn<bool>("gate");
    QTest::addColumn<int>("logFiles");
    QTest::addColumn<int>("expected");

    for (const auto &[platform, name] :
         {std::pair{Platform::MacOS, "macOS"}, std::pair{Platform::Linux, "Linux"}}) {
        const QByteArray p(name);
        QTest::newRow(p + ": no domain, no agent") << platform << false << false << 0 << 51;
        QTest::newRow(p + ": domain, no agent") << platform << true << false << 0 << 56;
        QTest::newRow(p + ": agent, no domain") << platform << false << true << 0 << 51 + 14;
        QTest::newRow(p + ": agent and domain") << platform << true << true << 0 << 56 + 15;
        QTest::newRow(p + ": three log files") << platform << true << true << 3 << 56 + 15 + 3;
        // Log files found while the gate is shut print nothing.
        QTest::newRow(p + ": logs, gate shut") << platform << false << false << 3 << 51;
    }
}

void TestBattery::counts()
{
    QFETCH(Platform, platform);
    QFETCH(bool, withDomain);
    QFETCH(bool, gate);
    QFETCH(int, logFiles);
    QFETCH(int, expected);

    QStringList logs;
    for (int i = 0; i < logFiles; ++i)
        logs.append(logDirectory + QString("probe/%1.log").arg(i));
    const auto domain = withDomain ? std::optional<QString>("example.test") : std::nullopt;
    const auto tests =
        batteryTests(inputsWith(domain, gate, logs), fakeSystem(platform, debianTools));
    QCOMPARE(int(tests.size()), expected);
}

void TestBattery::linuxRows_data()
{
    QTest::addColumn<QStringList>("executables");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<bool>("root");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("expected");

    const QStringList none;
    const QStringList journal = {"/var/log/journal"};
    QTest::newRow("row 1 where written")
        << debianTools << none << false << 1 << "/usr/bin/dig +time=10 MyIpName";
    QTest::newRow("ping found in /usr/bin") << debianTools << none << false << 25
                                            << "/usr/bin/ping -c 5 ServiceWebHost (ServiceWebHost)";
    QTest::newRow("row 44") << debianTools << none << false << 44
                            << "/usr/bin/ping -c 5 AshburnRouter (washington dc router)";
    QTest::newRow("first directory of the list wins")
        << debianTools + QStringList{"/usr/sbin/ping"} << none << false << 26
        << "/usr/sbin/ping -c 5 PaloAltoRouter (palo alto router)";
    QTest::newRow("$PATH directories are not searched")
        << without(debianTools, "/usr/bin/ping") + QStringList{"/opt/bin/ping"} << none << false
        << 25 << "/sbin/ping -c 5 ServiceWebHost (ServiceWebHost)";
    QTest::newRow("trace as a user: UDP probes")
        << debianTools << none << false << 2 << "/usr/sbin/traceroute -w 2 example.test";
    QTest::newRow("trace as root: ICMP probes")
        << debianTools << none << true << 7 << "/usr/sbin/traceroute -I -w 2 ResolverPrimary";
    QTest::newRow("ifconfig") << debianTools << none << false << 48 << "/sbin/ifconfig -a";
    QTest::newRow("no ifconfig: ip") << without(debianTools, "/sbin/ifconfig") << none << false
                                     << 48 << "/usr/bin/ip address show";
    QTest::newRow("neither: the written tool fails to launch")
        << without(without(debianTools, "/sbin/ifconfig"), "/usr/bin/ip") << none << false << 48
        << "/sbin/ifconfig -a";
    QTest::newRow("netstat") << debianTools << none << false << 50 << "/usr/bin/netstat -rn";
    QTest::newRow("no netstat: ip") << without(debianTools, "/usr/bin/netstat") << none << false
                                    << 50 << "/usr/bin/ip route show";
    QTest::newRow("resolv.conf") << debianTools << none << false << 49
                                 << "/bin/sh -c cat /etc/resolv.conf";
    QTest::newRow("resolv.conf and systemd-resolved's links")
        << debianTools + QStringList{"/usr/bin/resolvectl"} << QStringList{"/run/systemd/resolve"}
        << false << 49 << "/bin/sh -c cat /etc/resolv.conf; resolvectl dns";
    QTest::newRow("resolved's folder without its tool")
        << debianTools << QStringList{"/run/systemd/resolve"} << false << 49
        << "/bin/sh -c cat /etc/resolv.conf";
    QTest::newRow("journal") << debianTools << journal << false << 63
                             << "/bin/sh -c journalctl -q --no-pager -n 15000 | tail -n 15000 | "
                                "grep -E -i " +
                                    systemLogPattern;
    QTest::newRow("syslog") << without(debianTools, "/usr/bin/journalctl")
                            << QStringList{"/var/log/syslog", "/var/log/messages"} << false << 63
                            << "/bin/sh -c tail -n 15000 /var/log/syslog | grep -E -i " +
                                   systemLogPattern;
    QTest::newRow("journalctl without a journal")
        << debianTools << QStringList{"/var/log/messages"} << false << 63
        << "/bin/sh -c tail -n 15000 /var/log/messages | grep -E -i " + systemLogPattern;
    QTest::newRow("row 64") << debianTools << none << false << 64
                            << "/bin/sh -c ping -c 1 -W 1 BlockedTestAddress (Blocked IP)";
    QTest::newRow("row 65") << debianTools << none << false << 65
                            << "/bin/sh -c ip route get BlockedTestAddress (Blocked IP)";
    QTest::newRow("row 67") << debianTools << none << false << 67
                            << "/bin/sh -c ip route get GreyTestAddress (GreyTestName)";
    QTest::newRow("agent paths as written")
        << debianTools << none << false << 61
        << "/bin/sh -c /bin/ls '/Library/Application Support/Veltrane Ambrix'";
}

void TestBattery::linuxRows()
{
    QFETCH(QStringList, executables);
    QFETCH(QStringList, existing);
    QFETCH(bool, root);
    QFETCH(int, row);
    QFETCH(QString, expected);

    // With a test domain, the gate open and no log files, row n is test n.
    const auto tests = batteryTests(inputsWith("example.test", true),
                                    fakeSystem(Platform::Linux, executables, existing, root));
    QCOMPARE(displayNames(tests).at(row - 1), expected);
}

void TestBattery::systemLogFollowsTailSize()
{
    BatteryInputs inputs = inputsWith(std::nullopt, true);
    inputs.tailSize = 200;
    // Row 63 is the seventh agent test without a test domain and log files.
    const auto mac = agentTests(inputs, fakeSystem(Platform::MacOS, {}));
    QCOMPARE(mac.at(5).args.at(1),
             "tail -n 200 /var/log/system.log | egrep -i " + systemLogPattern);
    const auto onLinux =
        agentTests(inputs, fakeSystem(Platform::Linux, debianTools, {"/run/systemd/journal"}));
    QCOMPARE(onLinux.at(5).args.at(1),
             "journalctl -q --no-pager -n 200 | tail -n 200 | grep -E -i " + systemLogPattern);
}

void TestBattery::logPathsSortPlainly()
{
    // Hidden names first, then digits, capitals and small letters.
    QCOMPARE(sortedLogPaths("/d/", {"b.log", "alpha", "Zeta", ".hidden", "1x", "a.log"}),
             (QStringList{"/d/.hidden", "/d/1x", "/d/Zeta", "/d/a.log", "/d/alpha", "/d/b.log"}));
}

void TestBattery::logCommandPrintsAnyName_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("ordinary") << "beacon.log";
    QTest::newRow("command substitution") << "x$(touch CANARY)y.log";
    QTest::newRow("backquotes") << "x`touch CANARY`y.log";
    QTest::newRow("double quote") << "a\"; touch CANARY; echo \".log";
    QTest::newRow("backslash before the quote") << "a\\\"; touch CANARY #.log";
    QTest::newRow("variable") << "$HOME.log";
    QTest::newRow("single quote and blanks") << "it's a log";
    QTest::newRow("line break") << "two\nlines.log";
}

void TestBattery::logCommandPrintsAnyName()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("the log itself\n");
    file.close();

    QProcess shell;
    shell.setWorkingDirectory(dir.path());
    shell.start("/bin/sh", {"-c", logCommand(dir.filePath(name))});
    QVERIFY(shell.waitForFinished(10000));
    QCOMPARE(shell.readAllStandardError(), QByteArray());
    QCOMPARE(shell.readAllStandardOutput(), QByteArray("the log itself\n"));
    QVERIFY(!QFile::exists(dir.filePath("CANARY")));
}

void TestBattery::agentDirectoryIsQuotedForTheShell()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString install = dir.filePath("it's $(touch CANARY)");
    QVERIFY(QDir().mkpath(install));
    QFile localDomains(install + "/localdomains");
    QVERIFY(localDomains.open(QIODevice::WriteOnly));
    localDomains.write("corp.example\n");
    localDomains.close();

    BatteryInputs inputs = inputsWith(std::nullopt, true);
    inputs.agentPaths.installDirectory = install;
    const auto tests = agentTests(inputs, fakeSystem(Platform::MacOS, {}));
    // Rows 61 and 62: the folder's listing and the local domains.
    for (const auto &[index, output] :
         {std::pair{3, "localdomains\n"}, std::pair{4, "corp.example\n"}}) {
        QProcess shell;
        shell.setWorkingDirectory(dir.path());
        shell.start(tests.at(index).launchPath, tests.at(index).args);
        QVERIFY(shell.waitForFinished(10000));
        QCOMPARE(shell.readAllStandardOutput(), QByteArray(output));
    }
    QVERIFY(!QFile::exists(dir.filePath("CANARY")));
}

QTEST_GUILESS_MAIN(TestBattery)
#include "tst_battery.moc"
