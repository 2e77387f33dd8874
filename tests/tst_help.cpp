#include "help.h"

#include <QTest>

class TestHelp : public QObject
{
    Q_OBJECT

private slots:
    void helpOutputIsExact();
    void wrapping_data();
    void wrapping();
};

void TestHelp::helpOutputIsExact()
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
        "-h --help -?, Display this usage statement\n";
    QCOMPARE(helpOutput("veltrane.test", "localhost:18443"), expected);
    // Each indent level is two columns.
    QCOMPARE(helpEntry("aa bb cc", 1, 7), QString("  aa bb\n  cc"));
}

void TestHelp::wrapping_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("indent");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("expected");

    QTest::newRow("fits") << "aa bb" << 0 << 5 << "aa bb";
    QTest::newRow("breaks at the last blank that fits") << "aa bb cc" << 0 << 5 << "aa bb\ncc";
    QTest::newRow("indent counts against the width") << "aa bb cc" << 2 << 7 << "  aa bb\n  cc";
    QTest::newRow("a word longer than a line stays whole")
        << "a abcdefgh b" << 0 << 4 << "a\nabcdefgh\nb";
    QTest::newRow("line breaks of the text are kept") << "aa\nbb" << 1 << 10 << " aa\n bb";
}

void TestHelp::wrapping()
{
    QFETCH(QString, text);
    QFETCH(int, indent);
    QFETCH(int, width);
    QFETCH(QString, expected);
    QCOMPARE(indentAndWrap(text, indent, width), expected);
}

QTEST_GUILESS_MAIN(TestHelp)
#include "tst_help.moc"
