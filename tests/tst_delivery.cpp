#include "endpoints.h"
#include "httpsserver.h"
#include "maincontroller.h"
#include "multipart.h"
#include "resultblock.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr qsizetype maxPostSize = 1000000;
const QByteArray marker = "<This log has been trimmed>";
const QString firstLink = "https://results.test/r/first";

quint16 resultsServerPort()
{
    return QString(endpoints::ResultsServerHost).section(u':', 1).toUShort();
}

// The data part of an upload body: what lies between the form's head and tail.
QByteArray uploadedData(const QByteArray &body)
{
    const qsizetype headSize = multipartBody(uploadBoundary, "").indexOf("\r\n--0x");
    return body.mid(headSize, body.size() - 110);
}

QStringList *capturedLog = nullptr;

void captureLogLine(QtMsgType, const QMessageLogContext &, const QString &message)
{
    capturedLog->append(message);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

// Records the files that the program asks the desktop to open.
class OpenedFiles : public QObject
{
    Q_OBJECT

public slots:
    void open(const QUrl &url) { urls.append(url); }

public:
    QList<QUrl> urls;
};

class TestDelivery : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void uploadsTheReport_data();
    void uploadsTheReport();
    void failedUploadKeepsTheWholeReport_data();
    void failedUploadKeepsTheWholeReport();
    void windowShowsTheOutcome_data();
    void windowShowsTheOutcome();

private:
    // A command that prints content, as the only test of every run.
    Test printing(const QByteArray &content);
    // A command whose report is exactly reportSize bytes and holds "tail".
    Test reportOfSize(qsizetype reportSize);
    int runWindowless(MainController &controller);
    void runWindowed(MainController &controller);

    std::unique_ptr<QTemporaryDir> root;
    QString home;
    QString desktop;
    QByteArray previousHome, previousConfig, previousTmp;
    QStringList log;
    QtMessageHandler previousHandler = nullptr;
    OpenedFiles opened;
    int fileCount = 0;
};

void TestDelivery::init()
{
    root = std::make_unique<QTemporaryDir>();
    QVERIFY(root->isValid());
    home = root->filePath("home");
    desktop = home + "/Schreibtisch";
    QVERIFY(QDir().mkpath(desktop));
    QVERIFY(QDir().mkpath(root->filePath("config")));
    QVERIFY(QDir().mkpath(root->filePath("tmp")));
    QFile dirs(root->filePath("config/user-dirs.dirs"));
    QVERIFY(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    dirs.close();

    previousHome = qgetenv("HOME");
    previousConfig = qgetenv("XDG_CONFIG_HOME");
    previousTmp = qgetenv("TMPDIR");
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root->filePath("config")));
    qputenv("TMPDIR", QFile::encodeName(root->filePath("tmp")));

    log.clear();
    capturedLog = &log;
    previousHandler = qInstallMessageHandler(captureLogLine);
    opened.urls.clear();
    QDesktopServices::setUrlHandler("file", &opened, "open");
}

void TestDelivery::cleanup()
{
    QDesktopServices::unsetUrlHandler("file");
    qInstallMessageHandler(previousHandler);
    capturedLog = nullptr;
    qputenv("HOME", previousHome);
    qputenv("XDG_CONFIG_HOME", previousConfig);
    qputenv("TMPDIR", previousTmp);
    root.reset();
}

Test TestDelivery::printing(const QByteArray &content)
{
    const QString path = root->filePath(QString("output%1").arg(++fileCount));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return Test{"/bin/cat", {path}, std::nullopt};
}

Test TestDelivery::reportOfSize(qsizetype reportSize)
{
    const QString path = root->filePath(QString("output%1").arg(fileCount + 1));
    // The block around the output: separator, "Results for: " line, "stdout:"
    // line, and the line break after the output.
    const qsizetype frame = resultBlock(commandDisplayName("/bin/cat", {path}, std::nullopt),
                                        QString("x"), std::nullopt)
                                .size() -
                            1;
    return printing("tail -n 15000\n" + QByteArray(reportSize - frame - 14, 'x'));
}

int TestDelivery::runWindowless(MainController &controller)
{
    QSignalSpy exits(&controller, &MainController::exitRequested);
    controller.runTests();
    if (!exits.wait(30000))
        return -1;
    QTest::qWait(100);
    return exits.size() == 1 ? exits.first().first().toInt() : -2;
}

