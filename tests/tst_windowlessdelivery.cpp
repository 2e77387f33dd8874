#include "endpoints.h"
#include "httpsserver.h"
#include "multipart.h"
#include "trim.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The built program's windowless run, end to end: the real battery, inside the
// private network namespace the suite runs in, delivering to an HTTPS server
// on the results server's loopback port. Runs that meet the same server
// behaviour run side by side in initTestCase; each row then checks one run.

namespace {

constexpr qsizetype maxPostSize = 1000000;
const QByteArray resultsLink = "https://results.test/r/e2e\n";
const QByteArray separator(45, '-');

quint16 resultsServerPort()
{
    return QString(endpoints::ResultsServerHost).section(u':', 1).toUShort();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The data part of an upload body.
QByteArray uploadedData(const QByteArray &body)
{
    const qsizetype headSize = multipartBody(uploadBoundary, "").indexOf("\r\n--0x");
    return body.mid(headSize, body.size() - 110);
}

// One run of the program in folders of its own: home with a desktop folder
// named by the XDG user-dirs file, a temporary folder and a working folder.
struct Run
{
    QString name;
    QStringList args;
    QStringList missingFolders; // relative to the run's folder, removed before the start
    std::unique_ptr<QTemporaryDir> root = std::make_unique<QTemporaryDir>();
    std::unique_ptr<QProcess> program = std::make_unique<QProcess>();
    QByteArray out;
    QByteArray err;
    int exitCode = -1;

    QString path(const QString &relative) const { return root->filePath(relative); }
};

} // namespace

class TestWindowlessDelivery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void uploadPrintsTheLink();
    void consoleAndFileOutputsDoNotUpload_data();
    void consoleAndFileOutputsDoNotUpload();
    void internetUploadsAfterPrinting();
    void failedUploadSavesTheWholeReport_data();
    void failedUploadSavesTheWholeReport();

private:
    Run &add(const QString &name, const QStringList &args, const QStringList &missing = {});
    void runAll(const QStringList &names);
    const Run &run(const QString &name) const;
    // Whether the server received data as the upload of this report.
    bool uploaded(const QList<ReceivedRequest> &requests, const QByteArray &report) const;

    std::vector<std::unique_ptr<Run>> runs;
    QList<ReceivedRequest> succeedingUploads;
    QList<ReceivedRequest> failingUploads;
};

Run &TestWindowlessDelivery::add(const QString &name, const QStringList &args,
                                 const QStringList &missing)
{
    auto run = std::make_unique<Run>();
    run->name = name;
    run->args = args;
    run->missingFolders = missing;
    runs.push_back(std::move(run));
    return *runs.back();
}

const Run &TestWindowlessDelivery::run(const QString &name) const
{
    for (const auto &run : runs) {
        if (run->name == name)
            return *run;
    }
    qFatal("no run named %s", qPrintable(name));
}

