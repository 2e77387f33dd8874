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
    void states_data();
    void states();
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
    controller = std::make_unique<MainController>();
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

// Steps: "start" a run of 3 tests, "progress" 1 of them, show a "link" or an
// "error" and the saved copy; what the run tells as it starts ("skip", "missing")
// and its "findings".
void TestMainWindow::states_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("text");
    const auto row = [](const char *name, const QStringList &steps, const QString &expected,
                        const QString &text) { QTest::newRow(name) << steps << expected << text; };
    const QString waiting = "Please wait. Finished 1 out of 3 tests.";
    row("ready", {}, "enabled", "");
    row("error shown", {"start", "error"},
        "enabled textResultsLinkView copyToClipBoardLink shareButton",
        "There was an error submitting the results\nThe report is saved in /d/c");
    row("busy again", {"skip", "missing", "start", "link", "start", "progress"},
        "disabled textStatus progressIndicator", waiting);
    row("busy, told", {"skip", "missing", "start", "progress"},
        "disabled textMissingTools textStatus progressIndicator",
        waiting + "\nNot testing the domain \"localhost\": it has no dot.");
    row("findings", {"start", "findings", "link"},
        "enabled textResultsLinkView findingsList textCopyPaste copyToClipBoardLink shareButton",
        "See results at https://r.test/1");
}

void TestMainWindow::states()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, expected);
    QFETCH(QString, text);
    QCOMPARE(window->windowTitle(), "Veltrane Diagnostic v1.0.0");
    for (const QString &step : steps) {
        if (step == "start")
            emit controller->runStarted(3);
        else if (step == "progress")
            emit controller->progressChanged(1, 3);
        else if (step == "link")
            emit controller->uploadSucceeded("https://r.test/1");
        else if (step == "skip")
            emit controller->testDomainSkipped("not testing the domain \"localhost\": it has no "
                                               "dot");
        else if (step == "missing")
            emit controller->toolsMissing({{"/usr/bin/dig", "bind9-dnsutils"}});
        else if (step == "findings")
            emit controller->findingsFound({{Finding::Level::Fine, "all well", {13, 14}}},
                                           {{13, "dig a"}, {14, "dig b"}});
        else
            emit controller->uploadFailed("There was an error submitting the results", "/d/c");
    }
    QCOMPARE(state(), expected);
    if (expected.startsWith("disabled"))
        QCOMPARE(control<QLabel>("textStatus")->text(), text);
    else
        QCOMPARE(control<QTextBrowser>("textResultsLink")->toPlainText(), text);
    auto *bar = control<QProgressBar>("progressIndicator");
    if (steps.contains("progress"))
        QCOMPARE((QList<int>{bar->minimum(), bar->value(), bar->maximum()}), (QList<int>{0, 1, 3}));
    QCOMPARE(opened,
             steps.contains("error") ? QList<QUrl>{QUrl::fromLocalFile("/d/c")} : QList<QUrl>{});
    // No link to copy or open after a failure, but the saved copy is one.
    QCOMPARE(control("shareButton")->isEnabled() && control("copyToClipBoardLink")->isEnabled(),
             !steps.contains("error"));
    QTextCursor end(control<QTextBrowser>("textResultsLink")->document());
    end.movePosition(QTextCursor::End);
    if (steps.contains("error"))
        QCOMPARE(end.charFormat().anchorHref(), "file:///d/c");
    if (QListWidgetItem *finding = control<QListWidget>("findingsList")->item(0))
        QCOMPARE(finding->text() + '\n' + finding->toolTip(),
                 "ok   all well\nRead from:\ndig a\ndig b");
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
    const QString linkShown = "enabled textResultsLinkView textCopyPaste copyToClipBoardLink "
                              "shareButton";
    const QUrl link("https://results.veltrane.test/r/7f3a9c2e");
    const auto openGates = [this](const QStringList &gates) {
        for (const QString &gate : gates)
            QVERIFY(QFile(home->filePath(gate)).open(QIODevice::WriteOnly));
    };
    QTest::keyClicks(control("textVeltraneAccount"), "acme-corp");
    QTest::keyClicks(control("textTicketNo"), "48213");
    startRun("buttonStartTests", HttpsServer::reply(200, link.toEncoded()), {"a", "b", "c"});
    QCOMPARE(state(), "disabled textStatus progressIndicator");
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
    QTRY_COMPARE(state(), linkShown);
    QTest::mouseClick(control<QPushButton>("shareButton"), Qt::LeftButton);
    QTextBrowser &view = *control<QTextBrowser>("textResultsLink");
    QTextCursor cursor(view.document());
    cursor.setPosition(20); // inside the link, which starts at 15
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.cursorRect(cursor).center());
    QTRY_COMPARE(opened, (QList<QUrl>{link, QUrl("https://r.test/2"), QUrl("https://r.test/2")}));

    // A failed run shows why and the saved report; the last link stays.
    startRun("textTicketNo", HttpsServer::reply(500, "oops"), {"a"});
    QTRY_COMPARE(state(), "enabled textResultsLinkView copyToClipBoardLink shareButton");
    QCOMPARE(view.toPlainText(), "There was an internal server errror\nThe report is saved in " +
                                     home->filePath("Desktop/diagnostic_results.txt"));
    QCOMPARE(opened.last(), QUrl::fromLocalFile(home->filePath("Desktop/diagnostic_results.txt")));
    QTest::mouseClick(control<QPushButton>("copyToClipBoardLink"), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), "https://r.test/2");

    // The domain, which dig would take for an option, shows in the warning.
    QTest::keyClicks(control("textDomainToTest"), "-x.test");
    QTest::ignoreMessage(QtWarningMsg, "not testing the domain \"-x.test\": dig and traceroute "
                                       "would take a name beginning with \"-\" for an option");
    startRun("textDomainToTest", HttpsServer::reply(200, "https://r.test/3"), {"a"});
    QTRY_COMPARE(state(), linkShown);
    QCOMPARE(server->requests.size(), 4);
    for (const QByteArray &request : server->requests)
        QVERIFY(HttpsServer::uploadedData(request).startsWith("Veltrane account: acme-corp\n"
                                                              "Veltrane ticket: 48213\n"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
