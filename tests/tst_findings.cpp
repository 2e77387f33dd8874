#include "battery.h"
#include "findings.h"

#include <QFile>
#include <QTest>

namespace {

QByteArray captured(const QString &name)
{
    QFile file(QStringLiteral(VELTRANE_SOURCE_DIR "/tests/data/findings/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// "13=dig-timedout" gives row 13 the streams captured under that name, "13=!"
// a tool that could not start. Each command points at "host<row>".
std::vector<CommandOutput> outputs(const QString &described)
{
    std::vector<CommandOutput> list;
    for (const QString &item : described.split(u' ')) {
        const int row = item.section(u'=', 0, 0).toInt();
        const QString name = item.section(u'=', 1);
        CommandOutput output{
            row, QStringLiteral("/usr/bin/tool -x host%1").arg(row), {}, {}, false};
        if (name == u'!') {
            output.couldNotStart = true;
            output.stdErr = "could not start /usr/bin/tool: execve: No such file or directory";
        } else {
            output.stdOut = captured(name + ".out");
            output.stdErr = captured(name + ".err");
        }
        list.push_back(output);
    }
    return list;
}

FindingContext context()
{
    return {
        "127.0.0.10",
        "127.0.0.20",
        "debug.veltrane.test",
        "example.test",
        true,
        {{25, "www"}, {26, "palo alto"}, {27, "seattle"}, {28, "los angeles"}, {29, "chicago"}}};
}

} // namespace

class TestFindings : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void mostImportantFirst();
    void contextFromBattery();
};

void TestFindings::lines_data()
{
    QTest::addColumn<QString>("outputs");
    QTest::addColumn<QString>("expected");

    const QString ports = "The service's resolver 127.0.0.10 by port: ";
    QTest::newRow("port 53 blocked, 443 answers")
        << "13=dig-timedout 14=dig-txt-answered 15=dig-refused"
        << "look " + ports +
               "53 no answer in time, 443 answered, 5353 refused: port 53 does not get through on "
               "this network while 443 does";
    QTest::newRow("an answer of any status got through")
        << "13=dig-unreachable 14=dig-nxdomain 15=!"
        << "look " + ports +
               "53 unreachable, 443 answered NXDOMAIN, 5353 could not tell (tool could not start): "
               "port 53 does not get through on this network while 443 does";
    QTest::newRow("macOS timeout")
        << "13=macos-dig-timedout 14=dig-refused 15=dig-prohibit"
        << "look " + ports + "53 no answer in time, 443 refused, 5353 failed (permission denied)";
    QTest::newRow("port 53 gets through with an error")
        << "13=dig-nxdomain 14=dig-txt-answered 15=dig-txt-answered"
        << "look " + ports + "53 answered NXDOMAIN, 443 answered, 5353 answered";

    const QString debug = "debug.veltrane.test through the system's resolver: ";
    QTest::newRow("same path") << "16=dig-txt-answered 13=dig-txt-answered"
                               << "ok   " + debug +
                                      "the same answer as directly at the service's resolver";
    QTest::newRow("system path fails") << "16=dig-timedout 13=dig-txt-answered"
                                       << "look " + debug +
                                              "no answer in time; directly at the service's "
                                              "resolver: \"resolver=127.0.0.10 port=53\"";
    QTest::newRow("answers differ")
        << "16=dig-a-answered 13=dig-txt-answered"
        << "look " + debug +
               "127.0.0.5; directly at the service's resolver: \"resolver=127.0.0.10 port=53\"";

    QTest::newRow("resolv.conf") << "49=resolvconf"
                                 << "look The system asks 10.255.255.53 (not one of the service's)";
    QTest::newRow("resolvectl")
        << "49=resolvconf-resolvectl"
        << "ok   The system asks 127.0.0.20 (the service's secondary), 192.168.1.1 "
           "(not one of the service's), fd00::1 (not one of the service's); "
           "resolv.conf names 127.0.0.53";
    QTest::newRow("scutil")
        << "49=macos-scutil"
        << "ok   The system asks 127.0.0.10 (the service's primary), 192.168.1.1 "
           "(not one of the service's)";
    QTest::newRow("no resolver") << "49=dig-refused"
                                 << "?    The system's resolver settings: they name no resolver";

    QTest::newRow("test domain")
        << "3=dig-a-answered 4=dig-a-answered 5=dig-nxdomain 6=dig-timedout"
        << "look Test domain example.test: system 127.0.0.5; service primary 127.0.0.5; service "
           "secondary answered NXDOMAIN; public resolver no answer in time";

    QTest::newRow("agent resolver") << "58=dig-txt-answered"
                                    << "ok   The agent's local resolver 127.0.0.1: answered";
    const QString refused = "failed (Failed to connect to 127.0.0.77 port 80 after 0 ms: Couldn't "
                            "connect to server)";
    QTest::newRow("agent blocks")
        << "64=ping-noreply 66=curl-v-refused 68=curl-v-ok"
        << "ok   The agent's checks: blocked address ping no reply; blocked address page " +
               refused + "; grey allowed page :80 200 OK";
    QTest::newRow("agent checks")
        << "64=ping-noreply 66=curl-v-refused 68=curl-v-ok 69=curl-v-refused 70=curl-v-ok 71=!"
        << "look The agent's checks: blocked address ping no reply; blocked address page " +
               refused + "; grey allowed page :80 200 OK; grey allowed page :8081 " + refused +
               " (expected allowed); grey blocked page :80 200 OK (expected blocked); grey blocked "
               "page :8081 could not tell (tool could not start)";

    QTest::newRow("web checks")
        << "51=curl-s-page 52=runner-stopped 53=curl-LIs-ok 54=none 55=!"
        << "look Web checks: host51 answered \u201cVeltrane monitor\u201d; host52 stopped after "
           "300 seconds without finishing; host53 200 OK; host54 printed nothing; host55 could "
           "not tell (tool could not start) (curl -s prints no reason when a transfer fails)";

    QTest::newRow("pings")
        << "25=ping-replied 26=ping-loss 27=ping-noreply 28=ping-noname 29=macos-ping-loss "
           "30=ping-unreachable 31=macos-ping-noname"
        // Averages 0.166, 0.311 and 13.278 ms.
        << "look Pings: 3 of 7 answered; 40% lost: palo alto; no reply: seattle; failed (Temporary "
           "failure in name resolution): los angeles; 20% lost: chicago; failed (No route to "
           "host): host30; failed (Unknown host): host31; lowest average round trips: palo alto "
           "0.2 ms, www 0.3 ms, chicago 13.3 ms";
    QTest::newRow("no names on loopback")
        << "25=ping-noname 26=ping-noname 27=ping-noname 28=ping-noname 29=ping-noname"
        << "look Pings: 0 of 5 answered; failed (Temporary failure in name resolution): www, palo "
           "alto, seattle and 2 more";
    QTest::newRow("pings fine") << "25=ping-replied 26=ping-replied"
                                << "ok   Pings: 2 of 2 answered; lowest average round trips: palo "
                                   "alto 0.3 ms, www 0.3 ms";

    QTest::newRow("traceroutes")
        << "7=trace-reached 8=trace-notreached 9=trace-noname 10=trace-unreachable "
           "11=macos-trace-reached 12=!"
        << "look Traceroutes: reached in 1 hop: host7; not reached (no hop answered): host8; "
           "failed (Temporary failure in name resolution): host9; failed (No route to host): "
           "host10; reached in 3 hops: host11; could not tell (tool could not start): host12";

    QTest::newRow("tools not started") << "12=! 49=resolvconf 50=!"
                                       << "look Could not start: tool, resolvectl";
}

void TestFindings::lines()
{
    QFETCH(QString, outputs);
    QFETCH(QString, expected);
    const QString text = findingsText(findings(::outputs(outputs), context()));
    QVERIFY2(text.split(u'\n').contains(expected), qPrintable(text));
}

void TestFindings::mostImportantFirst()
{
    // Found in the order ports, resolvers, tools; shown with those worth a
    // look first, in the order found.
    const auto found = findings(
        outputs("13=dig-txt-answered 14=dig-txt-answered 15=dig-txt-answered 49=resolvconf"),
        context());
    QCOMPARE(findingsText(found), "look The system asks 10.255.255.53 (not one of the service's)\n"
                                  "look Could not start: resolvectl\n"
                                  "ok   The service's resolver 127.0.0.10 by port: 53 answered, "
                                  "443 answered, 5353 answered\n");
    QCOMPARE(found.at(0).rows, QList<int>{49});
    QCOMPARE(found.at(2).rows, (QList<int>{13, 14, 15}));
}

void TestFindings::contextFromBattery()
{
    BatteryInputs inputs;
    inputs.endpoints = builtInEndpoints();
    const FindingContext context = findingContext(inputs, commonTests(inputs, thisSystem()));
    QCOMPARE(context.resolverPrimary, "127.0.0.10");
    QCOMPARE(context.pingNames.size(), 22);
    QCOMPARE(context.pingNames.value(25), "www.veltrane.test");
    QCOMPARE(context.pingNames.value(44), "washington dc");
}

QTEST_GUILESS_MAIN(TestFindings)
#include "tst_findings.moc"
