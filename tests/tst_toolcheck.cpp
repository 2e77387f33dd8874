#include "toolcheck.h"

#include <QSet>
#include <QTest>

namespace {

// A machine with executable files at exactly these paths, separated by blanks.
LocalSystem machine(Platform platform, const QString &files)
{
    const QStringList list = files.split(u' ', Qt::SkipEmptyParts);
    const QSet<QString> paths(list.begin(), list.end());
    const auto has = [paths](const QString &path) { return paths.contains(path); };
    return {platform, false, has, has};
}

QStringList missingNotices(Platform platform, const QString &files)
{
    QStringList notices;
    for (const BatteryTool &tool : missingTools(machine(platform, files)))
        notices.append(missingToolNotice(tool));
    return notices;
}

} // namespace

class TestToolCheck : public QObject
{
    Q_OBJECT

private slots:
    void notices();
    void everyStartedToolHasAPackage();
};

void TestToolCheck::notices()
{
    // Where Debian 12 puts them.
    QCOMPARE(missingNotices(Platform::Linux, "/usr/bin/dig /usr/bin/traceroute /usr/bin/nslookup "
                                             "/usr/bin/ping /usr/bin/ps /usr/bin/ip /usr/bin/curl"),
             QStringList());
    QCOMPARE(missingNotices(Platform::MacOS, ""), QStringList());
    // In the battery's order.
    QCOMPARE(missingNotices(Platform::Linux, ""),
             (QStringList{"dig not found: install bind9-dnsutils for a complete report",
                          "traceroute not found: install traceroute for a complete report",
                          "nslookup not found: install bind9-dnsutils for a complete report",
                          "ping not found: install iputils-ping for a complete report",
                          "ps not found: install procps for a complete report",
                          "ip not found: install iproute2 for a complete report",
                          "curl not found: install curl for a complete report"}));
}

// A tool added to the battery needs a package here, or its absence goes unnamed.
void TestToolCheck::everyStartedToolHasAPackage()
{
    BatteryInputs inputs;
    inputs.testDomain = "example.test";
    inputs.agentGate = true;
    inputs.agentLogFiles = {"/logs/a.log"};
    // With ip alone the interface and route rows start ip rather than net-tools.
    QSet<QString> started;
    for (const Test &test : batteryTests(inputs, machine(Platform::Linux, "/usr/bin/ip")))
        started.insert(test.launchPath.section(u'/', -1));

    QSet<QString> named = {"sh", "cat", "ls"};
    for (const BatteryTool &tool : batteryTools())
        named.insert(tool.name());
    QCOMPARE(started, named);
}

QTEST_GUILESS_MAIN(TestToolCheck)
#include "tst_toolcheck.moc"
