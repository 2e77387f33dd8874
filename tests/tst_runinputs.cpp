#include "delivery.h"
#include "paths.h"
#include "runinputs.h"

#include <QDir>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

using Text = std::optional<QString>;

class TestRunInputs : public QObject
{
    Q_OBJECT

private slots:
    void accountAndTicket();
    void testDomain_data();
    void testDomain();
    void skippedTestDomain();
    void outputPath();
};

void TestRunInputs::accountAndTicket()
{
    QCOMPARE(trimmedEntry(" \tacme corp\t "), Text("acme corp"));
    QCOMPARE(trimmedEntry(QString::fromUtf8("\u00a0acme\u3000")), Text("acme"));
    QCOMPARE(trimmedEntry(" \t \t"), Text());
    // No line of the report's head can be forged.
    QCOMPARE(trimmedEntry("\nacme\r\nVeltrane ticket: 1\x1b[2J\u2028x\n"),
             Text("acme Veltrane ticket: 1 [2J x"));
}

void TestRunInputs::testDomain_data()
{
    QTest::addColumn<Text>("option");
    QTest::addColumn<QString>("field");
    QTest::addColumn<Text>("present");
    QTest::newRow("option wins") << Text("a.test") << "b.test" << Text("a.test");
    QTest::newRow("empty option: the field") << Text("") << "b.test" << Text("b.test");
    QTest::newRow("blank option: none") << Text("  ") << "b.test" << Text();
    QTest::newRow("blanks removed") << Text() << " exa mple.test " << Text("example.test");
    QTest::newRow("a tab") << Text() << "a.\tb" << Text();
    QTest::newRow("no dot") << Text() << "localhost" << Text();
    QTest::newRow("an option for dig") << Text("-f/etc/x.conf") << "b.test" << Text();
    QTest::newRow("an option after a blank") << Text() << " -x.y" << Text();
    QTest::newRow("dash inside") << Text() << "my-site.test" << Text("my-site.test");
    QTest::newRow("an address: its host")
        << Text("https://Host.test:8443/p?q") << "b.test" << Text("host.test");
    QTest::newRow("not ASCII: its ASCII form")
        << Text("bücher.example") << "" << Text("xn--bcher-kva.example");
    QTest::newRow("an empty label") << Text("a..test") << "" << Text();
    QTest::newRow("dots alone") << Text("..") << "" << Text();
    QTest::newRow("the root's dot") << Text("a.test.") << "" << Text("a.test.");
}

void TestRunInputs::testDomain()
{
    QFETCH(Text, option);
    QFETCH(QString, field);
    QFETCH(Text, present);
    QCOMPARE(presentTestDomain(testDomainName(testDomainText(option, [&] { return field; })).name),
             present);
}

// dig would take "@a.test" for the server to ask, "+a.test" for an option.
void TestRunInputs::skippedTestDomain()
{
    QCOMPARE(skippedTestDomainNotice("localhost"),
             Text("not testing the domain \"localhost\": it has no dot"));
    QCOMPARE(skippedTestDomainNotice("@a.test"),
             Text("not testing the domain \"@a.test\": dig would take a name beginning with "
                  "\"@\" for the server to ask"));
    QCOMPARE(skippedTestDomainNotice(".."),
             Text("not testing the domain \"..\": it has an empty label"));
    QCOMPARE(skippedTestDomainNotice("a.test\nb"),
             Text("not testing the domain \"a.test\\x0ab\": it holds a control character"));
    QCOMPARE(skippedTestDomainNotice("+a.test"),
             Text("not testing the domain \"+a.test\": dig and traceroute would take a name "
                  "beginning with \"+\" for an option"));
}

void TestRunInputs::outputPath()
{
    const QString home = QDir::homePath();
    QCOMPARE(expandTilde("~"), home);
    QCOMPARE(expandTilde("~/out/f.txt"), home + "/out/f.txt");
    QCOMPARE(expandTilde("relative/~/f"), QString("relative/~/f"));
    const passwd *root = ::getpwnam("root");
    QVERIFY(root);
    QCOMPARE(expandTilde("~root/f"), QString::fromLocal8Bit(root->pw_dir) + "/f");
    QCOMPARE(expandTilde("~no-such-user-here/f"), QString("~no-such-user-here/f"));

    // Where a failed upload's copy goes: with HOME unset or empty the
    // account's home, never "/".
    const QByteArray oldHome = qgetenv("HOME");
    const QString accountHome = QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_dir);
    QStringList homes;
    for (const char *value : std::initializer_list<const char *>{"", "/", "/h/", nullptr}) {
        value ? qputenv("HOME", value) : qunsetenv("HOME");
        homes << homeFolder();
    }
    qputenv("HOME", oldHome);
    QCOMPARE(homes, (QStringList{accountHome, "", "/h", accountHome}));
}

QTEST_GUILESS_MAIN(TestRunInputs)
#include "tst_runinputs.moc"
