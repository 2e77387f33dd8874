// The main window: what each state of a run shows, what each control does,
// and one run as a person goes through it, against the local results server;
// what it tells a screen reader, and its texts in another language.

#include "endpoints.h"
#include "findingslist.h"
#include "httpsserver.h"
#include "maincontroller.h"
#include "mainwindow.h"
#include "reportfindings.h"
#include "testsupport.h"
#include "translations.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QSettings>
#include <QTest>
#include <QTextBrowser>
#include <QTranslator>
#include <QTreeView>

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
    void keyboardScreenReaderAndLanguage();

private:
    template <typename T = QWidget> T *control(const char *name) const
    {
        return window->findChild<T *>(name);
    }
    QString state() const;
    void screenshots(const QString &path);
    void findingsReadBack(const QByteArray &report);
    QString shownReport();
    void startRun(const char *input, const QByteArray &answer, const QStringList &gates);

    QList<QUrl> opened;
    QTemporaryDir settings;
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
    // The window keeps its size here; the desktop folder stays under HOME.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings.path()));
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
    QSettings("Veltrane", QCoreApplication::applicationName()).clear();
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

// The findings read back from a report the last run sent or saved are the
// ones the window shows.
void TestMainWindow::findingsReadBack(const QByteArray &report)
{
    const BatteryNames names(builtInEndpoints());
    ReportFindingsReader reader(names);
    reader.feed(report);
    control<FindingsList>("findingsList")->copyFindings();
    QCOMPARE(findingsText(reader.finish().findings), QGuiApplication::clipboard()->text());
}

