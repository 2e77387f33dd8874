#include "consoleview.h"
#include "endpoints.h"
#include "httpsserver.h"
#include "maincontroller.h"
#include "mainwindow.h"
#include "resultblock.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QDir>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// The controller's delivery decisions, against a test server on the results
// server's port: what goes up, which message shows, where a copy is saved.

namespace {

const QString submitError = "There was an error submitting the results";

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestDelivery : public QObject
{
    Q_OBJECT

public slots:
    // Where the program asks the desktop to open a file.
    void open(const QUrl &url) { opened.append(url); }

private slots:
    void init();
    void cleanup();
    void windowless_data();
    void windowless();
    void windowOpensTheSavedCopy();

private:
    // Runs one command whose output holds a NUL and "tail", padded so that the
    // report is size bytes.
    void runReportOfSize(qsizetype size);

    const QString systemTemp = QDir::tempPath();
    std::unique_ptr<QTemporaryDir> root;
    std::unique_ptr<HttpsServer> server;
    std::unique_ptr<MainController> controller;
    QList<QUrl> opened;
};

// Each test in folders of its own; the desktop folder is the one that the
// XDG user-dirs file names.
void TestDelivery::init()
{
    root = std::make_unique<QTemporaryDir>(systemTemp + "/tst_delivery-XXXXXX");
    for (const char *folder : {"home/.config", "home/Schreibtisch", "tmp"})
        QVERIFY(QDir(root->path()).mkpath(folder));
    QFile dirs(root->filePath("home/.config/user-dirs.dirs"));
    QVERIFY(dirs.open(QIODevice::WriteOnly) &&
            dirs.write("XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"));
    dirs.close();
    qputenv("HOME", QFile::encodeName(root->filePath("home")));
    qunsetenv("XDG_CONFIG_HOME");
    qputenv("TMPDIR", QFile::encodeName(root->filePath("tmp")));

    server = std::make_unique<HttpsServer>();
    QVERIFY(server->start(QString(endpoints::ResultsServerHost).section(u':', 1).toUShort()));
    controller = std::make_unique<MainController>();
    opened.clear();
    QDesktopServices::setUrlHandler("file", this, "open");
    // A "could not ..." log line that a row does not expect fails it.
    QTest::failOnWarning(QRegularExpression("could"));
}

void TestDelivery::cleanup()
{
    QDesktopServices::unsetUrlHandler("file");
    controller.reset();
    server.reset();
    root.reset();
}

void TestDelivery::runReportOfSize(qsizetype size)
{
    const QString path = root->filePath("output");
    // The output in its result block, less the one byte of "x".
    const QString name = commandDisplayName("/bin/cat", {path}, std::nullopt);
    const qsizetype frame = resultBlock(name, "x", std::nullopt).size() - 1;
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("a\0b\ntail -n 15000\n", 18).leftJustified(size - frame, 'x'));
    file.close();
    controller->replaceBattery({Test{"/bin/cat", {path}, std::nullopt}});
    controller->runTests();
}

