#include "maincontroller.h"
#include "startup.h"
#include "termination.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void openFileLimitIsRaisedToTheHardLimit();
    void signalEndsTheRunAndItsCommands_data();
    void signalEndsTheRunAndItsCommands();
};

void TestStartup::openFileLimitIsRaisedToTheHardLimit()
{
    rlimit limit{};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_max > 64);
    limit.rlim_cur = 64;
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &limit) == 0);
    raiseOpenFileLimit();
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur == limit.rlim_max);
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

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
