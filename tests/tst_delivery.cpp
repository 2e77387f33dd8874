#include "capturedstream.h"
#include "delivery.h"
#include "endpoints.h"
#include "httpsserver.h"
#include "resultblock.h"
#include "trim.h"

#include <QBuffer>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// How a report leaves the program, against a test server on the results
// server's port: what goes up, what is announced, where a copy is saved.
class TestDelivery : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void deliver_data();
    void deliver();

private:
    std::unique_ptr<QTemporaryDir> root;
};

// Each row in folders of its own; the desktop folder is the one that the XDG
// user-dirs file names.
void TestDelivery::init()
{
    qunsetenv("TMPDIR");
    root = std::make_unique<QTemporaryDir>();
    for (const char *folder : {"home/.config", "home/Schreibtisch", "tmp"})
        QVERIFY(QDir(root->path()).mkpath(folder));
    QFile dirs(root->filePath("home/.config/user-dirs.dirs"));
    QVERIFY(dirs.open(QIODevice::WriteOnly) &&
            dirs.write("XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"));
    qputenv("HOME", QFile::encodeName(root->filePath("home")));
    qunsetenv("XDG_CONFIG_HOME");
    qputenv("TMPDIR", QFile::encodeName(root->filePath("tmp")));
    // A "could not ..." log line that a row does not expect fails it.
    QTest::failOnWarning(QRegularExpression("could"));
}

// In options, "c:full" is a console that takes nothing and "o:PATH" an output
// file other than tmp/out. The setup removes a folder ("rm"), makes a FIFO, or
// a link (to a file "victim"), or points TMPDIR elsewhere; /proc is a folder
// where nothing can be made. In events and log, %1 stands for the rows' folder
// and XXXXXX for a fresh name. Reports over 1000000 bytes go up trimmed, all
// others whole, NUL characters included; every copy holds the whole report.
void TestDelivery::deliver_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("log");
    const auto row = [](const char *name, const QString &options, const QByteArray &answer,
                        const QStringList &events, const QStringList &log = {},
                        const QStringList &setup = {}, qsizetype size = 1000) {
        QTest::newRow(name) << options << size << answer << setup << events << log;
    };
    const QByteArray link = HttpsServer::reply(200, "https://results.test/r/1");
    const QByteArray oops = HttpsServer::reply(500, "oops");
    const QString uploaded = "link https://results.test/r/1";
    const QString internal = "failed There was an internal server errror ";
    const QString error = "failed There was an error submitting the results %1/home/";
    const QString desktop = "%1/home/Schreibtisch/diagnostic_results.txt";
    const QString fail = "could not save diagnostic_results.txt";
    const QString fullConsole = "could not write the report to standard output: No space left "
                                "on device";
    row("windowed", "", link, {uploaded});
    row("-s", "s", link, {uploaded});
    row("-s -c", "s c", link, {"console", "local"});
    row("-s -o over a file that keeps its mode", "s o", link, {"file %1/tmp/out", "local"}, {},
        {"old tmp/out"});
    row("-s -c -o", "s c o", link, {"console", "file %1/tmp/out", "local"});
    row("-s -i -c", "s i c", link, {"console", uploaded});
    row("-s -o in a missing folder", "s o", link, {"not written " + desktop, "local"},
        {"could not write %1/tmp/out: No such file or directory"}, {"rm tmp"});
    row("-s -o a folder", "s o:tmp", link, {"not written " + desktop, "local"},
        {"could not write %1/tmp: Filename refers to a directory"});
    row("-s -o a full device, written in place", "s o:/dev/full", link,
        {"not written " + desktop, "local"},
        {"could not write /dev/full: No space left on device"});
    row("-s -o a FIFO, written in place", "s o:tmp/fifo", link, {"file %1/tmp/fifo", "local"}, {},
        {"fifo tmp/fifo"});
    row("-s -c, the console full", "s c:full", link, {"not written " + desktop, "local"},
        {fullConsole});
    row("-s -i -c -o, the console full", "s i c:full o", link,
        {"file %1/tmp/out", "not written ", uploaded}, {fullConsole});
    row("exactly 1000000 bytes", "s", link, {uploaded}, {}, {}, 1000000);
    // Small enough to stay in memory, trimmed form included.
    row("one byte over", "s", link, {uploaded}, {}, {"tmpdir /proc"}, 1000001);
    row("spooled to disk", "s", link, {uploaded}, {}, {}, 9 << 20);
    row("no spool to be made", "s", link, {uploaded},
        {"keeping the report in memory: could not make a file in /proc: No such file or "
         "directory"},
        {"tmpdir /proc"}, 9 << 20);
    row("500", "s", oops, {internal + desktop}, {}, {}, 1000001);
    row("404", "", HttpsServer::reply(404, "nope"),
        {error + "Schreibtisch/diagnostic_results.txt"});
    row("closed after a good answer had begun", "",
        "HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\nhttps://res",
        {error + "Schreibtisch/diagnostic_results.txt"});
    // Stored by the server, maybe, but the user gets no link to hand on.
    row("reply not UTF-8", "", HttpsServer::reply(200, "https://results.test/\xc3"),
        {error + "Schreibtisch/diagnostic_results.txt"},
        {"the results server answered with something that is not UTF-8 text"});
    row("no desktop folder", "", oops, {internal + "%1/home/diagnostic_results.txt"}, {fail},
        {"rm home/Schreibtisch"});
    row("no home folder, a link planted in the temporary folder", "", oops,
        {internal + "%1/tmp/diagnostic_results-XXXXXX.txt"}, {fail, fail},
        {"rm home", "link tmp/diagnostic_results.txt"});
    row("TMPDIR missing", "", oops, {internal + "/tmp/diagnostic_results-XXXXXX.txt"}, {fail, fail},
        {"rm home", "rm tmp"});
    row("nowhere", "", oops, {internal}, {fail, fail, fail}, {"rm home", "tmpdir /proc"});
}

