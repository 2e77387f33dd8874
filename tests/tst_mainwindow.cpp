// The main window as a person uses it: runs of small stub commands whose
// report goes to the local HTTPS results server.

#include "endpoints.h"
#include "httpsserver.h"
#include "maincontroller.h"
#include "mainwindow.h"
#include "testsupport.h"
#include "windowedstartup.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTimer>

class TestMainWindow : public QObject
{
    Q_OBJECT

public slots:
    // Stands in for the desktop's browser and editor.
    void open(const QUrl &url) { opened.append(url); }

private slots:
    void init();
    void cleanup();
    void wholeRunEndsWithTheLinkToCopy();
    void copyAndShareGiveTheLastLinkThereWas();
    void keyboard();
    // These run the application's event loop until the window closes.
    void closingMidRunEndsTheProgram_data();
    void closingMidRunEndsTheProgram();

private:
    void prepareRun(const QByteArray &answer, const QStringList &gates);
    void openGates(const QStringList &gates);
    void completeRun(const QByteArray &answer, const QString &gate);
    QString state() const;
    QString desktopCopy() const { return home->filePath("Desktop/diagnostic_results.txt"); }

    QList<QUrl> opened;
    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<HttpsServer> server;
    std::unique_ptr<MainController> controller;
    std::unique_ptr<MainWindow> window;
};

void TestMainWindow::init()
{
    // A failed upload saves the report on this Desktop; the scripts live here too.
    home = std::make_unique<QTemporaryDir>();
    QVERIFY(home->isValid() && QDir(home->path()).mkpath("Desktop"));
    qputenv("HOME", QFile::encodeName(home->path()));
    qunsetenv("XDG_CONFIG_HOME");
    opened.clear();
    for (const char *scheme : {"http", "https", "file"})
        QDesktopServices::setUrlHandler(scheme, this, "open");
    server = std::make_unique<HttpsServer>();
    QVERIFY(server->start(QString(endpoints::ResultsServerHost).section(u':', 1).toUShort()));
    controller = std::make_unique<MainController>();
    window = std::make_unique<MainWindow>(*controller);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestMainWindow::cleanup()
{
    window.reset();
    controller.reset();
    server.reset();
    home.reset();
    for (const char *scheme : {"http", "https", "file"})
        QDesktopServices::unsetUrlHandler(scheme);
}

// The next run starts one command per gate, each ending once its gate is open.
void TestMainWindow::prepareRun(const QByteArray &answer, const QStringList &gates)
{
    server->answer = {answer};
    const QString script =
        writeScript(*home, "gate.sh", R"(while [ ! -e "$1" ]; do sleep 0.02; done)");
    std::vector<Test> tests;
    for (const QString &gate : gates)
        tests.push_back({script, {home->filePath(gate)}, std::nullopt});
    controller->replaceBattery(std::move(tests));
}

void TestMainWindow::openGates(const QStringList &gates)
{
    for (const QString &gate : gates)
        QVERIFY(QFile(home->filePath(gate)).open(QIODevice::WriteOnly));
}

void TestMainWindow::completeRun(const QByteArray &answer, const QString &gate)
{
    prepareRun(answer, {gate});
    openGates({gate});
    QTest::mouseClick(window->findChild<QPushButton *>("buttonStartTests"), Qt::LeftButton);
    QTRY_VERIFY(window->findChild<QPushButton *>("buttonStartTests")->isEnabled());
}

// The row of the state table the window is in: whether the inputs take input,
// then the controls on show.
QString TestMainWindow::state() const
{
    const QList<QWidget *> inputs{window->findChild<QPushButton *>("buttonStartTests"),
                                  window->findChild<QLineEdit *>("textVeltraneAccount"),
                                  window->findChild<QLineEdit *>("textTicketNo"),
                                  window->findChild<QLineEdit *>("textDomainToTest")};
    const auto enabled = std::count_if(inputs.begin(), inputs.end(),
                                       [](QWidget *input) { return input->isEnabled(); });
    QStringList state{enabled == 4 ? "enabled" : enabled == 0 ? "disabled" : "partly enabled"};
    for (QWidget *control :
         QList<QWidget *>{window->findChild<QLabel *>("textStatus"),
                          window->findChild<QProgressBar *>("progressIndicator"),
                          window->findChild<QWidget *>("textResultsLinkView"),
                          window->findChild<QLabel *>("textCopyPaste"),
                          window->findChild<QPushButton *>("copyToClipBoardLink"),
                          window->findChild<QPushButton *>("shareButton")}) {
        if (control->isVisible())
            state << control->objectName();
    }
    return state.join(' ');
}

void TestMainWindow::wholeRunEndsWithTheLinkToCopy()
{
    QCOMPARE(window->windowTitle(), "Veltrane Diagnostic v1.0.0");
    QCOMPARE(state(), "enabled");

    prepareRun(HttpsServer::reply(200, "https://results.test/r/7\n"), {"a", "b", "c"});
    QTest::mouseClick(window->findChild<QPushButton *>("buttonStartTests"), Qt::LeftButton);
    QCOMPARE(state(), "disabled textStatus progressIndicator");
    QCOMPARE(window->findChild<QProgressBar *>("progressIndicator")->minimum(), 0);
    QCOMPARE(window->findChild<QProgressBar *>("progressIndicator")->maximum(), 3);
    QCOMPARE(window->findChild<QProgressBar *>("progressIndicator")->value(), 0);
    QTRY_COMPARE(window->findChild<QLabel *>("textStatus")->text(),
                 "Please wait. Finished 0 out of 3 tests.");

    openGates({"b"});
    QTRY_COMPARE(window->findChild<QLabel *>("textStatus")->text(),
                 "Please wait. Finished 1 out of 3 tests.");
    QCOMPARE(window->findChild<QProgressBar *>("progressIndicator")->value(), 1);
    QCOMPARE(state(), "disabled textStatus progressIndicator");

    openGates({"a", "c"});
    QTRY_COMPARE(state(),
                 "enabled textResultsLinkView textCopyPaste copyToClipBoardLink shareButton");
    QCOMPARE(window->findChild<QLabel *>("textStatus")->text(),
             "Please wait. Finished 3 out of 3 tests.");
    QCOMPARE(window->findChild<QProgressBar *>("progressIndicator")->value(), 3);
    QTextBrowser &view = *window->findChild<QTextBrowser *>("textResultsLink");
    QCOMPARE(view.toPlainText(), "See results at https://results.test/r/7\n");

    QTest::mouseClick(window->findChild<QPushButton *>("copyToClipBoardLink"), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), "https://results.test/r/7\n");
    // With its line break the reply is no valid URL and share opens nothing;
    // the link in the view ends before the break and opens on a click.
    QTest::mouseClick(window->findChild<QPushButton *>("shareButton"), Qt::LeftButton);
    QVERIFY(opened.isEmpty());
    QTextCursor cursor(view.document());
    cursor.setPosition(20); // inside the link, which starts at 15
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.cursorRect(cursor).center());
    QTRY_COMPARE(opened, QList<QUrl>{QUrl("https://results.test/r/7")});
    QCOMPARE(view.toPlainText(), "See results at https://results.test/r/7\n");
}

