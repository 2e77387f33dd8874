#include "battery.h"
#include "findings.h"
#include "outputhead.h"

#include <QFile>
#include <QTest>

namespace {

QByteArray testData(const QString &name)
{
    QFile file(QStringLiteral(VELTRANE_SOURCE_DIR "/tests/data/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Rows as in data/findings.txt; each command points at "host<row>".
std::vector<CommandOutput> outputs(const QString &described)
{
    std::vector<CommandOutput> list;
    for (const QString &item : described.split(u' ')) {
        const int row = item.section(u'=', 0, 0).toInt();
        const QString name = "findings/" + item.section(u'=', 1);
        list.push_back({BatteryRow(row), QStringLiteral("/usr/bin/tool -x host%1").arg(row),
                        testData(name + ".out"), testData(name + ".err"), name.endsWith(u'!')});
        if (list.back().couldNotStart)
            list.back().stdErr = "could not start /usr/bin/tool: execve: No such file or directory";
    }
    return list;
}

const FindingContext context{"127.0.0.10",
                             "127.0.0.20",
                             "debug.veltrane.test",
                             "example.test",
                             true,
                             {{BatteryRow::PingServiceWebHost, "www"},
                              {BatteryRow::PingPaloAlto, "palo alto"},
                              {BatteryRow::PingSeattle, "seattle"},
                              {BatteryRow::PingLosAngeles, "los angeles"},
                              {BatteryRow::PingChicago, "chicago"}}};

} // namespace

class TestFindings : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void mostImportantFirst();
    void contextFromBattery();
    void outputHead_data();
    void outputHead();
};

void TestFindings::lines_data()
{
    QTest::addColumn<QString>("outputs");
    QTest::addColumn<QString>("expected");
    QStringList lines =
        QString::fromUtf8(testData("findings.txt")).split(u'\n', Qt::SkipEmptyParts);
    lines.removeIf([](const QString &line) { return line.startsWith(u'#'); });
    QVERIFY(lines.size() > 30);
    for (qsizetype i = 0; i + 1 < lines.size(); i += 2)
        QTest::newRow(qPrintable(lines[i])) << lines[i] << lines[i + 1];
}

void TestFindings::lines()
{
    QFETCH(QString, outputs);
    QFETCH(QString, expected);
    const QString text = findingsText(findings(::outputs(outputs), context));
    QVERIFY2(text.split(u'\n').contains(expected), qPrintable(text));
}

// Found in the order ports, resolvers, tools; shown with those worth a look
// first, in the order found.
void TestFindings::mostImportantFirst()
{
    const auto found = findings(
        outputs("13=dig-txt-answered 14=dig-txt-answered 15=dig-txt-answered 49=resolvconf"),
        context);
    QCOMPARE(findingsText(found), "look The system asks 10.255.255.53 (not one of the service's)\n"
                                  "look Could not start: resolvectl\n"
                                  "ok   The service's resolver 127.0.0.10 by port: 53 answered, "
                                  "443 answered, 5353 answered\n");
    QCOMPARE(found.at(0).rows, QList{BatteryRow::ResolverSettings});
    QCOMPARE(found.at(2).rows, (QList{BatteryRow::DebugNamePort53, BatteryRow::DebugNamePort443,
                                      BatteryRow::DebugNamePort5353}));
}

void TestFindings::contextFromBattery()
{
    BatteryInputs inputs;
    inputs.endpoints = builtInEndpoints();
    const FindingContext context = findingContext(inputs, commonTests(inputs, thisSystem()));
    QCOMPARE(context.resolverPrimary, "127.0.0.10");
    QCOMPARE(context.pingNames.size(), 22);
    QCOMPARE(context.pingNames.value(BatteryRow::PingServiceWebHost), "www.veltrane.test");
    QCOMPARE(context.pingNames.value(BatteryRow::PingWashington), "washington dc");
}

// What the window shows of a block beside its finding.
void TestFindings::outputHead_data()
{
    QTest::addColumn<QByteArray>("stdOut");
    QTest::addColumn<QByteArray>("stdErr");
    QTest::addColumn<QString>("expected");
    QTest::newRow("out before err, blanks left out")
        << QByteArray("\n  one  \r\n\n") << QByteArray("two\n") << "  one\ntwo";
    QTest::newRow("four lines at most")
        << QByteArray("1\n2\n3\n") << QByteArray("4\n5\n") << "1\n2\n3\n4";
    QTest::newRow("a long line cut")
        << QByteArray(200, 'x') << QByteArray() << QString(159, u'x') + u'\u2026';
    QTest::newRow("nothing printed") << QByteArray(" \n") << QByteArray() << "";
}

void TestFindings::outputHead()
{
    QFETCH(QByteArray, stdOut);
    QFETCH(QByteArray, stdErr);
    QFETCH(QString, expected);
    QCOMPARE(::outputHead({BatteryRow::None, "t", stdOut, stdErr}), expected);
}

QTEST_GUILESS_MAIN(TestFindings)
#include "tst_findings.moc"
