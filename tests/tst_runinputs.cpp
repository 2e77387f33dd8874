#include "runinputs.h"

#include <QTest>

class TestRunInputs : public QObject
{
    Q_OBJECT

private slots:
    void accountAndTicket_data();
    void accountAndTicket();
    void testDomain_data();
    void testDomain();
};

void TestRunInputs::accountAndTicket_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<std::optional<QString>>("stored");

    const std::optional<QString> absent;
    QTest::newRow("blanks around") << "  acme  " << std::optional<QString>("acme");
    QTest::newRow("tabs around") << "\t42\t " << std::optional<QString>("42");
    QTest::newRow("blank inside stays") << " acme corp " << std::optional<QString>("acme corp");
    QTest::newRow("only blanks and tabs") << " \t \t" << absent;
    QTest::newRow("empty") << "" << absent;
    QTest::newRow("other space separators")
        << QString::fromUtf8("\u00a0acme\u3000") << std::optional<QString>("acme");
    QTest::newRow("line breaks are kept") << "\nacme \n" << std::optional<QString>("\nacme \n");
}

void TestRunInputs::accountAndTicket()
{
    QFETCH(QString, typed);
    QFETCH(std::optional<QString>, stored);
    QCOMPARE(trimmedEntry(typed), stored);
}

void TestRunInputs::testDomain_data()
{
    QTest::addColumn<std::optional<QString>>("option");
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("fieldRead");
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<QString>>("present");

    const std::optional<QString> none;
    QTest::newRow("option wins") << std::optional<QString>("a.example") << "b.example" << false
                                 << "a.example" << std::optional<QString>("a.example");
    QTest::newRow("blanks anywhere are removed")
        << none << " exa mple.test " << true << "example.test"
        << std::optional<QString>("example.test");
    QTest::newRow("a tab stays") << none << "a.\tb" << true << "a.\tb"
                                 << std::optional<QString>("a.\tb");
    QTest::newRow("blank option: no domain, field not read")
        << std::optional<QString>("   ") << "b.example" << false << "" << none;
    QTest::newRow("empty option: the field") << std::optional<QString>("") << "b.example" << true
                                             << "b.example" << std::optional<QString>("b.example");
    QTest::newRow("no dot") << none << "localhost" << true << "localhost" << none;
    QTest::newRow("leading dot") << none << ".com" << true << ".com"
                                 << std::optional<QString>(".com");
    QTest::newRow("trailing dot") << none << "com." << true << "com."
                                  << std::optional<QString>("com.");
    QTest::newRow("an option for dig")
        << std::optional<QString>("-f/etc/x.conf") << "" << false << "-f/etc/x.conf" << none;
    QTest::newRow("an option after a blank") << none << " -x.y" << true << "-x.y" << none;
    QTest::newRow("dash inside is fine") << none << "my-site.example" << true << "my-site.example"
                                         << std::optional<QString>("my-site.example");
}

void TestRunInputs::testDomain()
{
    QFETCH(std::optional<QString>, option);
    QFETCH(QString, field);
    QFETCH(bool, fieldRead);
    QFETCH(QString, text);
    QFETCH(std::optional<QString>, present);

    bool read = false;
    const QString taken = testDomainText(option, [&] {
        read = true;
        return field;
    });
    QCOMPARE(read, fieldRead);
    QCOMPARE(taken, text);
    QCOMPARE(presentTestDomain(taken), present);
}

QTEST_GUILESS_MAIN(TestRunInputs)
#include "tst_runinputs.moc"
