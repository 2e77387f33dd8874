#include "launchpool.h"
#include "logging.h"
#include "maincontroller.h"
#include "process.h"
#include "startup.h"
#include "termination.h"
#include "testsupport.h"
#include "wantofresources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void characterTypeBecomesUtf8_data();
    void characterTypeBecomesUtf8();
    void openFileLimitIsRaisedToTheHardLimit();
    void fileSizeLimitFailsAWrite();
    void wantOfAddressSpace_data();
    void wantOfAddressSpace();
    void signalEndsTheRunAndItsCommands_data();
    void signalEndsTheRunAndItsCommands();
    void commandWithoutTheRunProgram();
};

// What the environment says before and after, as LC_ALL LC_CTYPE LANG
// LC_MESSAGES, "-" for a variable that is not set.
void TestStartup::characterTypeBecomesUtf8_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::newRow("nothing set") << "- - - -"
                                 << "- C.UTF-8 - -";
    QTest::newRow("LANG=C, messages kept") << "- - C de_DE.UTF-8"
                                           << "- C.UTF-8 C de_DE.UTF-8";
    QTest::newRow("LC_ALL=POSIX, each category kept") << "POSIX - - de_DE.UTF-8"
                                                      << "- C.UTF-8 - POSIX";
    QTest::newRow("LC_CTYPE=C over a UTF-8 LANG") << "- C de_DE.UTF-8 -"
                                                  << "- C.UTF-8 de_DE.UTF-8 -";
    QTest::newRow("a UTF-8 locale") << "- - de_DE.UTF-8 -"
                                    << "- - de_DE.UTF-8 -";
    QTest::newRow("another character set") << "de_DE.ISO-8859-1 - - -"
                                           << "de_DE.ISO-8859-1 - - -";
}

void TestStartup::characterTypeBecomesUtf8()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    const QByteArrayList names = {"LC_ALL", "LC_CTYPE", "LANG", "LC_MESSAGES"};
    const QProcessEnvironment old = QProcessEnvironment::systemEnvironment();
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString value = before.section(' ', int(i), int(i));
        value == "-" ? qunsetenv(names[i]) : qputenv(names[i], value.toUtf8());
    }
    preferUtf8CharacterType();
    QStringList seen;
    for (const QByteArray &name : names)
        seen << (qEnvironmentVariableIsSet(name) ? qEnvironmentVariable(name) : "-");
    // The other categories it may have set go too.
    for (const QString &name : QProcessEnvironment::systemEnvironment().keys()) {
        if (old.contains(name))
            qputenv(name.toUtf8(), old.value(name).toUtf8());
        else
            qunsetenv(name.toUtf8());
    }
    for (const QByteArray &name : names) {
        if (old.contains(name))
            qputenv(name, old.value(name).toUtf8());
    }
    QCOMPARE(seen.join(' '), after);
}

void TestStartup::openFileLimitIsRaisedToTheHardLimit()
{
    rlimit limit{};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_max > 64);
    limit.rlim_cur = 64;
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &limit) == 0);
    raiseOpenFileLimit();
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur == limit.rlim_max);
}

