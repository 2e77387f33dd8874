#include "report.h"

#include <QTest>

class TestReport : public QObject
{
    Q_OBJECT

private slots:
    void layout_data();
    void layout();
};

void TestReport::layout_data()
{
    const QString a = QString(45, u'-') + "Results for: a\n";
    const QString b = QString(45, u'-') + "Results for: b\nstdout:\nx\n\n";
    QTest::addColumn<std::optional<QString>>("account");
    QTest::addColumn<std::optional<QString>>("ticket");
    QTest::addColumn<QString>("expected");

    QTest::newRow("blocks only") << std::optional<QString>() << std::optional<QString>() << a + b;
    QTest::newRow("account and ticket")
        << std::optional<QString>("a") << std::optional<QString>("7")
        << "Veltrane account: a\nVeltrane ticket: 7\n" + a + b;
    QTest::newRow("ticket only") << std::optional<QString>() << std::optional<QString>("7")
                                 << "Veltrane ticket: 7\n" + a + b;
}

void TestReport::layout()
{
    QFETCH(std::optional<QString>, account);
    QFETCH(std::optional<QString>, ticket);
    QFETCH(QString, expected);
    const QString a = QString(45, u'-') + "Results for: a\n";
    const QString b = QString(45, u'-') + "Results for: b\nstdout:\nx\n\n";
    QCOMPARE(buildReport(account, ticket, {a, b}), expected);
}

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
