#include "capturedstream.h"
#include "delivery.h"
#include "endpoints.h"
#include "httpsserver.h"
#include "referencetrim.h"
#include "reportfile.h"
#include "resultblock.h"
#include "trim.h"
#include "utf8escape.h"

#include <QBuffer>
#include <QDir>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

// How a report leaves the program, against a test server on the results
// server's port: what goes up, what is announced, where a copy is saved.
class TestDelivery : public QObject
{
    Q_OBJECT

private slots:
    void deliver_data();
    void deliver();
    void fileNotNamedInUtf8();
};

// In options, "full" is a console that takes nothing and "o" the output file
// tmp/out. The setup removes a folder, puts a file of mode 0640 (written that
// many seconds from now), a FIFO or a link to "old" (a file holding "old", or a
// folder) in place, limits the size of the files written, points TMPDIR
// elsewhere (/proc: where no file can be made), or puts the upload's boundary
// line into the report. In events and log, %1 stands for the row's folder and
// XXXXXX for a fresh name. The upload is trimmed over 1000000 bytes; every copy
// holds the whole report.
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
    const QString desktop = "%1/home/Schreibtisch/diagnostic_results.txt";
    const QString fail = "could not save diagnostic_results.txt";
    const QString fullConsole = "could not write the report to standard output: No space left "
                                "on device";
    row("-s -c", "s c", link, {"console", "local"});
    row("-s -o over a file, which keeps its mode", "s o", link, {"file %1/tmp/out", "local"}, {},
        {"file tmp/out"});
    row("-s -o in a missing folder", "s o", link, {"not written " + desktop, "local"},
        {"could not write %1/tmp/out: No such file or directory"}, {"rm tmp"});
    // A disk that fills up: the copies cannot be saved either.
    row("-s -o, the disk full", "s o", link, {"not written ", "local"},
        {"could not write %1/tmp/out: File too large", fail, fail, fail}, {"limit 500"});
    row("-s -o a FIFO, written in place", "s o", link, {"file %1/tmp/out", "local"}, {},
        {"fifo tmp/out"});
    row("-s -c, the console full", "s full", link, {"not written " + desktop, "local"},
        {fullConsole});
    row("-s -i -c -o, the console full", "s i full o", link,
        {"file %1/tmp/out", "not written ", uploaded}, {fullConsole});
    // One byte over: small enough for memory, the trimmed form included.
    row("500", "s", oops, {internal + desktop}, {}, {"tmpdir /proc"}, 1000001);
    row("trimmed", "s", link, {uploaded}, {}, {}, 1000001);
    row("spool full half-way", "s", link, {uploaded},
        {"keeping the report in memory: could not write to a file in %1/tmp: File too large"},
        {"limit 9000000"}, 9 << 20);
    row("a report holding the boundary", "s", link, {uploaded}, {}, {"boundary"});
    row("404", "", HttpsServer::reply(404, "nope"),
        {"failed There was an error submitting the results " + desktop});
    // Left alone, whatever they lead to.
    row("desktop copy a link", "", oops, {internal + "%1/home/diagnostic_results.txt"},
        {fail + ": %1/home/Schreibtisch/diagnostic_results.txt is a link, left alone"},
        {"link home/Schreibtisch/diagnostic_results.txt"});
    row("desktop folder a link", "", oops, {internal + "%1/home/diagnostic_results.txt"},
        {fail + ": %1/home/Schreibtisch is a link, left alone"}, {"link home/Schreibtisch"});
    // Another run's copy, written since this one started, is kept.
    row("an earlier run's copy", "", oops, {internal + desktop}, {},
        {"file home/Schreibtisch/diagnostic_results.txt -3600"});
    row("another run's copy since", "", oops,
        {internal + "%1/home/Schreibtisch/diagnostic_results-2.txt"}, {},
        {"file home/Schreibtisch/diagnostic_results.txt 3600"});
    row("no desktop folder", "", oops, {internal + "%1/home/diagnostic_results.txt"}, {fail},
        {"rm home/Schreibtisch"});
    // At a fresh name, where no link can have been planted.
    row("no home folder", "", oops, {internal + "%1/tmp/diagnostic_results-XXXXXX.txt"},
        {fail, fail}, {"rm home"});
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

    // The desktop folder is the one that the XDG user-dirs file names.
    qunsetenv("TMPDIR");
    const QTemporaryDir root;
    const QString folder = root.path();
    for (const char *path : {"home/.config", "home/Schreibtisch", "tmp"})
        QVERIFY(QDir(folder).mkpath(path));
    QFile dirs(folder + "/home/.config/user-dirs.dirs");
    QVERIFY(dirs.open(QIODevice::WriteOnly) &&
            dirs.write("XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"));
    dirs.close();
    qputenv("HOME", QFile::encodeName(folder + "/home"));
    qunsetenv("XDG_CONFIG_HOME");
    qputenv("TMPDIR", QFile::encodeName(folder + "/tmp"));
    HttpsServer server;
    QVERIFY(server.start(QString(endpoints::ResultsServerHost).section(u':', 1).toUShort()));
    server.answer = {answer};
    int fifo = -1;
    rlimit sizeLimit = {};
    ::getrlimit(RLIMIT_FSIZE, &sizeLimit);
    for (const QString &step : setup) {
        const QString argument = step.section(u' ', 1), path = folder + u'/' + argument;
        if (step.startsWith("rm "))
            QVERIFY(QDir(path).removeRecursively());
        if (step.startsWith("link ")) {
            QVERIFY(QFile::remove(path) || QDir(path).removeRecursively());
            QFile old(folder + "/old");
            QVERIFY(path.endsWith(".txt") ? old.open(QIODevice::WriteOnly) && old.write("old")
                                          : QDir(folder).mkdir("old"));
            QVERIFY(QFile::link(old.fileName(), path));
        }
        if (step.startsWith("tmpdir "))
            qputenv("TMPDIR", QFile::encodeName(argument));
        if (step.startsWith("fifo ")) {
            QVERIFY(::mkfifo(QFile::encodeName(path), 0600) == 0);
            fifo = ::open(QFile::encodeName(path), O_RDONLY | O_NONBLOCK);
        }
        if (QFile file(path.section(u' ', 0, 0)); step.startsWith("file ")) {
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("old") && file.flush());
            QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
            const QDateTime written =
                QDateTime::currentDateTime().addSecs(path.section(u' ', 1).toInt());
            QVERIFY(file.setFileTime(written, QFileDevice::FileModificationTime));
        }
        if (step.startsWith("limit ")) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit = {argument.toULong(), sizeLimit.rlim_max};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
    }
    // A "could not ..." log line that a row does not expect fails it.
    QTest::failOnWarning(QRegularExpression("could"));
    for (const QString &line : log)
        QTest::ignoreMessage(QtWarningMsg, QString(line).replace("%1", folder).toUtf8());
    // One block of the system log, whose end the trimming cuts, with NUL
    // characters and no two lines alike. A big report holds no "tail": it goes
    // up whole, so that every byte read back from the spools is checked.
    QByteArray report = blockSeparator +
                        QByteArray(size < 2000000 ? "Results for: tail\n" : "Results for: cat\n") +
                        QByteArray("\0\n", 2);
    for (int line = 0; report.size() < size; ++line)
        report += QByteArray::number(line) + '\n';
    report.truncate(size);
    if (setup.contains("boundary"))
        report.replace(size / 2, 23, "\r\n--0xKhTmLbOuNdArY--\r\n");

    const QStringList flags = options.split(u' ');
    Delivery delivery(HttpsServer::clientTls());
    QBuffer console;
    QFile fullConsole("/dev/full");
    QVERIFY(console.open(QIODevice::WriteOnly) &&
            fullConsole.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    delivery.setConsole(flags.contains("full") ? static_cast<QIODevice *>(&fullConsole) : &console);
    QStringList seen;
    connect(&delivery, &Delivery::outputFileDone, this, [&](auto path) { seen << "file " + path; });
    connect(&delivery, &Delivery::reportNotWritten, this,
            [&](auto path) { seen << "not written " + path; });
    connect(&delivery, &Delivery::deliveredWithoutUpload, this, [&] { seen << "local"; });
    connect(&delivery, &Delivery::uploadSucceeded, this,
            [&](auto link) { seen << "link " + link; });
    connect(&delivery, &Delivery::uploadFailed, this,
            [&](auto message, auto path) { seen << "failed " + message + ' ' + path; });
    delivery.deliver(
        [&report](QIODevice &device) { return writeAll(device, report); },
        {.silent = flags.contains("s"),
         .console = flags.contains("c") || flags.contains("full"),
         .internet = flags.contains("i"),
         .outputFile = flags.contains("o") ? std::optional(folder + "/tmp/out") : std::nullopt});
    ::setrlimit(RLIMIT_FSIZE, &sizeLimit);
    if (!console.data().isEmpty())
        seen.prepend(console.data() == report + '\n' ? "console" : "console with another report");
    QTRY_COMPARE_WITH_TIMEOUT(seen.size(), events.size(), 30000);
    QTest::qWait(100); // time for a second outcome to show up
    QStringList copies = seen.filter(QRegularExpression(" /"));
    copies.replaceInStrings(QRegularExpression("^.* /"), "/");
    seen.replaceInStrings(folder, "%1")
        .replaceInStrings(QRegularExpression("-\\w{6}\\.txt$"), "-XXXXXX.txt");
    QCOMPARE(seen, events);

    if (!server.requests.isEmpty())
        QVERIFY(HttpsServer::uploadedData(server.requests[0]) == trimTailData(report, 1000000));
    // What the window shows as the report that left: the bytes that went up,
    // or after a failed upload the report as saved.
    QByteArray shown;
    if (const std::shared_ptr<QIODevice> sent = delivery.sentReport(); sent && sent->seek(0))
        shown = sent->readAll();
    const QByteArray sent =
        server.requests.isEmpty() ? QByteArray() : HttpsServer::uploadedData(server.requests[0]);
    QVERIFY(shown == (seen.last().startsWith("failed ") ? report : sent));
    for (const QString &copy : copies) {
        QFile file(copy);
        QVERIFY(fifo < 0 ? file.open(QIODevice::ReadOnly) : file.open(fifo, QIODevice::ReadOnly));
        QVERIFY(file.readAll() == report);
        // Only its owner may read a copy left in a shared temporary folder.
        if (copy.contains("/tmp/diagnostic_results-")) {
            QCOMPARE(file.permissions(), QFile::Permissions(0x6600)); // rw-------
            QFile::remove(copy);
        }
    }
    // A file replaced keeps its permissions; a file kept, its bytes.
    for (const QString &step : setup.filter(QRegularExpression("^file "))) {
        QFile file(folder + u'/' + step.section(u' ', 1, 1));
        QCOMPARE(file.permissions(), QFile::Permissions(0x6640)); // rw-r-----
        if (!copies.contains(file.fileName()) && file.open(QIODevice::ReadOnly))
            QCOMPARE(file.readAll(), "old");
    }
    if (fifo >= 0)
        QVERIFY(!QFileInfo(folder + "/tmp/out").isFile());
    if (QFile old(folder + "/old"); old.open(QIODevice::ReadOnly))
        QCOMPARE(old.readAll(), "old");
    QVERIFY(QDir(folder + "/old").isEmpty());
    ::close(fifo);
}

