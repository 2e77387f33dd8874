#include "process.h"
#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/resource.h>

using namespace std::chrono_literals;
using Processes = std::vector<std::unique_ptr<Process>>;

class TestProcess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void concurrentRunsKeepOutputsApart();
    void lateStartFailureShortOfDescriptors();
    void blocks_data();
    void blocks();

private:
    QTemporaryDir dir;
};

// Runs every process to its end; true when each announced it exactly once.
// Spied on only from here: an end announced inside start() goes unseen.
static bool runAll(const Processes &processes)
{
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const auto &p : processes)
        spies.push_back(std::make_unique<QSignalSpy>(p.get(), &Process::processTerminated));
    const auto ended = [&] {
        for (std::size_t n = 0; n < processes.size(); ++n) {
            if (!processes[n]->isFinished() || spies[n]->count() != 1)
                return false;
        }
        return true;
    };
    if (!QTest::qWaitFor(ended, 15000))
        return false;
    QTest::qWait(50); // room for a stray second notification
    return ended();
}

// Leaves the test only spare() descriptors more than it has open, until it
// goes.
class DescriptorLimit
{
public:
    DescriptorLimit() { ::getrlimit(RLIMIT_NOFILE, &old); }
    ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &old); }
    bool spare(int count) const
    {
        const rlimit limit = {rlim_t(QDir("/proc/self/fd").count() + count), old.rlim_max};
        return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
    }

private:
    rlimit old = {};
};

// Commands must find their tools, and keep the rest of the environment,
// whatever PATH the program was started with.
void TestProcess::initTestCase()
{
    qputenv("PATH", "/nowhere");
    qputenv("VELTRANE_MARK", "kept");
}

// Each run keeps its own output. Commands that find no descriptors left wait
// for others to end instead of being lost. One that could not start, or was
// not to be started, still ends once, from the event loop, its block saying
// why; short of descriptors, QProcess fails inside start() itself.
void TestProcess::concurrentRunsKeepOutputsApart()
{
    const QString talker = writeScript(dir, "talk",
                                       "i=0; while [ $i -lt 50 ]; do echo \"$1-$i\"; "
                                       "echo \"err-$1\" >&2; i=$((i+1)); done; sleep 0.1");
    Processes processes;
    for (int n = 0; n < 42; ++n)
        processes.push_back(std::make_unique<Process>());
    {
        const DescriptorLimit limit;
        QVERIFY(limit.spare(0));
        processes[40]->start("/bin/true", {"-x"});
        QVERIFY(limit.spare(24));
        processes[41]->finishUnstarted("cat fifo", "not read: this is a FIFO, not a file");
        for (int n = 0; n < 40; ++n)
            processes[n]->start(talker, {QString::number(n)});
        QVERIFY(runAll(processes));
    }

    for (int n = 0; n < 40; ++n) {
        QString out, err;
        for (int i = 0; i < 50; ++i) {
            out += QStringLiteral("%1-%2\n").arg(n).arg(i);
            err += QStringLiteral("err-%1\n").arg(n);
        }
        QCOMPARE(processes[n]->getResult(), blockHead(talker + " " + QString::number(n)) +
                                                "stdout:\n" + out + "\nstderr:\n" + err + "\n");
    }
    const QString failed = processes[40]->getResult();
    QVERIFY2(failed.startsWith(blockHead("/bin/true -x") + "stderr:\ncould not start /bin/true: "),
             qPrintable(failed));
    QCOMPARE(processes[41]->getResult(),
             blockHead("cat fifo") + "stderr:\nnot read: this is a FIFO, not a file\n");
}

// A start that fails after start() returned (no such program) while no
// descriptor is spare waits for the running command to end, like one that
// failed for lack of descriptors, and then ends with its own reason.
void TestProcess::lateStartFailureShortOfDescriptors()
{
    Processes processes;
    for (const QString &program : {QString("/bin/sleep"), dir.filePath("missing")}) {
        processes.push_back(std::make_unique<Process>());
        processes.back()->start(program, {"0.5"});
    }
    {
        const DescriptorLimit limit;
        QVERIFY(limit.spare(0));
        QTest::qWait(200);
    }
    QVERIFY(runAll(processes));
    // Our words, the program and the system's reason; Qt words the rest its own way.
    const QString result = processes[1]->getResult();
    const QString missing = dir.filePath("missing");
    QVERIFY2(result.startsWith(blockHead(missing + " 0.5") + "stderr:\ncould not start " + missing +
                               ": ") &&
                 result.endsWith(": " + QString::fromLocal8Bit(std::strerror(ENOENT)) + "\n") &&
                 result.count(u'\n') == 3,
             qPrintable(result));
}

// Each command runs with a deadline of one second.
void TestProcess::blocks_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("sections");
    QTest::addColumn<int>("minimumMs");
    QTest::addColumn<int>("maximumMs");

    // More than a pipe holds and than memory keeps, on each stream, the last
    // bytes written right before the command exits. The system's PATH, and
    // the rest of the environment inherited.
    QTest::newRow("large output on both streams, environment")
        << QByteArray("echo \"$PATH $VELTRANE_MARK\"; head -c 1572864 /dev/zero | tr '\\0' o; "
                      "head -c 1572864 /dev/zero | tr '\\0' e >&2; printf END")
        << "stdout:\n/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin kept\n" +
               QString(1572864, u'o') + "END\nstderr:\n" + QString(1572864, u'e') + "\n"
        << 0 << 10000;
    // The script gives way to SIGTERM; the job it started ignores it and holds
    // both pipes open, but neither holds the run nor outlives it.
    QTest::newRow("deadline reaches what the command started")
        << QByteArray("sh -c 'trap \"\" TERM; exec sleep 30' & echo $! > \"$0.pid\"; "
                      "echo gone >&2; wait")
        << QString("stderr:\ngone\nstopped after 1 seconds without finishing\n") << 0 << 4000;
    // An ignored SIGTERM is inherited by the sleep, so only the SIGKILL that
    // follows five seconds later ends the group.
    QTest::newRow("deadline ends a command that ignores SIGTERM")
        << QByteArray("trap '' TERM; echo started; while :; do sleep 0.2; done")
        << QString("stdout:\nstarted\n\nstderr:\nstopped after 1 seconds without finishing\n")
        << 6000 << 10000;
}

void TestProcess::blocks()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, sections);
    QFETCH(int, minimumMs);
    QFETCH(int, maximumMs);

    const QString command = writeScript(dir, QTest::currentDataTag(), body);
    Processes processes;
    processes.push_back(std::make_unique<Process>());
    processes[0]->setDeadline(1s);
    QElapsedTimer clock;
    clock.start();
    processes[0]->start(command, {}, QString("(c)"));
    QVERIFY(runAll(processes));
    QVERIFY2(clock.elapsed() >= minimumMs && clock.elapsed() < maximumMs,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(processes[0]->getResult(), blockHead(command + " (c)") + sections);
    QFile pidFile(command + ".pid");
    if (pidFile.open(QIODevice::ReadOnly)) {
        const qint64 child = pidFile.readAll().trimmed().toLongLong();
        QVERIFY(child > 0);
        QTRY_VERIFY_WITH_TIMEOUT(!isRunning(child), 1000);
    }
}

QTEST_GUILESS_MAIN(TestProcess)
#include "tst_process.moc"
