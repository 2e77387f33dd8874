// The main window as a person uses it: runs of small stub commands whose
// report goes to a local HTTPS results server.

#include "endpoints.h"
#include "httpsserver.h"
#include "maincontroller.h"
#include "mainwindow.h"
#include "startup.h"
#include "testsupport.h"
#include "urlrecorder.h"

#include <QAccessible>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Waits until the file named by its argument exists, then says so.
const QByteArray gateScript = R"(while [ ! -e "$1" ]; do sleep 0.02; done
echo "passed $1")";

// Writes its own pid and that of a child it leaves running into the file
// named by its argument, then waits for the child.
const QByteArray lingerScript = R"(sleep 300 &
echo "$$ $!" > "$1.tmp"
mv "$1.tmp" "$1"
wait)";

quint16 resultsServerPort()
{
    return QString(endpoints::ResultsServerHost).section(u':', 1).toUShort();
}

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

// Gone, or dead and waiting to be reaped.
bool isRunning(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && line.mid(close + 2, 1) != "Z";
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void startsReady();
    void runGoesFromBusyToLinkShown();
    void failedUploadShowsTheErrorWithoutHint();
    void secondRunStartedWithEnterHidesTheResults();
    void copyPutsExactlyTheStoredLinkOnTheClipboard();
    void failedUploadAfterSuccessKeepsTheEarlierLink();
    void copyAndShareWithoutLinkDoNothing();
    void tabOrderAndLabels();
    void windowlessRunLeavesAbsentControlsAlone();
    // These run the application's event loop until the window closes.
    void closingDuringRunEndsProgramAndCommands();
    void closingDuringUploadDeliversNothing();

private:
    void useGates(int count);
    void releaseGates(int count);
    void removeGates(int count);
    void completeRun(const QByteArray &answer, int tests = 1);
    void verifyLinkShown(const QString &message);
    qint64 showProgramAndCloseWhen(std::unique_ptr<MainController> &program,
                                   const std::function<bool()> &ready);

    QTemporaryDir dir;
    QTemporaryDir home;
    QByteArray previousHome, previousConfig;
    std::unique_ptr<HttpsServer> server;
    std::unique_ptr<UrlRecorder> handler;
    std::unique_ptr<MainController> controller;
    std::unique_ptr<MainWindow> window;
};

void TestMainWindow::initTestCase()
{
    // A failed upload saves the report on the Desktop: this one.
    QVERIFY(dir.isValid() && home.isValid());
    QVERIFY(QDir(home.path()).mkpath("Desktop"));
    QVERIFY(QDir(home.path()).mkpath("config"));
    previousHome = qgetenv("HOME");
    previousConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
}

void TestMainWindow::cleanupTestCase()
{
    qputenv("HOME", previousHome);
    qputenv("XDG_CONFIG_HOME", previousConfig);
}

void TestMainWindow::init()
{
    server = std::make_unique<HttpsServer>();
    QVERIFY(server->start(resultsServerPort()));
    handler = std::make_unique<UrlRecorder>();
    controller = std::make_unique<MainController>();
    window = std::make_unique<MainWindow>(*controller);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestMainWindow::cleanup()
{
    window.reset();
    controller.reset();
    handler.reset();
    server.reset();
    for (const QString &name : QDir(dir.path()).entryList(QDir::Files))
        QFile::remove(dir.filePath(name));
    QFile::remove(home.filePath("Desktop/diagnostic_results.txt"));
}

// Every run starts `count` commands; the i-th ends once gate i exists.
void TestMainWindow::useGates(int count)
{
    const QString gate = writeScript(dir, "gate.sh", gateScript);
    std::vector<Test> tests;
    for (int i = 1; i <= count; ++i)
        tests.push_back({gate, {dir.filePath(QStringLiteral("go%1").arg(i))}, std::nullopt});
    controller->replaceBattery(std::move(tests));
}

void TestMainWindow::releaseGates(int count)
{
    for (int i = 1; i <= count; ++i)
        touch(dir.filePath(QStringLiteral("go%1").arg(i)));
}

void TestMainWindow::removeGates(int count)
{
    for (int i = 1; i <= count; ++i)
        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("go%1").arg(i))));
}

