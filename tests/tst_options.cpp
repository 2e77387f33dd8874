#include "help.h"
#include "options.h"
#include "utf8escape.h"

#include <QTest>

class TestOptions : public QObject
{
    Q_OBJECT

private slots:
    void runMode_data();
    void runMode();
    void flagsAndValues();
    void help();
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
    QTest::newRow("--silent") << QStringList{"--silent"} << RunMode::Windowless;
    QTest::newRow("output options alone open the window")
        << QStringList{"-c", "-i", "-o", "f", "-d", "x.test"} << RunMode::Windowed;
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
    // Reading saved reports runs nothing else, whatever else is asked.
    QTest::newRow("--read wins over all")
        << QStringList{"-s", "-h", "-o", "-psn_0_1", "--read", "r"} << RunMode::Read;
    QTest::newRow("--read without a report") << QStringList{"--read", "-s"} << RunMode::UsageError;
    QTest::newRow("--compare") << QStringList{"a", "--compare", "b"} << RunMode::Compare;
    QTest::newRow("--compare of one report")
        << QStringList{"--compare", "a"} << RunMode::UsageError;
    QTest::newRow("--read and --compare")
        << QStringList{"--read", "--compare", "a", "b"} << RunMode::UsageError;
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
    const Options none = parseOptions({"prog", "-s"});
    const RunOptions &run = none.run;
    QVERIFY(!run.console && !run.internet && !run.forceAgentTests && !run.skipAgentTests &&
            !none.findings && !none.help);
    QVERIFY(!run.domain && !run.outputFile);

    const Options all =
        parseOptions({"prog", "-sci", "--amx", "--noamx", "--findings", "--domain=a.test", "-d",
                      "b.test", "--output", "one", "-o", "two"});
    QVERIFY(all.run.silent && all.run.console && all.run.internet && all.run.forceAgentTests &&
            all.run.skipAgentTests && all.findings);
    // The first of repeated values counts, and for -d the user is told so.
    QCOMPARE(all.run.domain, std::optional<QString>("a.test"));
    QCOMPARE(all.repeatedDomain, "-d/--domain given more than once: testing \"a.test\", the first");
    QVERIFY(!none.repeatedDomain);
    QCOMPARE(all.run.outputFile, std::optional<QString>("one"));
    // An empty value is a value: it leaves the output file empty, not absent.
    QCOMPARE(parseOptions({"prog", "-o", ""}).run.outputFile, std::optional<QString>(QString()));
    // The reports in the order given, options anywhere between them.
    const Options read = parseOptions({"prog", "--read", "a", "--json", "b"});
    QVERIFY(read.json && !read.compareFiles);
    QCOMPARE(read.readFiles, std::optional<QStringList>({"a", "b"}));
    // A file name's byte that is not UTF-8 stays the byte it was.
    char program[] = "prog", output[] = "-o", name[] = "f\xFF";
    char *argv[] = {program, output, name};
    QCOMPARE(fileNameToBytes(parseOptions(argumentsOf(3, argv)).run.outputFile.value()),
             QByteArray("f\xFF"));
    // Each unknown option once, as typed; compacted short flags one by one.
    QCOMPARE(parseOptions({"prog", "--ouput", "x", "-sz", "--ouput=y", "-qz"}).unknownOptions,
             QStringList({"--ouput", "-z", "-q"}));
}

void TestOptions::help()
{
    // Two entries are longer than 100 columns and wrap at the last blank that
    // fits; nothing else is printed.
    const QString expected =
        "-d --domain=, A specific URL to target with tests (e.g. veltrane.test)\n"
        "-s --silent=, Automatically run tests in silent mode (will not show the UI or new "
        "windows; defaults\n"
        "to -i output)\n"
        "-i --internet, Output all results to localhost:18443; destination URL will print to "
        "console as\n"
        "'url=URL'\n"
        "-o --output=, Output to a file, which will print to console as 'outputFile=FILE'; can "
        "be a full\n"
        "path, make sure to use \"quotes\" if needed\n"
        "-c --console, Output all results to console as text\n"
        "--amx, Force the Ambrix tests to be performed\n"
        "--noamx, Skip the Ambrix tests even if it's installed\n"
        "--findings, Print what the tests show to the console after everything else\n"
        "--read, Print the findings of each saved report named, as --findings does; runs no test\n"
        "--compare, Print what changed from the first saved report named to the second; runs no "
        "test\n"
        "--json, Print the findings of --findings, --read or --compare as JSON\n"
        "-h --help -?, Display this usage statement\n";
    QCOMPARE(helpOutput("veltrane.test", "localhost:18443"), expected);
    // Each indent level is two columns; a word longer than a line stays whole.
    QCOMPARE(helpEntry("aa bb cc", 1, 7), QString("  aa bb\n  cc"));
    QCOMPARE(indentAndWrap("a abcdefgh b\nc", 0, 4), QString("a\nabcdefgh\nb\nc"));
}

QTEST_GUILESS_MAIN(TestOptions)
#include "tst_options.moc"
