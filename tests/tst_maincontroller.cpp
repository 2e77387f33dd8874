#include "consoleview.h"
#include "maincontroller.h"
#include "testsupport.h"

#include <QBuffer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestMainController : public QObject
{
    Q_OBJECT

private slots:
    void lastOfManyRunsFinishesOnce();
    void launchFailureDoesNotStallTheRun();
};

// A windowless controller that prints to a buffer and runs the given tests.
struct ConsoleRun
{
    explicit ConsoleRun(std::vector<Test> tests)
    {
        console.open(QIODevice::WriteOnly);
        controller.replaceBattery(std::move(tests));
        controller.initArgsWithSilent(true, true, false, false, false);
    }

    MainController controller;
    QBuffer console;
    ConsoleView view{controller, &console};
};

void TestMainController::lastOfManyRunsFinishesOnce()
{
    QTemporaryDir dir;
    // Most end at once, one a little later: the finish must come once, after it.
    const QString quick = writeScript(dir, "quick", "echo $1");
    const QString slow = writeScript(dir, "slow", "sleep 0.5; echo slow");
    std::vector<Test> tests;
    for (int i = 0; i < 30; ++i)
        tests.push_back({quick, {QString::number(i)}, std::nullopt});
    tests.insert(tests.begin() + 10, Test{slow, {}, QString("(late)")});

    ConsoleRun run(tests);
    MainController &controller = run.controller;
    controller.awakeFromNib();
    QSignalSpy finishes(&controller, &MainController::allTestsFinished);
    QSignalSpy exits(&run.view, &ConsoleView::exitRequested);

    controller.runTests();
    QCOMPARE(finishes.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(exits.count(), 1, 10000);
    QTest::qWait(100);
    QCOMPARE(finishes.count(), 1);
    QCOMPARE(exits.count(), 1);
    QCOMPARE(exits.at(0).at(0).toInt(), 0);
    QCOMPARE(controller.finishedTasksCount(), 31u);

    // Blocks stand in start order, whatever order the commands ended in.
    QString expected;
    for (int i = 0; i < 30; ++i) {
        if (i == 10)
            expected += blockHead(slow + " (late)") + "stdout:\nslow\n\n";
        expected +=
            blockHead(quick + " " + QString::number(i)) + "stdout:\n" + QString::number(i) + "\n\n";
    }
    QCOMPARE(controller.report(), expected);
}

void TestMainController::launchFailureDoesNotStallTheRun()
{
    QTemporaryDir dir;
    const QString hello = writeScript(dir, "hello", "echo hi");
    ConsoleRun run({{dir.filePath("missing"), {}, std::nullopt},
                    {hello, {}, std::nullopt},
                    {dir.filePath("missing-too"), {}, std::nullopt}});
    MainController &controller = run.controller;
    controller.awakeFromNib();
    QSignalSpy finishes(&controller, &MainController::allTestsFinished);
    controller.runTests();
    QTRY_COMPARE(finishes.count(), 1);
    QTest::qWait(100);
    QCOMPARE(finishes.count(), 1);
    QCOMPARE(controller.report().count("could not start"), 2);
}

QTEST_GUILESS_MAIN(TestMainController)
#include "tst_maincontroller.moc"