void TestMainWindow::copyAndShareGiveTheLastLinkThereWas()
{
    // A failure before any link: nothing to copy or open but the saved report,
    // which goes to the editor.
    QGuiApplication::clipboard()->setText("what the user copied");
    completeRun(HttpsServer::reply(500, "oops"), "first");
    QCOMPARE(state(), "enabled textResultsLinkView copyToClipBoardLink shareButton");
    QCOMPARE(window->findChild<QTextBrowser *>("textResultsLink")->toPlainText(),
             "There was an internal server errror");
    QTest::mouseClick(window->findChild<QPushButton *>("copyToClipBoardLink"), Qt::LeftButton);
    QTest::mouseClick(window->findChild<QPushButton *>("shareButton"), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), "what the user copied");
    QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(desktopCopy())});

    // A link; the next run, started from the keyboard, hides it and fails.
    completeRun(HttpsServer::reply(200, "https://results.test/r/2"), "second");
    prepareRun(HttpsServer::reply(404, "nope"), {"third"});
    QTest::keyClick(window->findChild<QLineEdit *>("textTicketNo"), Qt::Key_Return);
    QCOMPARE(state(), "disabled textStatus progressIndicator");
    openGates({"third"});
    QTRY_COMPARE(state(), "enabled textResultsLinkView copyToClipBoardLink shareButton");
    QCOMPARE(window->findChild<QTextBrowser *>("textResultsLink")->toPlainText(),
             "There was an error submitting the results");
    QTest::mouseClick(window->findChild<QPushButton *>("copyToClipBoardLink"), Qt::LeftButton);
    QTest::mouseClick(window->findChild<QPushButton *>("shareButton"), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), "https://results.test/r/2");
    QCOMPARE(opened.size(), 3); // the report saved by each failure, then the link
    QCOMPARE(opened.last(), QUrl("https://results.test/r/2"));
}

