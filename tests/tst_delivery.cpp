#include "delivery.h"
#include "endpoints.h"
#include "httpsserver.h"
#include "resultblock.h"
#include "trim.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

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

// In events and log, %1 stands for the rows' folder. Reports over 1000000
// bytes go up trimmed, all others whole, NUL characters included; every copy
// holds the whole report.
void TestDelivery::deliver_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QStringList>("missing");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("log");
    const auto row = [](const char *name, const QString &options, const QByteArray &answer,
                        const QStringList &events, const QStringList &log = {},
                        const QStringList &missing = {}, qsizetype size = 1000) {
        QTest::newRow(name) << options << size << answer << missing << events << log;
    };
    const QByteArray link = HttpsServer::reply(200, "https://results.test/r/1");
    const QByteArray oops = HttpsServer::reply(500, "oops");
    const QString uploaded = "link https://results.test/r/1";
    const QString internal = "failed There was an internal server errror %1/home/";
    const QString error = "failed There was an error submitting the results %1/home/";
    const QString desktop = "Schreibtisch/diagnostic_results.txt";
    const QString fail = "could not save diagnostic_results.txt";
    row("windowed", "", link, {uploaded});
    row("-s", "s", link, {uploaded});
    row("-s -c", "s c", link, {"console", "local"});
    row("-s -o", "s o", link, {"file %1/tmp/out", "local"});
    row("-s -c -o", "s c o", link, {"console", "file %1/tmp/out", "local"});
    row("-s -i -c", "s i c", link, {"console", uploaded});
    row("-s -o unwritable", "s o", link, {"file %1/tmp/out", "local"}, {fail}, {"tmp"});
    row("exactly 1000000 bytes", "s", link, {uploaded}, {}, {}, 1000000);
    row("one byte over", "s", link, {uploaded}, {}, {}, 1000001);
    row("500", "s", oops, {internal + desktop}, {}, {}, 1000001);
    row("404", "", HttpsServer::reply(404, "nope"), {error + desktop});
    row("empty answer", "", HttpsServer::reply(200, ""), {error + desktop});
    row("closed after a good answer had begun", "",
        "HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\nhttps://res", {error + desktop});
    // Stored by the server, maybe, but the user gets no link to hand on.
    row("reply not UTF-8", "", HttpsServer::reply(200, "https://results.test/\xc3"),
        {error + desktop}, {"the results server answered with something that is not UTF-8 text"});
    row("no desktop folder", "", oops, {internal + "diagnostic_results.txt"}, {fail},
        {"home/Schreibtisch"});
    row("no home folder", "", oops,
        {"failed There was an internal server errror "
         "%1/tmp/diagnostic_results.txt"},
        {fail, fail}, {"home"});
    row("nowhere", "", oops, {"failed There was an internal server errror "}, {fail, fail, fail},
        {"home", "tmp"});
}

void TestDelivery::deliver()
{
    QFETCH(QString, options);
    QFETCH(qsizetype, size);
    QFETCH(QByteArray, answer);
    QFETCH(QStringList, missing);
    QFETCH(QStringList, events);
    QFETCH(QStringList, log);

    HttpsServer server;
    QVERIFY(server.start(QString(endpoints::ResultsServerHost).section(u':', 1).toUShort()));
    server.answer = {answer};
    for (const QString &folder : missing)
        QVERIFY(QDir(root->filePath(folder)).removeRecursively());
    for (const QString &line : log)
        QTest::ignoreMessage(QtWarningMsg, line.toUtf8());
    // One block of the system log, whose end the trimming cuts.
    const QString report = QString(blockSeparator) + "Results for: tail\n" +
                           QString::fromLatin1("a\0b\n", 4).leftJustified(size - 63, u'x');

    Delivery delivery;
    QStringList seen;
    const QString folder = root->path();
    connect(&delivery, &Delivery::reportForConsole, this, [&](const QString &text) {
        seen << (text == report ? "console" : "console with another report");
    });
    connect(&delivery, &Delivery::outputFileDone, this,
            [&](const QString &path) { seen << "file " + QString(path).replace(folder, "%1"); });
    connect(&delivery, &Delivery::deliveredWithoutUpload, this, [&] { seen << "local"; });
    connect(&delivery, &Delivery::uploadSucceeded, this,
            [&](const QString &link) { seen << "link " + link; });
    connect(&delivery, &Delivery::uploadFailed, this, [&](const QString &message, QString path) {
        seen << "failed " + message + " " + path.replace(folder, "%1");
    });
    const QStringList flags = options.split(u' ');
    delivery.deliver(
        report, {flags.contains("s"), flags.contains("c"), flags.contains("i"),
                 flags.contains("o") ? std::optional(folder + "/tmp/out") : std::nullopt, 1000000});
    QTRY_COMPARE_WITH_TIMEOUT(seen.size(), events.size(), 30000);
    QTest::qWait(100); // time for a second outcome to show up
    QCOMPARE(seen, events);

    const QByteArray bytes = report.toUtf8();
    QCOMPARE(bytes.size(), size);
    const QByteArray sent = HttpsServer::uploadedData(server.requests.value(0));
    if (size > 1000000)
        QVERIFY(sent.size() == 1000000 && sent.endsWith(trimMarker));
    else if (!server.requests.isEmpty())
        QCOMPARE(sent, bytes);
    for (QString copy : QStringList{folder + "/tmp/out", seen.last().section(u' ', -1)}) {
        copy.replace("%1", folder);
        QFile file(copy);
        if (file.open(QIODevice::ReadOnly))
            QCOMPARE(file.readAll(), bytes);
    }
    // Only its owner may read a copy left in the shared temporary folder.
    const QString tempCopy = root->filePath("tmp/diagnostic_results.txt");
    QVERIFY(!(QFile::permissions(tempCopy) & (QFile::ReadGroup | QFile::ReadOther)));
}

QTEST_GUILESS_MAIN(TestDelivery)
#include "tst_delivery.moc"