void TestWindowlessDelivery::runAll(const QStringList &names)
{
    QList<Run *> started;
    for (const auto &run : runs) {
        if (!names.contains(run->name))
            continue;
        QVERIFY(run->root->isValid());
        for (const char *folder : {"home/Schreibtisch", "config", "tmp", "cwd"})
            QVERIFY(QDir().mkpath(run->path(folder)));
        QFile dirs(run->path("config/user-dirs.dirs"));
        QVERIFY(dirs.open(QIODevice::WriteOnly));
        dirs.write("XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
        dirs.close();
        for (const QString &folder : run->missingFolders)
            QVERIFY(QDir(run->path(folder)).removeRecursively());

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", run->path("home"));
        env.insert("XDG_CONFIG_HOME", run->path("config"));
        env.insert("TMPDIR", run->path("tmp"));
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "http_proxy",
                                 "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            env.remove(name);
        run->program->setProcessEnvironment(env);
        run->program->setWorkingDirectory(run->path("cwd"));
        run->program->start(VELTRANE_BINARY, run->args);
        QVERIFY2(run->program->waitForStarted(), qPrintable(run->name));
        started.append(run.get());
    }
    for (Run *run : started) {
        if (run->program->state() != QProcess::NotRunning) {
            QSignalSpy finished(run->program.get(), &QProcess::finished);
            QVERIFY2(finished.wait(500000), qPrintable(run->name + " did not end"));
        }
        run->out = run->program->readAllStandardOutput();
        run->err = run->program->readAllStandardError();
        run->exitCode =
            run->program->exitStatus() == QProcess::NormalExit ? run->program->exitCode() : -1;
    }
}

bool TestWindowlessDelivery::uploaded(const QList<ReceivedRequest> &requests,
                                      const QByteArray &report) const
{
    const QByteArray expected = report.size() > maxPostSize
                                    ? trimTailData(report, static_cast<std::int32_t>(maxPostSize))
                                    : report;
    for (const ReceivedRequest &request : requests) {
        if (request.path == "/diagnosticsubmit" && uploadedData(request.body) == expected)
            return true;
    }
    return false;
}

void TestWindowlessDelivery::initTestCase()
{
    add("-s", {"-s"});
    add("-s -c", {"-s", "-c"});
    add("-s -o ~/f", {"-s", "-o", "~/f"});
    add("-s -c -o f", {"-s", "-c", "-o", "f"});
    add("-s -o unwritable", {"-s", "-o", "/nonexistent/folder/f"});
    add("-s -i -c", {"-s", "-i", "-c"});
    {
        HttpsServer server;
        QVERIFY(server.start(resultsServerPort()));
        server.setAnswer(Answer::whole(200, resultsLink));
        runAll({"-s", "-s -c", "-s -o ~/f", "-s -c -o f", "-s -o unwritable", "-s -i -c"});
        succeedingUploads = server.requests();
    }

    add("500", {"-s"});
    add("500, no desktop folder", {"-s"}, {"home/Schreibtisch"});
    add("500, no folder at all", {"-s"}, {"home", "tmp"});
    add("500, -i -o f", {"-s", "-i", "-o", "f"});
    {
        HttpsServer server;
        QVERIFY(server.start(resultsServerPort()));
        server.setAnswer(Answer::whole(500, "oops"));
        runAll({"500", "500, no desktop folder", "500, no folder at all", "500, -i -o f"});
        failingUploads = server.requests();
    }

    // Nobody listening at all.
    add("refused", {"-s"});
    runAll({"refused"});
}

void TestWindowlessDelivery::uploadPrintsTheLink()
{
    const Run &run = this->run("-s");
    QCOMPARE(run.exitCode, 0);
    // The reply as it came, its own line break included.
    QCOMPARE(run.out, "url=" + resultsLink + "\n");
    QVERIFY(!QFile::exists(run.path("home/Schreibtisch/diagnostic_results.txt")));
    QVERIFY(!run.err.contains("could not"));
}

// Console and file outputs end the run with status 0 and no upload (the
// server saw only the two uploading runs of the group).
void TestWindowlessDelivery::consoleAndFileOutputsDoNotUpload_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("outputLine");
    QTest::addColumn<bool>("console");
    QTest::addColumn<QByteArray>("log");

    QTest::newRow("-s -c") << "-s -c" << QString() << QByteArray() << true << QByteArray();
    QTest::newRow("-s -o ~/f") << "-s -o ~/f"
                               << "home/f" << QByteArray("outputFile=%1/home/f\n") << false
                               << QByteArray();
    QTest::newRow("-s -c -o f") << "-s -c -o f"
                                << "cwd/f" << QByteArray("outputFile=f\n") << true << QByteArray();
    QTest::newRow("unwritable output file")
        << "-s -o unwritable" << QString() << QByteArray("outputFile=/nonexistent/folder/f\n")
        << false << QByteArray("could not save diagnostic_results.txt\n");
}

