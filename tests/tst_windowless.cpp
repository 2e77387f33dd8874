#include "battery.h"
#include "endpoints.h"
#include "help.h"
#include "httpsserver.h"
#include "resultblock.h"
#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <unistd.h>

namespace {

QStringList blockNames(const QString &report)
{
    QStringList names;
    for (const QString &block : report.split(blockSeparator, Qt::SkipEmptyParts))
        names << block.section(u'\n', 0, 0).remove(0, QString("Results for: ").size());
    return names;
}

// What the battery table gives for a run with the agent tests on this machine.
QStringList expectedNames(const QString &testDomain)
{
    BatteryInputs inputs;
    inputs.endpoints = builtInEndpoints();
    inputs.agentGate = true;
    inputs.testDomain = testDomain;
    QStringList names;
    for (const Test &test : batteryTests(inputs, thisSystem()))
        names << commandDisplayName(test.launchPath, test.args, test.comment);
    return names;
}

} // namespace

// The built program without its window, end to end: the real battery, inside
// the private network namespace the suite runs in, delivering to a test server
// on the results server's loopback port. One row per way a run ends.
class TestWindowless : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void outcomes_data();
    void outcomes();
};

void TestWindowless::initTestCase()
{
    if (!isolatedOnLoopback())
        QSKIP("runs the real battery: only inside a private network namespace (scripts/test.sh)");
    if (QFileInfo::exists(AgentPaths().installDirectory))
        QSKIP("the endpoint agent is installed here, which changes the battery");
}

// In out, %R stands for the report and %H for the run's folder. The report is
// also found, whole, in the upload and in file, where a row names them. A
// failed upload is one that the server answers with 500.
void TestWindowless::outcomes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<int>("uploads");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("log");
    const auto row = [](const QStringList &args, int exitCode, const QByteArray &out, int uploads,
                        const QString &file = {}, const QByteArray &log = {}) {
        QTest::newRow(qPrintable(args.join(u' ')))
            << args << exitCode << out << uploads << file << log;
    };
    const QByteArray url = "url=https://results.test/r/1\n";
    const auto help = helpOutput(endpoints::ServiceDomain, endpoints::ResultsServerHost).toUtf8();
    row({"-s", "-h"}, 0, help, 0);
    // Nothing runs, nothing is sent: one line says why.
    row({"-s", "-c", "--ouput", "-o"}, 2, "", 0, {}, "-o/--output needs a file name (see -h)");
    const QByteArray noDisplay = "the window needs a display; -s runs the tests without one";
    row({}, 2, "", 0, {}, noDisplay);
    row({"-s", "-psn_0_1"}, 2, "", 0, {}, noDisplay);
    row({"-s"}, 0, url, 1);
    row({"-s", "-c", "-d", "probe.veltrane.test", "--amx"}, 0, "%R\n", 0);
    row({"-s", "-o", "~/f"}, 0, "outputFile=%H/home/f\n", 0, "home/f");
    row({"-s", "-c", "-o", "f"}, 0, "%R\noutputFile=f\n", 0, "cwd/f");
    row({"-s", "-i", "-c"}, 0, "%R\n" + url, 1);
    row({"-s", "fails"}, 1, "", 1, "home/Desktop/diagnostic_results.txt",
        "could not send log, saved to Desktop");
    row({"-s", "fails", "no desktop"}, 1, "", 1, "home/diagnostic_results.txt",
        "could not send log, saved to %H/home/diagnostic_results.txt");
    row({"-s", "-c", "broken pipe"}, 1, "", 0, "home/Desktop/diagnostic_results.txt",
        "saved the report to Desktop instead");
    // As in "-c -o f | head -1": f is written all the same. A closed descriptor
    // must not be taken by a file that the program opens.
    row({"-s", "-c", "-o", "f", "closed stdout"}, 1, "", 0, "cwd/f",
        "could not write the report to standard output: Bad file descriptor");
}

void TestWindowless::outcomes()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(int, uploads);
    QFETCH(QString, file);
    QFETCH(QByteArray, log);

    QTemporaryDir root;
    for (const char *folder : {"home/Desktop", "tmp", "cwd"})
        QVERIFY(QDir(root.path()).mkpath(folder));
    if (args.contains("no desktop"))
        QVERIFY(QDir(root.filePath("home/Desktop")).removeRecursively());
    HttpsServer server;
    QVERIFY(server.start(QString(endpoints::ResultsServerHost).section(u':', 1).toUShort()));
    if (args.contains("fails"))
        server.answer = {HttpsServer::reply(500, "oops")};

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", root.filePath("home"));
    env.insert("TMPDIR", root.filePath("tmp"));
    // No display, no proxy, and the default desktop folder, ~/Desktop.
    for (const QString &name : env.keys()) {
        if (name.endsWith("_proxy", Qt::CaseInsensitive) ||
            QStringList{"XDG_CONFIG_HOME", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}
                .contains(name))
            env.remove(name);
    }
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(root.filePath("cwd"));
    if (args.contains("closed stdout"))
        program.setChildProcessModifier([] { ::close(STDOUT_FILENO); });
    if (args.contains("broken pipe")) {
        program.setChildProcessModifier([] {
            int ends[2];
            if (::pipe(ends) == 0 && ::dup2(ends[1], STDOUT_FILENO) >= 0)
                ::close(ends[0]);
        });
    }
    program.start(VELTRANE_BINARY, args);
    // With the event loop running, so that the server can answer.
    QTRY_VERIFY_WITH_TIMEOUT(program.state() == QProcess::NotRunning, 120000);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);

    const QByteArray printed = program.readAllStandardOutput();
    const QByteArray errors = program.readAllStandardError().trimmed();
    out.replace("%H", QFile::encodeName(root.path()));
    const qsizetype at = out.indexOf("%R");
    const QByteArray report =
        at < 0 ? QByteArray() : printed.mid(at, printed.size() - out.size() + 2);
    QCOMPARE(printed, QByteArray(out).replace("%R", report));
    QCOMPARE(errors.mid(errors.lastIndexOf('\n') + 1),
             log.replace("%H", QFile::encodeName(root.path())));
    QCOMPARE(server.requests.size(), uploads);

    QByteArrayList copies;
    if (at >= 0)
        copies << report;
    if (uploads)
        copies << HttpsServer::uploadedData(server.requests.first());
    if (QFile copy(root.filePath(file)); !file.isEmpty()) {
        QVERIFY(copy.open(QIODevice::ReadOnly));
        copies << copy.readAll();
    }
    for (const QByteArray &copy : copies) {
        QVERIFY(copy.startsWith(QByteArray(45, '-') + "Results for: "));
        QCOMPARE(copy, copies.first());
    }
    if (args.contains("--amx")) {
        // Every row ran its tool, in start order: nothing failed to start or hung.
        QVERIFY(!report.contains("could not start ") && !report.contains("without finishing"));
        QCOMPARE(blockNames(report), expectedNames("probe.veltrane.test"));
    }
}

QTEST_GUILESS_MAIN(TestWindowless)
#include "tst_windowless.moc"