// What Show Report shows, once the button is pressed; the view is closed again.
QString TestMainWindow::shownReport()
{
    QTest::mouseClick(control<QPushButton>("showReportButton"), Qt::LeftButton);
    auto *view = window->findChild<QPlainTextEdit *>();
    const QString shown = view && view->isVisible() ? view->toPlainText() : QString();
    if (view)
        view->window()->close();
    return shown;
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
// (scripts/screenshot.sh), and the same under a dark palette beside it.
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
    // Where the report goes, said before the first run.
    emit control<QLabel>("textWhatIsSent")->linkActivated("#what-is-sent");
    auto *note = window->findChild<QMessageBox *>("whatIsSentNote");
    QVERIFY(note && note->isVisible() && note->text().contains(endpoints::ResultsServerHost) &&
            note->text().contains("[masked]"));
    note->close();
    // Before any link, a failure leaves nothing to copy, open or show but the saved copy.
    emit controller->delivery().uploadFailed("There was an error submitting the results", "/d/c");
    QCOMPARE(state(), "enabled textResultsLinkView copyToClipBoardLink shareButton");
    QVERIFY(!control("shareButton")->isEnabled() && !control("copyToClipBoardLink")->isEnabled() &&
            !control("showReportButton")->isEnabled());
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
    findingsReadBack(HttpsServer::uploadedData(server->requests.last()));
    QCOMPARE(control<QLabel>("textStatus")->text(), "Please wait. Finished 3 out of 3 tests.");
    auto *bar = control<QProgressBar>("progressIndicator");
    QCOMPARE((QList<int>{bar->value(), bar->maximum()}), (QList<int>{3, 3}));
    if (const QString path = qEnvironmentVariable("VELTRANE_SCREENSHOT"); !path.isEmpty())
        screenshots(path);
    QCOMPARE(shownReport(), HttpsServer::uploadedData(server->requests.last()));
    QTest::mouseClick(control<QPushButton>("copyToClipBoardLink"), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), link.toString());
    QTest::mouseClick(control<QPushButton>("shareButton"), Qt::LeftButton);
    QCOMPARE(opened, QList<QUrl>{link});

    // The reply's final line break is dropped: Open Link and a click on the
    // link in the view open the same address.
    startRun("textVeltraneAccount", HttpsServer::reply(200, "https://r.test/2\n"), {"a"});
    QCOMPARE(state(), busy);
    QVERIFY(!control("showReportButton")->isEnabled());
    QTRY_COMPARE(state(), linkShown);
    findingsReadBack(HttpsServer::uploadedData(server->requests.last()));
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
    findingsReadBack(HttpsServer::uploadedData(server->requests.last()));
    // A blank inside makes it no address to hand to the desktop.
    QTest::mouseClick(control<QPushButton>("shareButton"), Qt::LeftButton);
    QCOMPARE(opened.last(), QUrl("https://r.test/3"));

    // A failed run shows why and the saved report; the last link stays.
    control<QLineEdit>("textDomainToTest")->clear();
    startRun("textTicketNo", HttpsServer::reply(500, "oops"), {"e"});
    QCOMPARE(state(), busy);
    QTRY_COMPARE(control<QLabel>("textStatus")->text(), "Please wait. Finished 0 out of 1 tests.");
    openGates({"e"});
    QTRY_COMPARE(state(), "enabled textResultsLinkView copyToClipBoardLink shareButton");
    findingsReadBack(HttpsServer::uploadedData(server->requests.last()));
    const QString saved = home->filePath("Desktop/diagnostic_results.txt");
    QFile copy(saved);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    findingsReadBack(copy.readAll());
    QVERIFY(copy.seek(0));
    QCOMPARE(shownReport(), copy.readAll());
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

    // The default size shows the headline and five findings; a test's whole
    // output is in the saved copy.
    std::vector<Finding> findings(8, {Finding::Level::Fine, QString(140, u'x'), {}});
    findings[0] = {Finding::Level::WorthALook, "port 53 blocked", {BatteryRow::DebugNamePort53}};
    emit controller->findingsFound(findings, {{BatteryRow::DebugNamePort53, "dig a"}}, {});
    QCOMPARE(state(), "enabled textResultsLinkView findingsList copyToClipBoardLink shareButton");
    QCOMPARE(control<QLabel>("textFindingsHeadline")->text(), "1 worth a look \u00b7 7 fine");
    auto *list = control<QTreeView>("findingsList");
    QVERIFY(list->visualRect(list->model()->index(4, 0)).bottom() < list->viewport()->height());
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Space);
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(opened.last(), QUrl::fromLocalFile(saved));

    // A bigger window gives the room to the results and the findings, and
    // opens at that size next time.
    const int shown = view.height() + list->height();
    window->resize(window->width(), window->height() + 200);
    QTRY_VERIFY(view.height() + list->height() >= shown + 150);
    const QSize size = window->size();
    window.reset();
    window = std::make_unique<MainWindow>(*controller);
    QCOMPARE(window->size(), size);
}

// Findings such a run could show, the first one opened.
void TestMainWindow::screenshots(const QString &path)
{
    using enum BatteryRow;
    const QString dig = "/usr/bin/dig @127.0.0.10 -p %1 debug.veltrane.test";
    emit controller->findingsFound(
        {{Finding::Level::WorthALook,
          "The service's resolver 127.0.0.10 by port: 53 timed out, 443 answered: port 53 does "
          "not get through on this network while 443 does",
          {DebugNamePort53, DebugNamePort443}},
         {Finding::Level::CouldNotTell,
          "The system's resolver settings: they name no resolver",
          {}},
         {Finding::Level::Fine, "Pings: 22 of 22 answered", {}},
         {Finding::Level::Fine, "Traceroutes: reached in 1 hop: 127.0.0.10, 127.0.0.20", {}}},
        {{DebugNamePort53, dig.arg(53)}, {DebugNamePort443, dig.arg(443)}},
        {{DebugNamePort53, ";; communications error to 127.0.0.10#53: timed out"},
         {DebugNamePort443, ";; ->>HEADER<<- opcode: QUERY, status: NOERROR, id: 3321"}});
    auto *list = control<QTreeView>("findingsList");
    list->expand(list->model()->index(0, 0));
    QPalette dark(QColor(0x35, 0x35, 0x35), QColor(0x2a, 0x2a, 0x2a));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::Link, QColor(0x3d, 0xae, 0xe9)); // as dark themes lighten it
    for (const QString &file : {path, QString(path).replace(".png", "-dark.png")}) {
        QTest::qWait(500); // the last state painted
        QVERIFY(window->screen()->grabWindow(window->winId()).save(file));
        QApplication::setPalette(dark);
    }
    QApplication::setPalette(QPalette());
}

