#include "process.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

using namespace std::chrono_literals;

class TestProcess : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void concurrentRunsKeepOutputsApart();
    void largeOutputOnBothStreams();
    void multiByteCharacterSplitAcrossReads();
    void undecodableStreamIsDropped();
    void launchFailureFinishesOnceFromTheEventLoop_data();
    void launchFailureFinishesOnceFromTheEventLoop();
    void leftBehindGrandchildDoesNotHoldTheRun();
    void deadlineStopsACommand_data();
    void deadlineStopsACommand();

private:
    QString script(const QString &name, const QByteArray &body);

    std::unique_ptr<QTemporaryDir> dir;
};

void TestProcess::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

QString TestProcess::script(const QString &name, const QByteArray &body)
{
    return writeScript(*dir, name, body);
}

// Runs every process to its end and checks each announced it exactly once.
static bool runAll(const std::vector<std::unique_ptr<Process>> &processes, int timeoutMs = 20000)
{
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const auto &p : processes)
        spies.push_back(std::make_unique<QSignalSpy>(p.get(), &Process::processTerminated));
    QElapsedTimer clock;
    clock.start();
    auto allFinished = [&] {
        for (const auto &p : processes) {
            if (!p->isFinished())
                return false;
        }
        return true;
    };
    while (!allFinished() && clock.elapsed() < timeoutMs)
        QTest::qWait(20);
    QTest::qWait(50); // room for a stray second notification
    for (const auto &spy : spies) {
        if (spy->count() != 1)
            return false;
    }
    return allFinished();
}

void TestProcess::concurrentRunsKeepOutputsApart()
{
    const QString talker = script("talk", "i=0; while [ $i -lt 50 ]; do echo \"$1-$i\"; "
                                          "echo \"err-$1\" >&2; i=$((i+1)); done");
    std::vector<std::unique_ptr<Process>> processes;
    for (int n = 0; n < 6; ++n) {
        processes.push_back(std::make_unique<Process>());
        processes.back()->start(talker, {QString::number(n)});
    }
    QVERIFY(runAll(processes));

    for (int n = 0; n < 6; ++n) {
        QString out, err;
        for (int i = 0; i < 50; ++i) {
            out += QStringLiteral("%1-%2\n").arg(n).arg(i);
            err += QStringLiteral("err-%1\n").arg(n);
        }
        QCOMPARE(processes[n]->getResult(), blockHead(talker + " " + QString::number(n)) +
                                                "stdout:\n" + out + "\nstderr:\n" + err + "\n");
    }
}

void TestProcess::largeOutputOnBothStreams()
{
    // Four times a pipe's capacity on each stream, the last bytes written
    // right before the command exits.
    const QString flood =
        script("flood", "head -c 262144 /dev/zero | tr '\\0' o; head -c 262144 /dev/zero | "
                        "tr '\\0' e >&2; printf END");
    std::vector<std::unique_ptr<Process>> processes;
    processes.push_back(std::make_unique<Process>());
    processes.back()->start(flood, {});
    QVERIFY(runAll(processes));

    const QString expected = blockHead(flood) + "stdout:\n" + QString(262144, u'o') + "END\n" +
                             "stderr:\n" + QString(262144, u'e') + "\n";
    QCOMPARE(processes[0]->getResult(), expected);
}

void TestProcess::multiByteCharacterSplitAcrossReads()
{
    const QString split = script("split", "printf '\\303'; sleep 0.3; printf '\\251'");
    std::vector<std::unique_ptr<Process>> processes;
    processes.push_back(std::make_unique<Process>());
    processes.back()->start(split, {});
    QVERIFY(runAll(processes));
    QCOMPARE(processes[0]->getResult(), blockHead(split) + QStringLiteral("stdout:\né\n"));
}

void TestProcess::undecodableStreamIsDropped()
{
    const QString bad = script("bad", "echo fine; printf 'x\\377' >&2");
    std::vector<std::unique_ptr<Process>> processes;
    processes.push_back(std::make_unique<Process>());
    processes.back()->start(bad, {}, QString("(c)"));
    QVERIFY(runAll(processes));
    QCOMPARE(processes[0]->getResult(), blockHead(bad + " (c)") + "stdout:\nfine\n\n");
}

void TestProcess::launchFailureFinishesOnceFromTheEventLoop_data()
{
    QTest::addColumn<bool>("exists");
    QTest::newRow("missing path") << false;
    QTest::newRow("not executable") << true;
}

void TestProcess::launchFailureFinishesOnceFromTheEventLoop()
{
    QFETCH(bool, exists);
    const QString path = dir->filePath("no-such-tool");
    if (exists) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\necho never\n");
    }

    std::vector<std::unique_ptr<Process>> processes;
    processes.push_back(std::make_unique<Process>());
    QSignalSpy early(processes[0].get(), &Process::processTerminated);
    processes[0]->start(path, {"-x"});
    // The end must not be announced inside start(): the battery would look
    // complete before it had been started.
    QCOMPARE(early.count(), 0);
    QVERIFY(!processes[0]->isFinished());

    QVERIFY(runAll(processes));
    const QString block = processes[0]->getResult();
    QVERIFY2(block.startsWith(blockHead(path + " -x") + "stderr:\n"), qPrintable(block));
    QVERIFY(block.size() > blockHead(path + " -x").size() + 9);
}

void TestProcess::leftBehindGrandchildDoesNotHoldTheRun()
{
    // The background sleep keeps both pipes open long after the script exits.
    const QString leaver = script("leave", "sleep 30 & echo $!; echo gone >&2");
    std::vector<std::unique_ptr<Process>> processes;
    processes.push_back(std::make_unique<Process>());
    QElapsedTimer clock;
    clock.start();
    processes.back()->start(leaver, {});
    QVERIFY(runAll(processes, 10000));
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));

    const QString block = processes[0]->getResult();
    const QString pid = block.section('\n', 2, 2);
    QVERIFY(pid.toInt() > 0);
    ::kill(pid.toInt(), SIGKILL);
    QCOMPARE(block, blockHead(leaver) + "stdout:\n" + pid + "\n\nstderr:\ngone\n\n");
}

void TestProcess::deadlineStopsACommand_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("minimumMs");
    QTest::addColumn<int>("maximumMs");

    QTest::newRow("ends on SIGTERM") << QByteArray("echo started; sleep 60") << 900 << 4000;
    // An ignored SIGTERM is inherited by the sleep, so only the SIGKILL that
    // follows five seconds later ends the group.
    QTest::newRow("ignores SIGTERM")
        << QByteArray("trap '' TERM; echo started; while :; do sleep 0.2; done") << 5900 << 10000;
}

void TestProcess::deadlineStopsACommand()
{
    QFETCH(QByteArray, body);
    QFETCH(int, minimumMs);
    QFETCH(int, maximumMs);

    const QString stalled = script("stall", body);
    std::vector<std::unique_ptr<Process>> processes;
    processes.push_back(std::make_unique<Process>());
    processes.back()->setDeadline(1s);
    QElapsedTimer clock;
    clock.start();
    processes.back()->start(stalled, {});
    QVERIFY(runAll(processes, 15000));
    QVERIFY2(clock.elapsed() >= minimumMs && clock.elapsed() < maximumMs,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(processes[0]->getResult(), blockHead(stalled) +
                                            "stdout:\nstarted\n\n"
                                            "stderr:\nstopped after 1 seconds without finishing\n");
}

QTEST_GUILESS_MAIN(TestProcess)
#include "tst_process.moc"
