#include "launchpool.h"
#include "process.h"
#include "resultblock.h"
#include "testsupport.h"

#include <QBuffer>
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
    void admission_data();
    void admission();
    void shortOfDescriptors();
    void blocks_data();
    void blocks();

private:
    QTemporaryDir dir;
};

// Runs every process to its end; true when each announced it exactly once.
// Spied on only from here: an end announced inside start() goes unseen.
// A command's block as the report holds it.
static QString getResult(const Process &process)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeResult(buffer, process);
    return QString::fromUtf8(buffer.data());
}

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
// whatever PATH the program was started with. The descriptors are as many as
// the program itself has (it raises the limit as it starts), whatever limit the
// test inherited.
void TestProcess::initTestCase()
{
    qputenv("PATH", "/nowhere");
    qputenv("VELTRANE_MARK", "kept");
    rlimit limit = {};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &limit) == 0);
    limit.rlim_cur = limit.rlim_max;
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &limit) == 0);
}

// Commands beyond the pool's capacity wait in line and start as running ones
// end, in the order they were started, each keeping its own output: command k
// (from 0) starts only once k + 1 - capacity of those before it have ended.
void TestProcess::admission_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("commands");
    QTest::newRow("one at a time") << 1 << 5;
    QTest::newRow("forty, three at a time") << 3 << 40;
}

void TestProcess::admission()
{
    QFETCH(int, capacity);
    QFETCH(int, commands);
    const QString talker = writeScript(dir, QTest::currentDataTag(),
                                       "echo $1 >> \"$0.log\"; i=0; while [ $i -lt 50 ]; do "
                                       "echo \"$1-$i\"; echo \"err-$1\" >&2; i=$((i+1)); done; "
                                       "sleep 0.1; echo end >> \"$0.log\"");
    LaunchPool pool;
    pool.setCapacity(capacity);
    Processes processes;
    for (int n = 0; n < commands; ++n) {
        processes.push_back(std::make_unique<Process>(pool));
        processes.back()->start(talker, {QString::number(n)});
    }
    QVERIFY(runAll(processes));

    QFile log(talker + ".log");
    QVERIFY(log.open(QIODevice::ReadOnly));
    int ended = 0;
    for (const QByteArray &line : log.readAll().trimmed().split('\n')) {
        if (line == "end")
            ++ended;
        else
            QVERIFY2(line.toInt() + 1 - capacity <= ended, line.constData());
    }
    for (int n = 0; n < commands; ++n) {
        QString out;
        for (int i = 0; i < 50; ++i)
            out += QStringLiteral("%1-%2\n").arg(n).arg(i);
        const QString err = QStringLiteral("err-%1\n").arg(n).repeated(50);
        QCOMPARE(getResult(*processes[n]), blockHead(talker + " " + QString::number(n)) +
                                               "stdout:\n" + out + "\nstderr:\n" + err + "\n");
    }
}

// With the real descriptors short: a start failure that arrives from the event
// loop (no such program) while another command runs waits for it to end, then
// ends with its own reason, and counts as running no more. With none running,
// QProcess fails inside start() itself; that command, and one not to be
// started, still end once, from the event loop, their blocks saying why.
void TestProcess::shortOfDescriptors()
{
    LaunchPool pool;
    Processes late;
    for (const QString &program : {QString("/bin/sleep"), dir.filePath("missing")}) {
        late.push_back(std::make_unique<Process>(pool));
        late.back()->start(program, {"0.5"});
    }
    {
        const DescriptorLimit limit;
        QVERIFY(limit.spare(0));
        QTest::qWait(200);
    }
    QVERIFY(runAll(late));
    // Our words, the program and the system's reason; Qt words the rest its own way.
    const QString result = getResult(*late[1]);
    const QString missing = dir.filePath("missing");
    QVERIFY2(result.startsWith(blockHead(missing + " 0.5") + "stderr:\ncould not start " + missing +
                               ": ") &&
                 result.endsWith(": " + QString::fromLocal8Bit(std::strerror(ENOENT)) + "\n") &&
                 result.count(u'\n') == 3,
             qPrintable(result));

    Processes unstarted;
    for (int n = 0; n < 2; ++n)
        unstarted.push_back(std::make_unique<Process>(pool));
    {
        const DescriptorLimit limit;
        QVERIFY(limit.spare(0));
        unstarted[0]->start("/bin/true", {"-x"});
    }
    unstarted[1]->finishUnstarted("cat fifo", "not read: this is a FIFO, not a file");
    QVERIFY(runAll(unstarted));
    const QString failed = getResult(*unstarted[0]);
    QVERIFY2(failed.startsWith(blockHead("/bin/true -x") + "stderr:\ncould not start /bin/true: "),
             qPrintable(failed));
    QCOMPARE(getResult(*unstarted[1]),
             blockHead("cat fifo") + "stderr:\nnot read: this is a FIFO, not a file\n");
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
    LaunchPool pool;
    Processes processes;
    processes.push_back(std::make_unique<Process>(pool));
    processes[0]->setDeadline(1s);
    QElapsedTimer clock;
    clock.start();
    processes[0]->start(command, {}, QString("(c)"));
    QVERIFY(runAll(processes));
    QVERIFY2(clock.elapsed() >= minimumMs && clock.elapsed() < maximumMs,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(getResult(*processes[0]), blockHead(command + " (c)") + sections);
    QFile pidFile(command + ".pid");
    if (pidFile.open(QIODevice::ReadOnly)) {
        const qint64 child = pidFile.readAll().trimmed().toLongLong();
        QVERIFY(child > 0);
        QTRY_VERIFY_WITH_TIMEOUT(!isRunning(child), 1000);
    }
}

QTEST_GUILESS_MAIN(TestProcess)
#include "tst_process.moc"