static QAccessibleInterface *accessible(QObject *object)
{
    return QAccessible::queryAccessibleInterface(object);
}

// How many different mnemonics the buttons and the fields' labels have.
static qsizetype mnemonics(const QWidget &window)
{
    QSet<QString> keys;
    for (const QAbstractButton *button : window.findChildren<QAbstractButton *>())
        keys.insert(QKeySequence::mnemonic(button->text()).toString());
    for (const QLabel *label : window.findChildren<QLabel *>()) {
        if (label->buddy())
            keys.insert(QKeySequence::mnemonic(label->text()).toString());
    }
    return keys.contains(QString()) ? -1 : keys.size();
}

// The window is a frame named by its title, each button and field has a
// mnemonic of its own, the status line is named by what it says and the Tab
// key follows the layout; in English (French has no translation) and German,
// whose window sends the same report.
void TestMainWindow::keyboardScreenReaderAndLanguage()
{
    QVERIFY(QFile::exists(":/i18n/veltrane-diagnostic_de.qm"));
    QCOMPARE(accessible(window.get())->role(), QAccessible::Window);
    QCOMPARE(accessible(window.get())->text(QAccessible::Name), window->windowTitle());
    QByteArrayList seen;
    for (const char *language : {"fr_FR", "de_DE"}) {
        installTranslations(*QCoreApplication::instance(), QLocale(language));
        window = std::make_unique<MainWindow>(*controller);
        window->show();
        QCOMPARE(mnemonics(*window), 7);
        QTest::keyClicks(control("textVeltraneAccount"), "acme");
        startRun("textVeltraneAccount", HttpsServer::reply(200, "https://r.test/1"), {"a"});
        QTRY_VERIFY(!control<QLabel>("textStatus")->text().isEmpty());
        QCOMPARE(control("textStatus")->accessibleName(), control<QLabel>("textStatus")->text());
        QVERIFY(QFile(home->filePath("a")).open(QIODevice::WriteOnly));
        QTRY_VERIFY(control("textCopyPaste")->isVisible());
        findingsReadBack(HttpsServer::uploadedData(server->requests.last()));
        emit control<QLabel>("textWhatIsSent")->linkActivated("#what-is-sent");
        auto *note = window->findChild<QMessageBox *>("whatIsSentNote");
        QVERIFY(note);
        seen << HttpsServer::uploadedData(server->requests.last())
             << control<QPushButton>("buttonStartTests")->text().toUtf8()
             << note->text().section("</b>", 0, 0).toUtf8();
        note->close();
        qDeleteAll(QCoreApplication::instance()->findChildren<QTranslator *>());
    }
    QCOMPARE(seen[3], seen[0]);
    QCOMPARE(seen[1] + " / " + seen[4], "&Start Tests / Tests &starten");
    QCOMPARE(seen[2] + " / " + seen[5], "<p><b>What the report holds: / "
                                        "<p><b>Was der Bericht enthält:");

    // The link in the results view is a Tab stop of its own.
    QStringList order;
    control("textVeltraneAccount")->setFocus();
    for (int i = 0; i < 8; ++i) {
        order.append(QApplication::focusWidget()->objectName());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order.join(' '), "textVeltraneAccount textTicketNo textDomainToTest buttonStartTests "
                              "textResultsLink textResultsLink copyToClipBoardLink shareButton");
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