void TestDelivery::runWindowed(MainController &controller)
{
    controller.runTests();
    QVERIFY(!controller.buttonStartTests->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(controller.buttonStartTests->isEnabled(), 30000);
}

// Windowless, the upload succeeds: "url=" and the link, exit status 0.
void TestDelivery::uploadsTheReport_data()
{
    QTest::addColumn<qsizetype>("reportSize");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<qsizetype>("uploadedSize");
    QTest::addColumn<bool>("trimmed");

    QTest::newRow("exactly maxPostSize, whole")
        << maxPostSize << QByteArray() << maxPostSize << false;
    // E = 1: the one block loses 1 + 27 bytes and gains the 27 of the marker.
    QTest::newRow("one byte more, trimmed")
        << maxPostSize + 1 << QByteArray() << maxPostSize << true;
    // "Results for: /bin/cat <path>\n" and "stdout:\n" stand around a\0b.
    QTest::newRow("NUL character, all of it sent")
        << qsizetype(0) << QByteArray("a\0b\nafter the NUL\n", 18) << qsizetype(-1) << false;
}

void TestDelivery::uploadsTheReport()
{
    QFETCH(qsizetype, reportSize);
    QFETCH(QByteArray, content);
    QFETCH(qsizetype, uploadedSize);
    QFETCH(bool, trimmed);

    HttpsServer server;
    QVERIFY(server.start(resultsServerPort()));
    server.setAnswer(Answer::whole(200, "https://results.test/r/42\n"));

    MainController controller;
    QBuffer console;
    console.open(QIODevice::WriteOnly);
    controller.setConsole(&console);
    controller.initArgsWithSilent(true, false, false, false, false);
    controller.replaceBattery({reportSize ? reportOfSize(reportSize) : printing(content)});
    controller.awakeFromNib();

    QCOMPARE(runWindowless(controller), 0);
    // The reply is printed as it came, its own line break included.
    QCOMPARE(console.data(), QByteArray("url=https://results.test/r/42\n\n"));
    QCOMPARE(*controller.resultsLink(), QString("https://results.test/r/42\n"));

    const QByteArray report = controller.report().toUtf8();
    if (reportSize)
        QCOMPARE(report.size(), reportSize);
    QCOMPARE(server.requests().size(), 1);
    const QByteArray sent = uploadedData(server.requests().first().body);
    if (uploadedSize >= 0)
        QCOMPARE(sent.size(), uploadedSize);
    if (trimmed) {
        QVERIFY(sent.endsWith(marker));
        QCOMPARE(sent.first(1000), report.first(1000));
    } else {
        QCOMPARE(sent, report);
    }
    if (!content.isEmpty())
        QVERIFY(sent.endsWith(QByteArray("stdout:\na\0b\nafter the NUL\n\n", 27)));
    QVERIFY(opened.urls.isEmpty());
}

// Windowless, the upload fails: the untrimmed report is saved on the Desktop,
// or failing that in the home folder, then the temporary folder, and the last
// log line says where; exit status 1 in every case.
void TestDelivery::failedUploadKeepsTheWholeReport_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QStringList>("missing");
    QTest::addColumn<QString>("savedIn");
    QTest::addColumn<QStringList>("expectedLog");

    const QString fail = "could not save diagnostic_results.txt";
    const Answer error = Answer::whole(500, "oops");
    QTest::newRow("desktop") << error << QStringList() << "home/Schreibtisch"
                             << QStringList{"could not send log, saved to Desktop"};
    // Stored by the server, maybe, but the user gets no link to hand on.
    QTest::newRow("reply that is not UTF-8")
        << Answer::whole(200, "https://results.test/r/\xc3") << QStringList() << "home/Schreibtisch"
        << QStringList{"the results server answered with something that is not UTF-8 text",
                       "could not send log, saved to Desktop"};
    QTest::newRow("no desktop folder")
        << error << QStringList{"home/Schreibtisch"} << "home"
        << QStringList{fail, "could not send log, saved to %1/home/diagnostic_results.txt"};
    QTest::newRow("no home folder")
        << error << QStringList{"home"} << "tmp"
        << QStringList{fail, fail, "could not send log, saved to %1/tmp/diagnostic_results.txt"};
    QTest::newRow("nowhere") << error << QStringList{"home", "tmp"} << QString()
                             << QStringList{fail, fail, fail,
                                            "could not send log, and could not save it anywhere"};
}