// Up to maxPostSize bytes go up whole, NUL characters included. On failure the
// untrimmed report is saved on the desktop, or failing that in the home folder,
// then the temporary folder, and the last log line says where.
void TestDelivery::windowless_data()
{
    QTest::addColumn<qsizetype>("reportSize");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QStringList>("missing");
    QTest::addColumn<QString>("savedIn");
    QTest::addColumn<QStringList>("log"); // none when the upload succeeds
    QTest::addColumn<QString>("text");    // shown in place of an earlier run's link

    const auto row = [](const char *name, qsizetype reportSize, const QByteArray &answer,
                        const QStringList &missing, const QString &savedIn, const QStringList &log,
                        const QString &text) {
        QTest::newRow(name) << reportSize << answer << missing << savedIn << log << text;
    };
    const QByteArray link = HttpsServer::reply(200, "https://results.test/r/1");
    const QByteArray oops = HttpsServer::reply(500, "oops");
    const QString shown = "See results at https://results.test/r/1";
    const QString internal = "There was an internal server errror";
    const QString desktop = "home/Schreibtisch";
    const QString onDesktop = "could not send log, saved to Desktop";
    const QString fail = "could not save diagnostic_results.txt";
    row("exactly maxPostSize", 1000000, link, {}, {}, {}, shown);
    row("one byte over", 1000001, link, {}, {}, {}, shown);
    row("500", 1000001, oops, {}, desktop, {onDesktop}, internal);
    row("closed after a good answer had begun", 1000001,
        "HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\nhttps://res", {}, desktop, {onDesktop},
        submitError);
    // Stored by the server, maybe, but the user gets no link to hand on.
    row("reply not UTF-8", 1000001, HttpsServer::reply(200, "https://results.test/\xc3"), {},
        desktop, {"the results server answered with something that is not UTF-8 text", onDesktop},
        submitError);
    row("no desktop folder", 1000001, oops, {desktop}, "home",
        {fail, "could not send log, saved to %1/home/diagnostic_results.txt"}, internal);
    row("no home folder", 1000001, oops, {"home"}, "tmp",
        {fail, fail, "could not send log, saved to %1/tmp/diagnostic_results.txt"}, internal);
    row("nowhere", 1000001, oops, {"home", "tmp"}, {},
        {fail, fail, fail, "could not send log, and could not save it anywhere"}, internal);
}

void TestDelivery::windowless()
{
    QFETCH(qsizetype, reportSize);
    QFETCH(QByteArray, answer);
    QFETCH(QStringList, missing);
    QFETCH(QString, savedIn);
    QFETCH(QStringList, log);
    QFETCH(QString, text);

    server->answer = {answer};
    for (const QString &folder : missing)
        QVERIFY(QDir(root->filePath(folder)).removeRecursively());
    for (const QString &line : log)
        QTest::ignoreMessage(QtWarningMsg, QString(line).replace("%1", root->path()).toUtf8());
    QBuffer console;
    console.open(QIODevice::WriteOnly);
    ConsoleView view(*controller, &console);
    QString linkText;
    connect(controller.get(), &MainController::uploadSucceeded, this,
            [&](const QString &link) { linkText = "See results at " + link; });
    connect(controller.get(), &MainController::uploadFailed, this,
            [&](const QString &message) { linkText = message; });
    controller->initArgsWithSilent(true, false, false, false, false);
    controller->awakeFromNib();
    QSignalSpy exits(&view, &ConsoleView::exitRequested);
    runReportOfSize(reportSize);
    QVERIFY(exits.wait(30000));
    QTest::qWait(100); // time for a second exit request to show up
    QCOMPARE(exits, QList<QVariantList>{{log.isEmpty() ? 0 : 1}});
    QCOMPARE(linkText, text);

    const QByteArray report = controller->report().toUtf8();
    QCOMPARE(report.size(), reportSize);
    const QByteArray sent = HttpsServer::uploadedData(server->requests.value(0));
    // E = 1: the one block loses 1 + 27 bytes and gains the 27 of the marker.
    if (reportSize > 1000000)
        QVERIFY(sent.size() == 1000000 && sent.endsWith("<This log has been trimmed>"));
    else
        QCOMPARE(sent, report);
    const QString copy = root->filePath(savedIn + "/diagnostic_results.txt");
    if (!savedIn.isEmpty())
        QCOMPARE(readFile(copy), report);
    // Only its owner may read a copy left in the shared temporary folder.
    if (savedIn == "tmp")
        QVERIFY(!(QFile::permissions(copy) & (QFile::ReadGroup | QFile::ReadOther)));
    QVERIFY(opened.isEmpty());
}

// The windowed run shows the saved copy in the user's text editor.
void TestDelivery::windowOpensTheSavedCopy()
{
    MainWindow window(*controller);
    QPushButton &start = *window.findChild<QPushButton *>("buttonStartTests");
    server->answer = {HttpsServer::reply(500, "oops")};
    runReportOfSize(1000);
    QVERIFY(!start.isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(start.isEnabled(), 30000);
    const QString copy = root->filePath("home/Schreibtisch/diagnostic_results.txt");
    QCOMPARE(readFile(copy), controller->report().toUtf8());
    QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(copy)});
}

QTEST_MAIN(TestDelivery)
#include "tst_delivery.moc"