// A whole run from the start button to the upload's outcome.
void TestMainWindow::completeRun(const QByteArray &answer, int tests)
{
    server->answer = {answer};
    useGates(tests);
    QTest::mouseClick(controller->buttonStartTests, Qt::LeftButton);
    releaseGates(tests);
    QTRY_VERIFY(controller->buttonStartTests->isEnabled());
    removeGates(tests);
}

void TestMainWindow::verifyLinkShown(const QString &message)
{
    QVERIFY(controller->textResultsLinkView->isVisible());
    QCOMPARE(controller->textResultsLink->toPlainText(), message);
    QVERIFY(controller->textCopyPaste->isVisible());
    QVERIFY(controller->copyToClipBoardLink->isVisible());
    QVERIFY(controller->shareButton->isVisible());
    QVERIFY(!controller->textStatus->isVisible());
    QVERIFY(!controller->progressIndicator->isVisible());
}

void TestMainWindow::startsReady()
{
    QCOMPARE(window->windowTitle(), "Veltrane Diagnostic v1.0.0");
    QVERIFY(controller->buttonStartTests->isEnabled());
    QVERIFY(controller->textVeltraneAccount->isEnabled());
    QVERIFY(!controller->textResultsLinkView->isVisible());
    QVERIFY(!controller->textCopyPaste->isVisible());
    QVERIFY(!controller->copyToClipBoardLink->isVisible());
    QVERIFY(!controller->shareButton->isVisible());
}

void TestMainWindow::runGoesFromBusyToLinkShown()
{
    server->answer = {HttpsServer::reply(200, "https://results.test/r/1")};
    useGates(3);
    QTest::mouseClick(controller->buttonStartTests, Qt::LeftButton);

    // Busy: the battery is started, the inputs are locked and the bar is set
    // up; the status line follows from the event loop.
    for (QWidget *input : {static_cast<QWidget *>(controller->buttonStartTests),
                           static_cast<QWidget *>(controller->textVeltraneAccount),
                           static_cast<QWidget *>(controller->textTicketNo),
                           static_cast<QWidget *>(controller->textDomainToTest)})
        QVERIFY(!input->isEnabled());
    QCOMPARE(controller->progressIndicator->minimum(), 0);
    QCOMPARE(controller->progressIndicator->maximum(), 3);
    QCOMPARE(controller->progressIndicator->value(), 0);
    QVERIFY(controller->textStatus->isVisible());
    QVERIFY(controller->progressIndicator->isVisible());
    QVERIFY(!controller->copyToClipBoardLink->isVisible());
    QVERIFY(controller->textStatus->text().isEmpty());
    QTRY_COMPARE(controller->textStatus->text(), "Please wait. Finished 0 out of 3 tests.");

    touch(dir.filePath("go2"));
    QTRY_COMPARE(controller->textStatus->text(), "Please wait. Finished 1 out of 3 tests.");
    QCOMPARE(controller->progressIndicator->value(), 1);
    QVERIFY(!controller->buttonStartTests->isEnabled());

    releaseGates(3);
    QTRY_VERIFY(controller->buttonStartTests->isEnabled());
    QCOMPARE(controller->textStatus->text(), "Please wait. Finished 3 out of 3 tests.");
    QCOMPARE(controller->progressIndicator->value(), 3);
    QVERIFY(controller->textDomainToTest->isEnabled());
    verifyLinkShown("See results at https://results.test/r/1");
    QCOMPARE(server->requests.size(), 1);
}

void TestMainWindow::failedUploadShowsTheErrorWithoutHint()
{
    completeRun(HttpsServer::reply(500, "oops"));

    QVERIFY(controller->textResultsLinkView->isVisible());
    QCOMPARE(controller->textResultsLink->toPlainText(), "There was an internal server errror");
    QVERIFY(!controller->textCopyPaste->isVisible());
    QVERIFY(controller->copyToClipBoardLink->isVisible());
    QVERIFY(controller->shareButton->isVisible());
    QVERIFY(!controller->textStatus->isVisible());
    QVERIFY(!controller->progressIndicator->isVisible());
    QVERIFY(controller->textVeltraneAccount->isEnabled());
}

