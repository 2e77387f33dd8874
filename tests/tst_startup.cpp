#include "startup.h"

#include <QTest>

#include <sys/resource.h>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void openFileLimitIsRaisedToTheHardLimit();
};

void TestStartup::openFileLimitIsRaisedToTheHardLimit()
{
    rlimit limit{};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_max < 128)
        QSKIP("hard limit too low to lower the soft one under it");
    limit.rlim_cur = 64;
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);

    raiseOpenFileLimit();

    rlimit raised{};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &raised), 0);
    QCOMPARE(raised.rlim_cur, limit.rlim_max);
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
