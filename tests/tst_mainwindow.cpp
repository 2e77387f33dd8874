// The main window: what each state of a run shows, what each control does,
// and one run as a person goes through it, against the local results server.

#include "endpoints.h"
#include "httpsserver.h"
#include "maincontroller.h"
#include "mainwindow.h"
#include "testsupport.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextBrowser>

class TestMainWindow : public QObject
{
    Q_OBJECT

public slots:
    // Stands in for the desktop's browser and editor.
    void open(const QUrl &url) { opened.append(url); }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void clickThrough();

private:
    template <typename T = QWidget> T *control(const char *name) const
    {
        return window->findChild<T *>(name);
    }
    QString state() const;
    void startRun(const char *input, const QByteArray &answer, const QStringList &gates);

    QList<QUrl> opened;
    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<HttpsServer> server;
    std::unique_ptr<MainController> controller;
    std::unique_ptr<MainWindow> window;
};

static const char *const schemes[] = {"http", "https", "file"};

void TestMainWindow::initTestCase()
{
    for (const char *scheme : schemes)
        QDesktopServices::setUrlHandler(scheme, this, "open");
    qunsetenv("XDG_CONFIG_HOME");
}

void TestMainWindow::cleanupTestCase()
{
    for (const char *scheme : schemes)
        QDesktopServices::unsetUrlHandler(scheme);
}

void TestMainWindow::init()
{
    // A failed upload saves the report on this Desktop; the scripts live here too.
    window.reset();
    home = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(home->path()).mkpath("Desktop"));
    qputenv("HOME", QFile::encodeName(home->path()));
    opened.clear();
    server = std::make_unique<HttpsServer>();
    QVERIFY(server->start(QString(endpoints::ResultsServerHost).section(u':', 1).toUShort()));
    controller = std::make_unique<MainController>(HttpsServer::clientTls());
    window = std::make_unique<MainWindow>(*controller);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

// Whether the inputs take input, then the controls on show.
QString TestMainWindow::state() const
{
    int enabled = 0;
    for (const char *input :
         {"buttonStartTests", "textVeltraneAccount", "textTicketNo", "textDomainToTest"})
        enabled += control(input)->isEnabled();
    QStringList state{enabled == 4 ? "enabled" : enabled == 0 ? "disabled" : "partly enabled"};
    for (const char *name :
         {"textMissingTools", "textStatus", "progressIndicator", "textResultsLinkView",
          "findingsList", "textCopyPaste", "copyToClipBoardLink", "shareButton"}) {
        if (control(name)->isVisible())
            state << name;
    }
    return state.join(' ');
}

// The next run starts by input, the start button or Enter in a field: one
// command per gate, each ending once its gate is open.
void TestMainWindow::startRun(const char *input, const QByteArray &answer, const QStringList &gates)
{
    server->answer = {answer};
    const QString script =
        writeScript(*home, "gate.sh", R"(while [ ! -e "$1" ]; do sleep 0.02; done)");
    std::vector<Test> tests;
    for (const QString &gate : gates)
        tests.push_back({script, {home->filePath(gate)}, std::nullopt});
    controller->replaceBattery(std::move(tests));
    if (auto *button = qobject_cast<QPushButton *>(control(input)))
        QTest::mouseClick(button, Qt::LeftButton);
    else
        QTest::keyClick(control(input), Qt::Key_Return);
}