void TestDelivery::deliver()
{
    QFETCH(QString, options);
    QFETCH(qsizetype, size);
    QFETCH(QByteArray, answer);
    QFETCH(QStringList, setup);
    QFETCH(QStringList, events);
    QFETCH(QStringList, log);

    HttpsServer server;
    QVERIFY(server.start(QString(endpoints::ResultsServerHost).section(u':', 1).toUShort()));
    server.answer = {answer};
    const QString folder = root->path();
    int fifo = -1;
    for (const QString &step : setup) {
        const QString path = root->filePath(step.section(u' ', 1));
        if (step.startsWith("rm "))
            QVERIFY(QDir(path).removeRecursively());
        if (step.startsWith("tmpdir "))
            qputenv("TMPDIR", QFile::encodeName(step.section(u' ', 1)));
        if (step.startsWith("old ")) {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
            QVERIFY(old.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        }
        if (step.startsWith("fifo ")) {
            QVERIFY(::mkfifo(QFile::encodeName(path), 0600) == 0);
            fifo = ::open(QFile::encodeName(path), O_RDONLY | O_NONBLOCK);
        }
        if (step.startsWith("link ")) {
            QFile victim(root->filePath("victim"));
            QVERIFY(victim.open(QIODevice::WriteOnly) && victim.write("victim") == 6);
            QVERIFY(QFile::link(victim.fileName(), path));
        }
    }
    for (const QString &line : log)
        QTest::ignoreMessage(QtWarningMsg, QString(line).replace("%1", folder).toUtf8());
    // One block of the system log, whose end the trimming cuts.
    const QByteArray report = blockSeparator + QByteArray("Results for: tail\n") +
                              QByteArray("a\0b\n", 4).leftJustified(size - 63, 'x');

    const QStringList flags = options.split(u' ');
    const QString consoleFlag = flags.filter(QRegularExpression("^c")).value(0);
    const QString outputFlag = flags.filter(QRegularExpression("^o")).value(0);
    std::optional<QString> outputFile;
    if (const QString path = outputFlag.mid(2); !outputFlag.isEmpty())
        outputFile =
            path.startsWith(u'/') ? path : root->filePath(path.isEmpty() ? "tmp/out" : path);

    Delivery delivery;
    QBuffer console;
    QFile fullConsole("/dev/full");
    QVERIFY(console.open(QIODevice::WriteOnly) &&
            fullConsole.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    delivery.setConsole(consoleFlag == "c:full" ? static_cast<QIODevice *>(&fullConsole)
                                                : &console);
    QStringList seen, copies;
    const auto see = [&](const QString &event, const QString &path = {}) {
        if (!path.isEmpty())
            copies << path;
        QString shown = QString(path).replace(folder, "%1");
        shown.replace(QRegularExpression("-\\w{6}\\.txt$"), "-XXXXXX.txt");
        seen << (path.isNull() ? event : event + " " + shown);
    };
    connect(&delivery, &Delivery::outputFileDone, this, [&](auto path) { see("file", path); });
    connect(&delivery, &Delivery::reportNotWritten, this,
            [&](const QString &path) { see("not written", path.isNull() ? "" : path); });
    connect(&delivery, &Delivery::deliveredWithoutUpload, this, [&] { see("local"); });
    connect(&delivery, &Delivery::uploadSucceeded, this,
            [&](const QString &link) { see("link " + link); });
    connect(&delivery, &Delivery::uploadFailed, this, [&](const QString &message, QString path) {
        see("failed " + message, path.isNull() ? "" : path);
    });
    delivery.deliver(
        [&report](QIODevice &device) { return writeAll(device, report); },
        {flags.contains("s"), !consoleFlag.isEmpty(), flags.contains("i"), outputFile, 1000000});
    if (!console.data().isEmpty())
        seen.prepend(console.data() == report + '\n' ? "console" : "console with another report");
    QTRY_COMPARE_WITH_TIMEOUT(seen.size(), events.size(), 30000);
    QTest::qWait(100); // time for a second outcome to show up
    QCOMPARE(seen, events);

    QCOMPARE(report.size(), size);
    const QByteArray sent = HttpsServer::uploadedData(server.requests.value(0));
    if (size > 1000000)
        QVERIFY(sent.size() == 1000000 && sent.endsWith(trimMarker));
    else if (!server.requests.isEmpty())
        QCOMPARE(sent, report);
    for (const QString &copy : copies) {
        QByteArray got(size + 1, 0);
        if (fifo >= 0 && copy.endsWith("fifo")) {
            QVERIFY(!QFileInfo(copy).isFile());
            got.resize(::read(fifo, got.data(), got.size()));
        } else if (QFile file(copy); file.open(QIODevice::ReadOnly)) {
            got = file.readAll();
        }
        QCOMPARE(got, report);
        // Only its owner may read a copy left in a shared temporary folder.
        if (copy.contains("diagnostic_results-")) {
            QCOMPARE(QFileInfo(copy).permissions() & ~(QFile::ReadUser | QFile::WriteUser),
                     QFile::ReadOwner | QFile::WriteOwner);
            QFile::remove(copy);
        }
    }
    if (setup.contains("old tmp/out"))
        QCOMPARE(QFileInfo(root->filePath("tmp/out")).permissions() &
                     ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    if (QFile victim(root->filePath("victim")); victim.open(QIODevice::ReadOnly))
        QCOMPARE(victim.readAll(), "victim");
    if (fifo >= 0)
        ::close(fifo);
}

QTEST_GUILESS_MAIN(TestDelivery)
#include "tst_delivery.moc"