void TestMainWindow::keyboard()
{
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    // A label's mnemonic takes the keyboard to its field, Tab on from there.
    QTest::keyClick(window.get(), Qt::Key_A, Qt::AltModifier);
    for (QWidget *next : QList<QWidget *>{window->findChild<QLineEdit *>("textVeltraneAccount"),
                                          window->findChild<QLineEdit *>("textTicketNo"),
                                          window->findChild<QLineEdit *>("textDomainToTest"),
                                          window->findChild<QPushButton *>("buttonStartTests")}) {
        QCOMPARE(QApplication::focusWidget(), next);
        QTest::keyClick(next, Qt::Key_Tab);
    }

    // What a screen reader announces for each field.
    const QList<QPair<QWidget *, QString>> names{
        {window->findChild<QLineEdit *>("textVeltraneAccount"), "Account:"},
        {window->findChild<QLineEdit *>("textTicketNo"), "Ticket number:"},
        {window->findChild<QLineEdit *>("textDomainToTest"), "Domain to test:"},
        {window->findChild<QTextBrowser *>("textResultsLink"), "Results"}};
    for (const auto &[field, name] : names)
        QCOMPARE(QAccessible::queryAccessibleInterface(field)->text(QAccessible::Name), name);
}

void TestMainWindow::closingMidRunEndsTheProgram_data()
{
    // Each command writes its pid, and that of any child it leaves running.
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("reachesUpload");
    QTest::newRow("while the commands run")
        << QByteArray("sleep 300 &\necho \"$$ $!\" > \"$1.tmp\" && mv \"$1.tmp\" \"$1\"\nwait")
        << false;
    QTest::newRow("while the report uploads")
        << QByteArray("echo $$ > \"$1.tmp\" && mv \"$1.tmp\" \"$1\"") << true;
}

void TestMainWindow::closingMidRunEndsTheProgram()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, reachesUpload);
    window.reset(); // only the window that the program itself shows
    controller.reset();
    server->answer = {}; // never answers
    const QString pids = home->filePath("pids");
    auto program = std::make_unique<MainController>();
    program->replaceBattery({{writeScript(*home, "pids.sh", script), {pids}, std::nullopt}});

    // Starts a run once the window is up and closes the window mid-run.
    const auto shownWindow = [] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *window = qobject_cast<MainWindow *>(widget))
                return window;
        }
        return static_cast<MainWindow *>(nullptr);
    };
    QElapsedTimer sinceClose;
    QTimer poll;
    poll.callOnTimeout(this, [&] {
        MainWindow *shown = shownWindow();
        if (!shown)
            return;
        if (shown->findChild<QPushButton *>("buttonStartTests")->isEnabled()) {
            QTest::mouseClick(shown->findChild<QPushButton *>("buttonStartTests"), Qt::LeftButton);
        } else if (QFile::exists(pids) && server->requests.size() == int(reachesUpload)) {
            poll.stop();
            sinceClose.start();
            shown->close();
        }
    });
    poll.start(20);
    QTimer guard; // should closing the window not end the event loop
    guard.callOnTimeout(this, [] { QCoreApplication::exit(99); });
    guard.start(10000);
    QCOMPARE(showMainWindow(*program), 0);
    // As after the program's event loop: the controller goes, and with it
    // every command still running.
    program.reset();
    QVERIFY2(sinceClose.elapsed() < 1000, qPrintable(QString::number(sinceClose.elapsed())));

    QFile file(pids);
    QVERIFY(file.open(QIODevice::ReadOnly));
    for (const QByteArray &pid : file.readAll().trimmed().split(' ')) {
        QVERIFY(pid.toLongLong() > 0);
        QTRY_VERIFY2_WITH_TIMEOUT(!isRunning(pid.toLongLong()), pid.constData(), 500);
    }
    // Nothing delivered: no upload, no second attempt, no copy saved or shown.
    QTest::qWait(100);
    QCOMPARE(server->requests.size(), int(reachesUpload));
    QVERIFY(!QFile::exists(desktopCopy()));
    QVERIFY(opened.isEmpty());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