// Past the limit a write fails with its reason instead of ending the program;
// the commands it starts are ended by it as anywhere else (128 + 25).
void TestStartup::fileSizeLimitFailsAWrite()
{
    QTemporaryDir dir;
    guardStandardStreams();
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const rlimit limit = {10, old.rlim_max};
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &limit) == 0);
    QFile file(dir.filePath("f"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const bool failed = file.write(QByteArray(10, 'x')) == 10 && file.write("x") < 0;
    LaunchPool pool;
    Process command(pool);
    QSignalSpy ended(&command, &Process::processTerminated);
    command.start("/bin/sh", {"-c", "head -c 20 /dev/zero > \"$0\"; echo $?", dir.filePath("g")});
    const bool commandEnded = ended.wait(10000);
    ::setrlimit(RLIMIT_FSIZE, &old);
    QVERIFY(failed && file.errorString() == "File too large");
    QVERIFY(commandEnded);
    QCOMPARE(command.stdOutHead(100), "153\n");
}

// In a child, with room for little more than is mapped already: a thread
// that Qt cannot start, or an allocation that fails in the event loop, ends the
// run with status 1 instead of a hang or a crash.
void TestStartup::wantOfAddressSpace_data()
{
    QTest::addColumn<bool>("thread");
    QTest::newRow("a thread") << true;
    QTest::newRow("an allocation") << false;
}

void TestStartup::wantOfAddressSpace()
{
    QFETCH(bool, thread);
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer maps terabytes of shadow memory: no address-space limit
    // leaves it room to report, and the child hangs instead of ending.
    QSKIP("needs the address space that AddressSanitizer takes");
#endif
    Delivery delivery(QSslConfiguration{});
    endWhenAThreadCannotStart(delivery);
    const pid_t child = ::fork();
    if (child == 0) {
        QFile statm("/proc/self/statm"); // the pages mapped come first
        statm.open(QIODevice::ReadOnly);
        const rlimit limit = {rlim_t(statm.readAll().split(' ')[0].toLongLong() + 256) * 4096,
                              RLIM_INFINITY};
        ::setrlimit(RLIMIT_AS, &limit);
        installLogHandler();
        std::signal(SIGABRT, SIG_DFL); // the test's handler would hang here
        // Threads that keep their stacks, beyond those that glibc has cached.
        std::vector<std::unique_ptr<QThread>> threads;
        QTimer::singleShot(0, [&] {
            for (int i = 0; thread && i < 64; ++i)
                threads.emplace_back(std::make_unique<QThread>())->start();
            if (!thread)
                QByteArray(1 << 30, 'x');
            QCoreApplication::exit(0);
        });
        std::_Exit(execUntilMemoryRunsOut(delivery) == 1 ? 1 : 0);
    }
    int status = -1;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 1, qPrintable(QString::number(status)));
}

void TestStartup::signalEndsTheRunAndItsCommands_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("Ctrl-C") << SIGINT;
    QTest::newRow("kill") << SIGTERM;
    QTest::newRow("logout") << SIGHUP;
}

void TestStartup::signalEndsTheRunAndItsCommands()
{
    QFETCH(int, signal);
    QTemporaryDir dir;
    const QString pidFile = dir.filePath("pid");
    const QString stall = writeScript(dir, "stall", "sleep 60 & echo $! > \"$1\"; wait");
    quitOnTerminationSignals();

    int status = -1;
    qint64 sleeper = 0;
    {
        MainController controller;
        controller.replaceBattery({{stall, {pidFile}, std::nullopt}});
        controller.initArgsWithSilent({.silent = true, .console = true});
        controller.awakeFromNib();
        controller.runTests();
        QTRY_VERIFY(QFile(pidFile).size() > 1);
        QFile file(pidFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        sleeper = file.readAll().trimmed().toLongLong();
        QVERIFY(isRunning(sleeper));

        QTimer::singleShot(0, [signal] { ::raise(signal); });
        status = QCoreApplication::exec();
    }
    // The loop ended on the signal; the controller has gone and taken the
    // command's whole group with it.
    QCOMPARE(status, 128 + signal);
    QTRY_VERIFY(!isRunning(sleeper));
}

// The command alone, without the program beside it that runs the tests: a run
// says what it cannot start and fails, the help needs nothing else.
void TestStartup::commandWithoutTheRunProgram()
{
    QTemporaryDir dir;
    const QString command = dir.filePath("bin/veltrane-diagnostic");
    QVERIFY(QDir().mkpath(dir.filePath("bin")) && QFile::copy(VELTRANE_BINARY, command));
    QProcess process;
    process.start(command, {"-s"});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(process.readAllStandardError(),
             "could not start " + QFile::encodeName(QDir(dir.path()).canonicalPath()) +
                 "/bin/../lib/veltrane-diagnostic/veltrane-diagnostic-run: No such file or "
                 "directory\n");
    process.start(command, {"-h"});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(process.readAllStandardOutput().startsWith("-d --domain="));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