void TestMainWindow::secondRunStartedWithEnterHidesTheResults()
{
    completeRun(HttpsServer::reply(200, "https://results.test/r/1"));
    verifyLinkShown("See results at https://results.test/r/1");

    server->answer = {HttpsServer::reply(200, "https://results.test/r/2")};
    useGates(2);
    controller->textTicketNo->setFocus();
    QTest::keyClick(controller->textTicketNo, Qt::Key_Return);

    QVERIFY(!controller->buttonStartTests->isEnabled());
    QVERIFY(!controller->textTicketNo->isEnabled());
    QVERIFY(!controller->textResultsLinkView->isVisible());
    QVERIFY(!controller->textCopyPaste->isVisible());
    QVERIFY(!controller->copyToClipBoardLink->isVisible());
    QVERIFY(!controller->shareButton->isVisible());
    // Hidden, not cleared: the next message replaces it.
    QCOMPARE(controller->textResultsLink->toPlainText(), "See results at https://results.test/r/1");
    QTRY_COMPARE(controller->textStatus->text(), "Please wait. Finished 0 out of 2 tests.");

    releaseGates(2);
    QTRY_VERIFY(controller->buttonStartTests->isEnabled());
    verifyLinkShown("See results at https://results.test/r/2");
}

void TestMainWindow::copyPutsExactlyTheStoredLinkOnTheClipboard()
{
    completeRun(HttpsServer::reply(200, "https://results.test/r/7\n"));

    QTest::mouseClick(controller->copyToClipBoardLink, Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), "https://results.test/r/7\n");

    // With its line break the reply is no valid URL, so there is nothing to
    // open; the link in the view, which ends before the break, still opens.
    QTest::mouseClick(controller->shareButton, Qt::LeftButton);
    QVERIFY(handler->openedLinks().isEmpty());
}

void TestMainWindow::failedUploadAfterSuccessKeepsTheEarlierLink()
{
    completeRun(HttpsServer::reply(200, "https://results.test/r/first"));
    completeRun(HttpsServer::reply(404, "nope"));
    QCOMPARE(controller->textResultsLink->toPlainText(),
             "There was an error submitting the results");

    QGuiApplication::clipboard()->setText("something else");
    QTest::mouseClick(controller->copyToClipBoardLink, Qt::LeftButton);
    QTest::mouseClick(controller->shareButton, Qt::LeftButton);

    QCOMPARE(QGuiApplication::clipboard()->text(), "https://results.test/r/first");
    QCOMPARE(handler->openedLinks(), QList<QUrl>{QUrl("https://results.test/r/first")});
}

void TestMainWindow::copyAndShareWithoutLinkDoNothing()
{
    QGuiApplication::clipboard()->setText("what the user copied");
    completeRun(HttpsServer::reply(500, "oops"));
    QVERIFY(controller->copyToClipBoardLink->isVisible());

    QTest::mouseClick(controller->copyToClipBoardLink, Qt::LeftButton);
    QTest::mouseClick(controller->shareButton, Qt::LeftButton);

    QCOMPARE(QGuiApplication::clipboard()->text(), "what the user copied");
    QVERIFY(handler->openedLinks().isEmpty());
}

void TestMainWindow::tabOrderAndLabels()
{
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));

    // A label's mnemonic takes the keyboard to its field.
    QTest::keyClick(window.get(), Qt::Key_D, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), controller->textDomainToTest.data());

    controller->textVeltraneAccount->setFocus();
    const QList<QWidget *> expected{controller->textTicketNo, controller->textDomainToTest,
                                    controller->buttonStartTests};
    for (QWidget *next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }

    // What a screen reader announces for each field: its label's text.
    const QList<QPair<QWidget *, QString>> names{{controller->textVeltraneAccount, "Account:"},
                                                 {controller->textTicketNo, "Ticket number:"},
                                                 {controller->textDomainToTest, "Domain to test:"},
                                                 {controller->textResultsLink, "Results"}};
    for (const auto &[field, name] : names) {
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(field);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), name);
    }
}

