// Reading saved reports from the command line: what --read and --compare print
// of good reports, and how each kind of bad input ends.

#include "battery.h"
#include "reportfindings.h"
#include "testsupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <sys/resource.h>

namespace {

struct Outcome
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Outcome program(const QStringList &args)
{
    QProcess process;
    process.start(VELTRANE_BINARY, args);
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

QByteArray testData(const QString &name)
{
    QFile file(QStringLiteral(VELTRANE_SOURCE_DIR "/tests/data/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The name a row of this build's battery has in a report made here.
QString nameOf(BatteryRow row)
{
    BatteryInputs inputs;
    inputs.endpoints = builtInEndpoints();
    for (const Test &test : commonTests(inputs, thisSystem())) {
        if (test.row == row)
            return displayNameOf(test);
    }
    return {};
}

// The block of a row, its command printing output.
QByteArray block(BatteryRow row, const QByteArray &output)
{
    return blockHead(nameOf(row)).toUtf8() + "stdout:\n" + output + "\n";
}

} // namespace

class TestReadReports : public QObject
{
    Q_OBJECT

private slots:
    void batteryOfEitherPlatform_data();
    void batteryOfEitherPlatform();
    void badInput_data();
    void badInput();
    void compareNamesWhatChanged();
    void compareKinds_data();
    void compareKinds();
    void severalReportsAndStrangeBlocks();
    void largeReportInBoundedMemory();

private:
    QString write(const QString &name, const QByteArray &bytes);
    QTemporaryDir dir;
};

QString TestReadReports::write(const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? file.fileName()
                                                                                : QString();
}

// Every block of either platform's battery is known as its row, the test
// domain by the rows that ask for it; the log file stands among the agent's,
// where a tool it could not start is read.
void TestReadReports::batteryOfEitherPlatform_data()
{
    QTest::addColumn<QString>("listing");
    QTest::newRow("macOS") << "battery-macos.txt";
    QTest::newRow("Linux") << "battery-linux.txt";
}

void TestReadReports::batteryOfEitherPlatform()
{
    QFETCH(QString, listing);
    QByteArray report;
    for (const QByteArray &name : testData(listing).split('\n')) {
        if (!name.isEmpty())
            report += blockHead(QString::fromUtf8(name)).toUtf8() + "stdout:\nx\n\n";
        if (name.endsWith("a.log\""))
            report += "stderr:\nsh: 1: cat: not found\n\n";
    }
    const BatteryNames names(builtInEndpoints());
    ReportFindingsReader reader(names);
    reader.feed(report);
    const ReportReading reading = reader.finish();
    QCOMPARE(reading.blocks, 72);
    QCOMPARE(reading.notFromBattery, 0);
    QCOMPARE(reading.testDomain, "probe.test");
    QVERIFY(std::any_of(reading.findings.begin(), reading.findings.end(),
                        [](const Finding &f) { return f.text == "Could not start: cat"; }));
}

// Each ends with status 2 and one line that says what the file is.
void TestReadReports::badInput_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    QByteArray random(1024 * 1024, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(random.data()), random.size() / 4);
    QTest::newRow("empty") << write("empty", {}) << "%1 is empty, not a report";
    QTest::newRow("folder") << dir.path() << "%1 is a folder, not a report";
    QTest::newRow("device") << "/dev/zero"
                            << "%1 is a device, not a report";
    QTest::newRow("text") << write("text", "hello\n") << "%1 holds no report block";
    QTest::newRow("random bytes") << write("random", random) << "%1 holds no report block";
    QTest::newRow("missing") << dir.filePath("none")
                             << "could not read %1: No such file or directory";
}

void TestReadReports::badInput()
{
    QFETCH(QString, file);
    QFETCH(QString, message);
    const QString good = write("good", block(BatteryRow::MyIp, "x"));
    for (const QStringList &args :
         {QStringList{"--read", file}, {"--compare", good, file}, {"-s", "--read", good, file}}) {
        const Outcome outcome = program(args);
        QCOMPARE(outcome.status, 2);
        QCOMPARE(outcome.err, message.arg(file).toUtf8() + '\n');
    }
}

// Port 53 refused, then answered: one line says so; a report against itself
// has no change; the JSON documents parse.
void TestReadReports::compareNamesWhatChanged()
{
    const QByteArray refused = testData("findings/dig-refused.out");
    const QByteArray answered = testData("findings/dig-txt-answered.out");
    const QByteArray rest = block(BatteryRow::DebugNamePort443, answered) +
                            block(BatteryRow::DebugNamePort5353, answered);
    const QString before = write("before", block(BatteryRow::DebugNamePort53, refused) + rest);
    const QString after = write("after", block(BatteryRow::DebugNamePort53, answered) + rest);
    QCOMPARE(program({"--compare", before, after}).out,
             "changed   look \u2192 ok The service's resolver 127.0.0.10 by port: 53 refused, 443 "
             "answered, 5353 answered: port 53 does not get through on this network while 443 "
             "does \u2192 53 answered, 443 answered, 5353 answered\n");
    QCOMPARE(program({"--compare", after, after}).out,
             "no change: the same findings, test domain, account, ticket and blocks\n");

    const QList<QByteArray> lines = program({"--json", "--read", before, after}).out.split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(QJsonDocument::fromJson(lines[1])["file"].toString(), after);
    const QJsonObject finding = QJsonDocument::fromJson(lines[1])["findings"][0].toObject();
    QCOMPARE(finding["level"].toString(), "fine");
    QCOMPARE(finding["rows"][0].toString(), "DebugNamePort53");
    const QJsonDocument comparison =
        QJsonDocument::fromJson(program({"--compare", "--json", before, after}).out);
    QCOMPARE(comparison["changes"].toArray().size(), 1);
    QCOMPARE(comparison["changes"][0]["before"]["level"].toString(), "look");
}

// Each kind of change on a line of its own, the findings' first.
void TestReadReports::compareKinds_data()
{
    QTest::addColumn<QByteArray>("older");
    QTest::addColumn<QByteArray>("newer");
    QTest::addColumn<QByteArray>("lines");
    const QByteArray ports =
        block(BatteryRow::DebugNamePort53, testData("findings/dig-refused.out"));
    const QByteArray trace = block(BatteryRow::TracePrimary, "traceroute to 127.0.0.10");
    QTest::newRow("a finding and a block in each alone")
        << ports << trace
        << QByteArray("gone      look The service's resolver 127.0.0.10 by port: 53 refused\n"
                      "appeared  ?    Traceroutes: could not tell (unexpected output): 127.0.0.10\n"
                      "only in the older report: %ports\n"
                      "only in the newer report: %trace\n");
    QTest::newRow("account and ticket")
        << "Veltrane account: acme\nVeltrane ticket: 7\n" + trace
        << "Veltrane account: acme-corp\n" + trace
        << QByteArray("account: acme \u2192 acme-corp\nticket: 7 \u2192 (none)\n");
}

void TestReadReports::compareKinds()
{
    QFETCH(QByteArray, older);
    QFETCH(QByteArray, newer);
    QFETCH(QByteArray, lines);
    const Outcome outcome = program({"--compare", write("older", older), write("newer", newer)});
    QCOMPARE(outcome.status, 0);
    QCOMPARE(outcome.out, QByteArray(lines)
                              .replace("%ports", nameOf(BatteryRow::DebugNamePort53).toUtf8())
                              .replace("%trace", nameOf(BatteryRow::TracePrimary).toUtf8()));
}

// Each report's findings under its name; blocks of no row are counted.
void TestReadReports::severalReportsAndStrangeBlocks()
{
    const QByteArray trace = block(BatteryRow::TracePrimary, "traceroute to 127.0.0.10");
    const QByteArray strange = blockHead("/bin/strange").toUtf8() + "stdout:\nx\n\n";
    const QString one = write("one", trace + strange);
    const QString two = write("two", strange + trace + strange);
    const QByteArray finding = "?    Traceroutes: could not tell (unexpected output): 127.0.0.10\n";
    const Outcome outcome = program({"--read", one, two});
    QCOMPARE(outcome.status, 0);
    QCOMPARE(outcome.out, "==> " + one.toUtf8() + " <==\n" + finding +
                              "1 block is not from this battery\n\n==> " + two.toUtf8() + " <==\n" +
                              finding + "2 blocks are not from this battery\n");
}

// Two GiB in one block, read as a stream.
void TestReadReports::largeReportInBoundedMemory()
{
    QFile file(write("large", block(BatteryRow::TracePrimary, "traceroute to 127.0.0.10")));
    QVERIFY(file.open(QIODevice::ReadWrite) && file.resize(2LL << 30));
    const Outcome outcome = program({"--read", file.fileName()});
    QCOMPARE(outcome.status, 0);
    QCOMPARE(outcome.out, "?    Traceroutes: could not tell (unexpected output): 127.0.0.10\n");
    // AddressSanitizer's own bookkeeping takes far more than the reading.
#ifndef __SANITIZE_ADDRESS__
    rusage usage = {};
    QCOMPARE(::getrusage(RUSAGE_CHILDREN, &usage), 0);
    QVERIFY2(usage.ru_maxrss < 64 * 1024, qPrintable(QString::number(usage.ru_maxrss)));
#endif
}

QTEST_GUILESS_MAIN(TestReadReports)
#include "tst_readreports.moc"
