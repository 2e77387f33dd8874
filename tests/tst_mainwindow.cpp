#include "maincontroller.h"
#include "mainwindow.h"
#include "startup.h"
#include "testsupport.h"
#include "urlrecorder.h"

#include <QAccessible>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

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
    void init();
    void cleanup();
    void startsReady();
    void runShowsProgressAndUnlocksAtTheEnd();
    void secondRunStartedWithEnterHidesTheButtons();
    void copyAndShareWithoutLinkDoNothing();
    void tabOrderAndLabels();
    void windowlessRunLeavesAbsentControlsAlone();
    // Last: it runs the application's event loop until the window closes.
    void closingDuringRunEndsProgramAndCommands();

private:
    void runBatteryOfGates(int count);
    void releaseGates(int count);

    QTemporaryDir dir;
    std::unique_ptr<MainController> controller;
    std::unique_ptr<MainWindow> window;
};

void TestMainWindow::init()
{
    QVERIFY(dir.isValid());
    controller = std::make_unique<MainController>();
    window = std::make_unique<MainWindow>(*controller);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestMainWindow::cleanup()
{
    window.reset();
    controller.reset();
    for (const QString &name : QDir(dir.path()).entryList(QDir::Files))
        QFile::remove(dir.filePath(name));
}

// A run of `count` commands, the i-th of which ends once gate i exists.
void TestMainWindow::runBatteryOfGates(int count)
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

void TestMainWindow::runShowsProgressAndUnlocksAtTheEnd()
{
    runBatteryOfGates(3);
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
    QTRY_COMPARE(controller->textStatus->text(), "Please wait. Finished 3 out of 3 tests.");
    QCOMPARE(controller->progressIndicator->value(), 3);
    QVERIFY(controller->textDomainToTest->isEnabled());
    QVERIFY(!controller->textStatus->isVisible());
    QVERIFY(!controller->progressIndicator->isVisible());
    QVERIFY(controller->copyToClipBoardLink->isVisible());
    QVERIFY(controller->shareButton->isVisible());
}

void TestMainWindow::secondRunStartedWithEnterHidesTheButtons()
{
    runBatteryOfGates(2);
    QTest::mouseClick(controller->buttonStartTests, Qt::LeftButton);
    releaseGates(2);
    QTRY_VERIFY(controller->buttonStartTests->isEnabled());
    QVERIFY(controller->shareButton->isVisible());
    for (int i = 1; i <= 2; ++i)
        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("go%1").arg(i))));

    controller->textTicketNo->setFocus();
    QTest::keyClick(controller->textTicketNo, Qt::Key_Return);

    QVERIFY(!controller->buttonStartTests->isEnabled());
    QVERIFY(!controller->textTicketNo->isEnabled());
    QVERIFY(!controller->copyToClipBoardLink->isVisible());
    QVERIFY(!controller->shareButton->isVisible());
    QVERIFY(!controller->textResultsLinkView->isVisible());
    QVERIFY(!controller->textCopyPaste->isVisible());
    QTRY_COMPARE(controller->textStatus->text(), "Please wait. Finished 0 out of 2 tests.");

    releaseGates(2);
    QTRY_VERIFY(controller->buttonStartTests->isEnabled());
}

void TestMainWindow::copyAndShareWithoutLinkDoNothing()
{
    UrlRecorder handler;
    QGuiApplication::clipboard()->setText("what the user copied");
    runBatteryOfGates(1);
    QTest::mouseClick(controller->buttonStartTests, Qt::LeftButton);
    releaseGates(1);
    QTRY_VERIFY(controller->copyToClipBoardLink->isVisible());

    QTest::mouseClick(controller->copyToClipBoardLink, Qt::LeftButton);
    QTest::mouseClick(controller->shareButton, Qt::LeftButton);

    QCOMPARE(QGuiApplication::clipboard()->text(), "what the user copied");
    QVERIFY(handler.opened.isEmpty());
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

    runBatteryOfGates(1);
    windowless.replaceBattery({{dir.filePath("gate.sh"), {dir.filePath("go1")}, std::nullopt}});
    QSignalSpy exit(&windowless, &MainController::exitRequested);
    windowless.runTests();
    releaseGates(1);
    QTRY_COMPARE(exit.count(), 1);
    QCOMPARE(exit.first().first().toInt(), 0);
    QVERIFY(console.data().contains("passed " + dir.filePath("go1").toUtf8()));
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

    // Once the window shows: start a run, and close the window as soon as
    // its command is running.
    QElapsedTimer sinceClose;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (!program->window || !program->window->isVisible())
            return;
        if (program->buttonStartTests->isEnabled()) {
            QTest::mouseClick(program->buttonStartTests, Qt::LeftButton);
        } else if (QFile::exists(pidFile)) {
            poll.stop();
            sinceClose.start();
            program->window->close();
        }
    });
    poll.start(20);
    // Should closing the window not end the program, this does, so the test
    // fails rather than hangs.
    QTimer::singleShot(10000, this, [] { QCoreApplication::exit(99); });

    QCOMPARE(showMainWindow(*program), 0);
    // What the program does after its event loop: the controller goes, and
    // with it every command still running.
    program.reset();
    QVERIFY(sinceClose.isValid());
    QVERIFY2(sinceClose.elapsed() < 1000, qPrintable(QString::number(sinceClose.elapsed())));

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

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