void TestWindowlessDelivery::consoleAndFileOutputsDoNotUpload()
{
    QFETCH(QString, name);
    QFETCH(QString, file);
    QFETCH(QByteArray, outputLine);
    QFETCH(bool, console);
    QFETCH(QByteArray, log);

    const Run &run = this->run(name);
    QCOMPARE(run.exitCode, 0);
    outputLine.replace("%1", QFile::encodeName(run.root->path()));

    QByteArray report;
    if (console) {
        // The report and a line break come first, then the outputFile line.
        QVERIFY(run.out.startsWith(separator + "Results for: "));
        QVERIFY(run.out.endsWith("\n" + outputLine));
        report = run.out.chopped(outputLine.size() + 1);
    } else {
        QCOMPARE(run.out, outputLine);
    }
    if (!file.isEmpty()) {
        const QByteArray written = readFile(run.path(file));
        QVERIFY(written.startsWith(separator + "Results for: "));
        if (console)
            QCOMPARE(written, report);
    }
    if (!log.isEmpty())
        QVERIFY2(run.err.contains(log), run.err.constData());
    // The server of the group saw the uploads of "-s" and "-s -i -c" only.
    QCOMPARE(succeedingUploads.size(), 2);
    QVERIFY(!QFile::exists(run.path("home/Schreibtisch/diagnostic_results.txt")));
}

void TestWindowlessDelivery::internetUploadsAfterPrinting()
{
    const Run &run = this->run("-s -i -c");
    QCOMPARE(run.exitCode, 0);
    const QByteArray urlLine = "url=" + resultsLink + "\n";
    QVERIFY(run.out.startsWith(separator + "Results for: "));
    QVERIFY(run.out.endsWith("\n" + urlLine));
    QVERIFY(uploaded(succeedingUploads, run.out.chopped(urlLine.size() + 1)));
}

// A failed upload ends with status 1 and the whole report saved where the
// last log line says.
void TestWindowlessDelivery::failedUploadSavesTheWholeReport_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("savedIn");
    QTest::addColumn<QByteArrayList>("logLines");
    QTest::addColumn<QByteArray>("out");

    const QByteArray fail = "could not save diagnostic_results.txt";
    QTest::newRow("500") << "500"
                         << "home/Schreibtisch"
                         << QByteArrayList{"could not send log, saved to Desktop"} << QByteArray();
    QTest::newRow("refused") << "refused"
                             << "home/Schreibtisch"
                             << QByteArrayList{"could not send log, saved to Desktop"}
                             << QByteArray();
    QTest::newRow("no desktop folder")
        << "500, no desktop folder"
        << "home"
        << QByteArrayList{fail, "could not send log, saved to %1/home/diagnostic_results.txt"}
        << QByteArray();
    QTest::newRow("no folder at all")
        << "500, no folder at all" << QString()
        << QByteArrayList{fail, fail, fail, "could not send log, and could not save it anywhere"}
        << QByteArray();
    QTest::newRow("-i -o f") << "500, -i -o f"
                             << "home/Schreibtisch"
                             << QByteArrayList{"could not send log, saved to Desktop"}
                             << QByteArray("outputFile=f\n");
}

void TestWindowlessDelivery::failedUploadSavesTheWholeReport()
{
    QFETCH(QString, name);
    QFETCH(QString, savedIn);
    QFETCH(QByteArrayList, logLines);
    QFETCH(QByteArray, out);

    const Run &run = this->run(name);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, out);

    // The lines in this order, the last one last.
    QByteArrayList err = run.err.split('\n');
    err.removeAll(QByteArray());
    qsizetype at = 0;
    for (QByteArray line : logLines) {
        line.replace("%1", QFile::encodeName(run.root->path()));
        at = err.indexOf(line, at);
        QVERIFY2(at >= 0, qPrintable("missing: " + line + "\nin:\n" + run.err));
        ++at;
    }
    QCOMPARE(at, err.size());

    if (savedIn.isEmpty())
        return;
    const QByteArray saved = readFile(run.path(savedIn + "/diagnostic_results.txt"));
    QVERIFY(saved.startsWith(separator + "Results for: "));
    if (name != "refused")
        QVERIFY(uploaded(failingUploads, saved));
    if (name == "500, -i -o f")
        QCOMPARE(readFile(run.path("cwd/f")), saved);
}

QTEST_GUILESS_MAIN(TestWindowlessDelivery)
#include "tst_windowlessdelivery.moc"
