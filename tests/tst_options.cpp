#include "options.h"

#include <QTest>

class TestOptions : public QObject
{
    Q_OBJECT

private slots:
    void runMode_data();
    void runMode();
    void flagsAndValues();
    void firstOfRepeatedValuesCounts();
};

void TestOptions::runMode_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<RunMode>("expected");

    QTest::newRow("nothing opens the window") << QStringList{} << RunMode::Windowed;
    QTest::newRow("-h") << QStringList{"-h"} << RunMode::Help;
    QTest::newRow("--help") << QStringList{"--help"} << RunMode::Help;
    QTest::newRow("-?") << QStringList{"-?"} << RunMode::Help;
    QTest::newRow("help wins over silent") << QStringList{"-s", "-h"} << RunMode::Help;
    QTest::newRow("-s") << QStringList{"-s"} << RunMode::Windowless;
    QTest::newRow("--silent") << QStringList{"--silent"} << RunMode::Windowless;
    QTest::newRow("output options alone open the window")
        << QStringList{"-c", "-i", "-o", "f", "-d", "x.test"} << RunMode::Windowed;
    QTest::newRow("desktop launch wins over silent")
        << QStringList{"-s", "-psn_0_1234"} << RunMode::Windowed;
    QTest::newRow("desktop launch wins over help")
        << QStringList{"-h", "-psn_0_1234"} << RunMode::Windowed;
    QTest::newRow("desktop launch anywhere in an argument")
        << QStringList{"-s", "x-psn_y"} << RunMode::Windowed;
    QTest::newRow("unknown arguments are ignored")
        << QStringList{"--bogus", "-s", "stray", "-z"} << RunMode::Windowless;
    // Asked for a file, the user must not get an upload instead.
    QTest::newRow("-o without a value") << QStringList{"-s", "-o"} << RunMode::UsageError;
    QTest::newRow("-o with an empty value")
        << QStringList{"-s", "-o", "", "-o", "f"} << RunMode::UsageError;
    QTest::newRow("--output= empty") << QStringList{"--output="} << RunMode::UsageError;
    QTest::newRow("help wins over a usage error") << QStringList{"-h", "-o"} << RunMode::Help;
}

void TestOptions::runMode()
{
    QFETCH(QStringList, args);
    QFETCH(RunMode, expected);
    const QStringList arguments = QStringList{"/usr/bin/veltrane-diagnostic"} + args;
    QCOMPARE(chooseRunMode(arguments, parseOptions(arguments)), expected);
}

void TestOptions::flagsAndValues()
{
    // The program path itself may hold the desktop-launch marker.
    QVERIFY(isDesktopLaunch({"/Applications/x-psn_1/bin"}));

    const Options none = parseOptions({"prog", "-s"});
    QVERIFY(none.silent);
    QVERIFY(!none.console && !none.internet && !none.amx && !none.noamx && !none.help);
    QVERIFY(!none.domain && !none.output);

    const Options all = parseOptions(
        {"prog", "-sci", "--amx", "--noamx", "--domain=a.test", "--output", "out.txt"});
    QVERIFY(all.silent && all.console && all.internet && all.amx && all.noamx);
    QCOMPARE(all.domain, std::optional<QString>("a.test"));
    QCOMPARE(all.output, std::optional<QString>("out.txt"));

    // Each unknown option once, as typed; compacted short flags one by one.
    QCOMPARE(parseOptions({"prog", "--ouput", "x", "-sz", "--ouput=y", "-qz"}).unknownOptions,
             QStringList({"--ouput", "-z", "-q"}));
}

void TestOptions::firstOfRepeatedValuesCounts()
{
    const Options options = parseOptions(
        {"prog", "-d", "first.test", "--domain", "second.test", "-o", "one", "-o", "two"});
    QCOMPARE(options.domain, std::optional<QString>("first.test"));
    QCOMPARE(options.output, std::optional<QString>("one"));
}

QTEST_GUILESS_MAIN(TestOptions)
#include "tst_options.moc"
