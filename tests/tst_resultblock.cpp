#include "resultblock.h"

#include <QTest>

class TestResultBlock : public QObject
{
    Q_OBJECT

private slots:
    void displayNames_data();
    void displayNames();
    void blocks_data();
    void blocks();
    void undecodableStreamIsAbsent();
};

void TestResultBlock::displayNames_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<std::optional<QString>>("comment");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no comment") << QStringList{"--dns"} << std::optional<QString>()
                                << "/usr/sbin/scutil --dns";
    QTest::newRow("empty comment keeps its blank")
        << QStringList{"--dns"} << std::optional<QString>(QString()) << "/usr/sbin/scutil --dns ";
    QTest::newRow("argument with blanks is not quoted")
        << QStringList{"-I", "-w 2", "x"} << std::optional<QString>("(c)")
        << "/usr/sbin/scutil -I -w 2 x (c)";
    QTest::newRow("no arguments") << QStringList{} << std::optional<QString>()
                                  << "/usr/sbin/scutil";
}

void TestResultBlock::displayNames()
{
    QFETCH(QStringList, args);
    QFETCH(std::optional<QString>, comment);
    QFETCH(QString, expected);
    QCOMPARE(commandDisplayName("/usr/sbin/scutil", args, comment), expected);
}

void TestResultBlock::blocks_data()
{
    const QString head = QString(45, u'-') + "Results for: cmd\n";
    QTest::addColumn<std::optional<QString>>("out");
    QTest::addColumn<std::optional<QString>>("err");
    QTest::addColumn<QString>("expected");

    QTest::newRow("nothing printed")
        << std::optional<QString>(QString()) << std::optional<QString>(QString()) << head;
    QTest::newRow("only a line break")
        << std::optional<QString>("\n") << std::optional<QString>() << head + "stdout:\n\n\n";
    QTest::newRow("output keeps its own line break, then the block's")
        << std::optional<QString>("a\n") << std::optional<QString>("e")
        << head + "stdout:\na\n\nstderr:\ne\n";
    QTest::newRow("undecodable stdout leaves stderr")
        << std::optional<QString>() << std::optional<QString>("e") << head + "stderr:\ne\n";
}

void TestResultBlock::blocks()
{
    QFETCH(std::optional<QString>, out);
    QFETCH(std::optional<QString>, err);
    QFETCH(QString, expected);
    QCOMPARE(resultBlock("cmd", out, err), expected);
}

void TestResultBlock::undecodableStreamIsAbsent()
{
    QVERIFY(!decodeStream(QByteArray("ok\xff", 3)));
    // A character cut off at the end is invalid too, not silently dropped.
    QVERIFY(!decodeStream(QByteArray("ok\xc3", 3)));
    QCOMPARE(decodeStream(QByteArray("\xc3\xa9")), std::optional<QString>(QStringLiteral("é")));
    // A NUL is valid UTF-8 and stays in the text.
    QCOMPARE(decodeStream(QByteArray("a\0b", 3))->size(), 3);
}

QTEST_GUILESS_MAIN(TestResultBlock)
#include "tst_resultblock.moc"