void TestDelivery::failedUploadKeepsTheWholeReport()
{
    QFETCH(Answer, answer);
    QFETCH(QStringList, missing);
    QFETCH(QString, savedIn);
    QFETCH(QStringList, expectedLog);

    HttpsServer server;
    QVERIFY(server.start(resultsServerPort()));
    server.setAnswer(answer);

    MainController controller;
    QBuffer console;
    console.open(QIODevice::WriteOnly);
    controller.setConsole(&console);
    controller.initArgsWithSilent(true, false, false, false, false);
    controller.replaceBattery({reportOfSize(maxPostSize + 100)});
    controller.awakeFromNib();
    for (const QString &folder : missing)
        QVERIFY(QDir(root->filePath(folder)).removeRecursively());

    QCOMPARE(runWindowless(controller), 1);
    QCOMPARE(console.data(), QByteArray());
    for (QString &line : expectedLog)
        line.replace("%1", root->path());
    QCOMPARE(log.join("|"), expectedLog.join("|"));

    // The upload was trimmed; the saved copy is not.
    QCOMPARE(uploadedData(server.requests().first().body).size(), maxPostSize + 100 - 100);
    if (!savedIn.isEmpty()) {
        const QByteArray saved = readFile(root->filePath(savedIn + "/diagnostic_results.txt"));
        QCOMPARE(saved.size(), maxPostSize + 100);
        QCOMPARE(saved, controller.report().toUtf8());
    }
    QVERIFY(opened.urls.isEmpty());
}

// Windowed: a first run uploads and shows its link; the second run's outcome
// replaces it, and a failure never leaves the first link on show.
void TestDelivery::windowShowsTheOutcome_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("link");

    const QString error = "There was an error submitting the results";
    QTest::newRow("success") << Answer::whole(200, "https://results.test/r/second")
                             << "See results at https://results.test/r/second"
                             << "https://results.test/r/second";
    QTest::newRow("500 with body")
        << Answer::whole(500, "oops") << "There was an internal server errror" << firstLink;
    QTest::newRow("404 with body") << Answer::whole(404, "nope") << error << firstLink;
    QTest::newRow("200 with empty body") << Answer::whole(200, "") << error << firstLink;
    QTest::newRow("broken off after a good answer had begun")
        << Answer::closeMidAnswer(200, "https://results.test/r/sec", 40) << error << firstLink;
    QTest::newRow("reply that is not UTF-8")
        << Answer::whole(200, "https://results.test/r/\xff") << error << firstLink;
}

void TestDelivery::windowShowsTheOutcome()
{
    QFETCH(Answer, answer);
    QFETCH(QString, text);
    QFETCH(QString, link);

    HttpsServer server;
    QVERIFY(server.start(resultsServerPort()));
    server.setAnswer(Answer::whole(200, firstLink.toUtf8()));

    QPushButton start;
    QWidget linkView;
    QTextBrowser linkText(&linkView);
    QLabel copyPaste;
    MainController controller;
    controller.buttonStartTests = &start;
    controller.textResultsLinkView = &linkView;
    controller.textResultsLink = &linkText;
    controller.textCopyPaste = &copyPaste;
    controller.replaceBattery({printing("first run\n")});
    controller.awakeFromNib();

    runWindowed(controller);
    QCOMPARE(linkText.toPlainText(), "See results at " + firstLink);
    QVERIFY(!linkView.isHidden());
    QVERIFY(!copyPaste.isHidden());

    server.setAnswer(answer);
    controller.replaceBattery({printing("second run\n")});
    runWindowed(controller);
    QCOMPARE(linkText.toPlainText(), text);
    QCOMPARE(*controller.resultsLink(), link);
    QVERIFY(!linkView.isHidden());

    const QString copy = desktop + "/diagnostic_results.txt";
    if (text.startsWith("See results")) {
        QVERIFY(!copyPaste.isHidden());
        QVERIFY(!QFile::exists(copy));
        QVERIFY(opened.urls.isEmpty());
    } else {
        QVERIFY(copyPaste.isHidden());
        QCOMPARE(readFile(copy), controller.report().toUtf8());
        QVERIFY(controller.report().contains("second run"));
        QCOMPARE(opened.urls, QList<QUrl>{QUrl::fromLocalFile(copy)});
    }
}

QTEST_MAIN(TestDelivery)
#include "tst_delivery.moc"