// A name whose last byte, FF, is no UTF-8 is written as given, over the file
// there, which keeps its mode; no temporary file stays.
void TestDelivery::fileNotNamedInUtf8()
{
    qunsetenv("TMPDIR");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray name = QFile::encodeName(dir.path()) + "/out\xFF";
    const auto removeIt = qScopeGuard([&name] { ::unlink(name); }); // QTemporaryDir cannot
    QVERIFY(::close(::open(name, O_CREAT | O_WRONLY, 0640)) == 0);
    ReportFile file = ReportFile::atPath(fileNameFromBytes(name));
    QVERIFY(file.isOpen() && writeAll(*file.device(), "report") && file.finish());
    QFile written;
    QVERIFY(
        written.open(::open(name, O_RDONLY), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
    QCOMPARE(written.readAll(), "report");
    struct stat info = {};
    QVERIFY(::stat(name, &info) == 0 && (info.st_mode & 0777) == 0640);
    int entries = 0; // QDir leaves out a name that is not UTF-8
    DIR *folder = ::opendir(QFile::encodeName(dir.path()));
    while (::readdir(folder))
        ++entries;
    ::closedir(folder);
    QCOMPARE(entries, 3); // ".", ".." and the file
}

QTEST_GUILESS_MAIN(TestDelivery)
#include "tst_delivery.moc"