// Also takes docs/window.png when VELTRANE_SCREENSHOT names the file to write
// (scripts/screenshot.sh).
void TestMainWindow::clickThrough()
{
    const QString busy = "disabled textStatus progressIndicator";
    const QString linkShown = "enabled textResultsLinkView textCopyPaste copyToClipBoardLink "
                              "shareButton";
    const QUrl link("https://results.veltrane.test/r/7f3a9c2e");
    const auto openGates = [this](const QStringList &gates) {
        for (const QString &gate : gates)
            QVERIFY(QFile(home->filePath(gate)).open(QIODevice::WriteOnly));
    };
    QCOMPARE(window->windowTitle(), "Veltrane Diagnostic v1.0.0");
    QCOMPARE(state(), "enabled");
    // Before any link, a failure leaves nothing to copy or open but the saved copy.
    emit controller->delivery().uploadFailed("There was an error submitting the results", "/d/c");
    QCOMPARE(state(), "enabled textResultsLinkView copyToClipBoardLink shareButton");
    QVERIFY(!control("shareButton")->isEnabled() && !control("copyToClipBoardLink")->isEnabled());
    QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile("/d/c")});
    opened.clear();

    QTest::keyClicks(control("textVeltraneAccount"), "acme-corp");
    QTest::keyClicks(control("textTicketNo"), "48213");
    startRun("buttonStartTests", HttpsServer::reply(200, link.toEncoded()), {"a", "b", "c"});
    QCOMPARE(state(), busy);
    QTRY_COMPARE(control<QLabel>("textStatus")->text(), "Please wait. Finished 0 out of 3 tests.");
    openGates({"b"});
    QTRY_COMPARE(control<QLabel>("textStatus")->text(), "Please wait. Finished 1 out of 3 tests.");
    openGates({"a", "c"});
    QTRY_COMPARE(state(), linkShown);
    QCOMPARE(control<QLabel>("textStatus")->text(), "Please wait. Finished 3 out of 3 tests.");
    auto *bar = control<QProgressBar>("progressIndicator");
    QCOMPARE((QList<int>{bar->value(), bar->maximum()}), (QList<int>{3, 3}));
    if (const QByteArray path = qgetenv("VELTRANE_SCREENSHOT"); !path.isEmpty()) {
        QTest::qWait(500); // the last state painted
        QVERIFY(window->screen()->grabWindow(window->winId()).save(QFile::decodeName(path)));
    }
    QTest::mouseClick(control<QPushButton>("copyToClipBoardLink"), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), link.toString());
    QTest::mouseClick(control<QPushButton>("shareButton"), Qt::LeftButton);
    QCOMPARE(opened, QList<QUrl>{link});

    // The reply's final line break is dropped: Open Link and a click on the
    // link in the view open the same address.
    startRun("textVeltraneAccount", HttpsServer::reply(200, "https://r.test/2\n"), {"a"});
    QCOMPARE(state(), busy);
    QTRY_COMPARE(state(), linkShown);
    QTest::mouseClick(control<QPushButton>("shareButton"), Qt::LeftButton);
    QTextBrowser &view = *control<QTextBrowser>("textResultsLink");
    QTextCursor cursor(view.document());
    cursor.setPosition(20); // inside the link, which starts at 15
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.cursorRect(cursor).center());
    QTRY_COMPARE(opened, (QList<QUrl>{link, QUrl("https://r.test/2"), QUrl("https://r.test/2")}));

    // What the run tells as it starts shows while it lasts: the domain, which
    // dig would take for an option, and a missing tool.
    QTest::keyClicks(control("textDomainToTest"), "-x.test");
    QTest::ignoreMessage(QtWarningMsg, "not testing the domain \"-x.test\": dig and traceroute "
                                       "would take a name beginning with \"-\" for an option");
    startRun("textDomainToTest", HttpsServer::reply(200, "https://r.test/3"), {"d"});
    emit controller->toolsMissing({{"/usr/bin/dig", "bind9-dnsutils"}});
    QCOMPARE(state(), "disabled textMissingTools textStatus progressIndicator");
    QTRY_COMPARE(control<QLabel>("textStatus")->text(),
                 "Please wait. Finished 0 out of 1 tests.\nNot testing the domain \"-x.test\": "
                 "dig and traceroute would take a name beginning with \"-\" for an option.");
    openGates({"d"});
    QTRY_COMPARE(state(), linkShown);
    QTest::mouseClick(control<QPushButton>("shareButton"), Qt::LeftButton);
    QCOMPARE(opened.last(), QUrl("https://r.test/3"));

    // A failed run shows why and the saved report; the last link stays.
    control<QLineEdit>("textDomainToTest")->clear();
    startRun("textTicketNo", HttpsServer::reply(500, "oops"), {"e"});
    QCOMPARE(state(), busy);
    QTRY_COMPARE(control<QLabel>("textStatus")->text(), "Please wait. Finished 0 out of 1 tests.");
    openGates({"e"});
    QTRY_COMPARE(state(), "enabled textResultsLinkView copyToClipBoardLink shareButton");
    const QString saved = home->filePath("Desktop/diagnostic_results.txt");
    QCOMPARE(view.toPlainText(),
             "There was an internal server errror\nThe report is saved in " + saved);
    QTextCursor end(view.document());
    end.movePosition(QTextCursor::End);
    QCOMPARE(end.charFormat().anchorHref(), QUrl::fromLocalFile(saved).toString());
    QCOMPARE(opened.last(), QUrl::fromLocalFile(saved));
    QTest::mouseClick(control<QPushButton>("copyToClipBoardLink"), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), "https://r.test/3");
    QCOMPARE(server->requests.size(), 4);
    for (const QByteArray &request : server->requests)
        QVERIFY(HttpsServer::uploadedData(request).startsWith("Veltrane account: acme-corp\n"
                                                              "Veltrane ticket: 48213\n"));

    // Hovering a finding names the commands it was read from.
    emit controller->findingsFound(
        {{Finding::Level::Fine,
          "all well",
          {BatteryRow::DebugNamePort53, BatteryRow::DebugNamePort443}}},
        {{BatteryRow::DebugNamePort53, "dig a"}, {BatteryRow::DebugNamePort443, "dig b"}});
    QCOMPARE(state(), "enabled textResultsLinkView findingsList copyToClipBoardLink shareButton");
    QListWidgetItem *finding = control<QListWidget>("findingsList")->item(0);
    QCOMPARE(finding->text() + '\n' + finding->toolTip(),
             "ok   all well\nRead from:\ndig a\ndig b");
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