void TestMainWindow::windowlessRunLeavesAbsentControlsAlone()
{
    MainController windowless;
    QBuffer console;
    console.open(QIODevice::WriteOnly);
    windowless.setConsole(&console);
    windowless.initArgsWithSilent(true, true, false, false, false);
    windowless.awakeFromNib();

    // Every window step of a run, with no window.
    windowless.setTextView(windowless.textResultsLink, "See results at https://r.example/1");
    windowless.copyToClipBoardLinkButtonPressed();
    windowless.shareButtonPressed();

    useGates(1);
    windowless.replaceBattery({{dir.filePath("gate.sh"), {dir.filePath("go1")}, std::nullopt}});
    QSignalSpy exit(&windowless, &MainController::exitRequested);
    windowless.runTests();
    releaseGates(1);
    QTRY_COMPARE(exit.count(), 1);
    QCOMPARE(exit.first().first().toInt(), 0);
    QVERIFY(console.data().contains("passed " + dir.filePath("go1").toUtf8()));
}

// Shows the program's window as start-up does, starts a run, and closes the
// window once `ready` holds. Returns the milliseconds from the close to the
// controller's end, or -1 if the window did not end the program.
qint64 TestMainWindow::showProgramAndCloseWhen(std::unique_ptr<MainController> &program,
                                               const std::function<bool()> &ready)
{
    QElapsedTimer sinceClose;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (!program->window || !program->window->isVisible())
            return;
        if (program->buttonStartTests->isEnabled()) {
            QTest::mouseClick(program->buttonStartTests, Qt::LeftButton);
        } else if (ready()) {
            poll.stop();
            sinceClose.start();
            program->window->close();
        }
    });
    poll.start(20);
    // Should closing the window not end the program, this does.
    QTimer::singleShot(10000, this, [] { QCoreApplication::exit(99); });

    if (showMainWindow(*program) != 0 || !sinceClose.isValid())
        return -1;
    // What the program does after its event loop: the controller goes, and
    // with it every command still running.
    program.reset();
    return sinceClose.elapsed();
}

void TestMainWindow::closingDuringRunEndsProgramAndCommands()
{
    cleanup(); // only the window that the program itself shows
    const QString pidFile = dir.filePath("pids");
    auto program = std::make_unique<MainController>();
    program->replaceBattery(
        {{writeScript(dir, "linger.sh", lingerScript), {pidFile}, std::nullopt}});
    bool reportBuilt = false;
    connect(program.get(), &MainController::allTestsFinished, this, [&] { reportBuilt = true; });

    const qint64 elapsed = showProgramAndCloseWhen(program, [&] { return QFile::exists(pidFile); });
    QVERIFY2(elapsed >= 0 && elapsed < 1000, qPrintable(QString::number(elapsed)));

    QFile file(pidFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> pids = file.readAll().trimmed().split(' ');
    QCOMPARE(pids.size(), 2); // the command and the child it left running
    for (const QByteArray &pid : pids) {
        QVERIFY(pid.toLongLong() > 0);
        QTRY_VERIFY2_WITH_TIMEOUT(!isRunning(pid.toLongLong()), pid.constData(), 500);
    }
    QVERIFY(!reportBuilt);
}

void TestMainWindow::closingDuringUploadDeliversNothing()
{
    cleanup();
    server = std::make_unique<HttpsServer>();
    QVERIFY(server->start(resultsServerPort()));
    server->answer = {};
    handler = std::make_unique<UrlRecorder>();
    auto program = std::make_unique<MainController>();
    program->replaceBattery({{"/bin/echo", {"hello"}, std::nullopt}});

    const qint64 elapsed =
        showProgramAndCloseWhen(program, [&] { return server->requests.size() == 1; });
    QVERIFY2(elapsed >= 0 && elapsed < 1000, qPrintable(QString::number(elapsed)));

    // Nothing saved, nothing opened, no second attempt.
    QTest::qWait(100);
    QVERIFY(!QFile::exists(home.filePath("Desktop/diagnostic_results.txt")));
    QVERIFY(handler->opened.isEmpty());
    QCOMPARE(server->requests.size(), 1);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
