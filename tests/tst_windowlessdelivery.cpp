#include "endpoints.h"
#include "httpsserver.h"
#include "testsupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The built program's windowless run, end to end: the real battery, inside the
// private network namespace the suite runs in, delivering to a test server on
// the results server's loopback port. One row per line of the outcome table.

class TestWindowlessDelivery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void outcomes_data();
    void outcomes();
};

void TestWindowlessDelivery::initTestCase()
{
    if (!isolatedOnLoopback())
        QSKIP("runs the real battery: only inside a private network namespace (scripts/test.sh)");
}

// In out, %R stands for the report and %H for the run's folder. The report is
// also found, whole, in the upload and in file, where a row names them; the
// desktop holds a copy only where file says so. A failed upload is one that
// the server answers with 500 and it ends the run with status 1.
void TestWindowlessDelivery::outcomes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<bool>("uploads");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("lastLog"); // none: nothing "could not" at all
    QTest::addColumn<QString>("missing");    // a folder removed before the run

    const auto row = [](const char *name, const QStringList &args, int exitCode,
                        const QByteArray &out, bool uploads, const QString &file = {},
                        const QByteArray &lastLog = {}, const QString &missing = {}) {
        QTest::newRow(name) << args << exitCode << out << uploads << file << lastLog << missing;
    };
    const QByteArray url = "url=https://results.test/r/1\n";
    row("-s", {"-s"}, 0, url, true);
    row("-s -c", {"-s", "-c"}, 0, "%R\n", false);
    row("-s -o ~/f", {"-s", "-o", "~/f"}, 0, "outputFile=%H/home/f\n", false, "home/f");
    row("-s -c -o f", {"-s", "-c", "-o", "f"}, 0, "%R\noutputFile=f\n", false, "cwd/f");
    row("-s -i -c", {"-s", "-i", "-c"}, 0, "%R\n" + url, true);
    row("-s -o unwritable", {"-s", "-o", "/nonexistent/f"}, 0, "outputFile=/nonexistent/f\n", false,
        {}, "could not save diagnostic_results.txt");
    row("upload fails", {"-s"}, 1, "", true, "home/Desktop/diagnostic_results.txt",
        "could not send log, saved to Desktop");
    row("upload fails, no desktop folder", {"-s"}, 1, "", true, "home/diagnostic_results.txt",
        "could not send log, saved to %H/home/diagnostic_results.txt", "home/Desktop");
}

void TestWindowlessDelivery::outcomes()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(bool, uploads);
    QFETCH(QString, file);
    QFETCH(QByteArray, lastLog);
    QFETCH(QString, missing);

    QTemporaryDir root;
    for (const char *folder : {"home/Desktop", "tmp", "cwd"})
        QVERIFY(QDir(root.path()).mkpath(folder));
    if (!missing.isEmpty())
        QVERIFY(QDir(root.filePath(missing)).removeRecursively());
    HttpsServer server;
    QVERIFY(server.start(QString(endpoints::ResultsServerHost).section(u':', 1).toUShort()));
    if (exitCode == 1)
        server.answer = {HttpsServer::reply(500, "oops")};

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", root.filePath("home"));
    env.insert("TMPDIR", root.filePath("tmp"));
    // No display, no proxy, and the default desktop folder, ~/Desktop.
    for (const QString &name : env.keys()) {
        if (name.endsWith("_proxy", Qt::CaseInsensitive) ||
            QStringList{"XDG_CONFIG_HOME", "DISPLAY", "WAYLAND_DISPLAY"}.contains(name))
            env.remove(name);
    }
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(root.filePath("cwd"));
    program.start(VELTRANE_BINARY, args);
    // With the event loop running, so that the server can answer.
    QTRY_VERIFY_WITH_TIMEOUT(program.state() == QProcess::NotRunning, 120000);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);

    const QByteArray printed = program.readAllStandardOutput();
    const QByteArray log = program.readAllStandardError().trimmed();
    out.replace("%H", QFile::encodeName(root.path()));
    lastLog.replace("%H", QFile::encodeName(root.path()));
    const qsizetype at = out.indexOf("%R");
    const QByteArray report =
        at < 0 ? QByteArray() : printed.mid(at, printed.size() - out.size() + 2);
    QCOMPARE(printed, QByteArray(out).replace("%R", report));
    if (lastLog.isEmpty())
        QVERIFY2(!log.contains("could not"), log.constData());
    else
        QCOMPARE(log.mid(log.lastIndexOf('\n') + 1), lastLog);

    QCOMPARE(server.requests.size(), uploads ? 1 : 0);
    // The loopback run's report is far below the upload limit: sent untrimmed.
    QByteArrayList copies;
    if (at >= 0)
        copies.append(report);
    if (uploads)
        copies.append(HttpsServer::uploadedData(server.requests.first()));
    if (QFile copy(root.filePath(file)); !file.isEmpty()) {
        QVERIFY(copy.open(QIODevice::ReadOnly));
        copies.append(copy.readAll());
    }
    for (const QByteArray &copy : copies) {
        QVERIFY(copy.startsWith(QByteArray(45, '-') + "Results for: "));
        QCOMPARE(copy, copies.first());
    }
    if (!file.startsWith("home/Desktop"))
        QVERIFY(!QFile::exists(root.filePath("home/Desktop/diagnostic_results.txt")));
}

QTEST_GUILESS_MAIN(TestWindowlessDelivery)
#include "tst_windowlessdelivery.moc"
