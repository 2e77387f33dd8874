#include "reportpages.h"
#include "reportview.h"

#include <QBuffer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

namespace {

ReportPages pagesOf(const QByteArray &report, qsizetype pageSize)
{
    auto device = std::make_shared<QBuffer>();
    device->setData(report);
    device->open(QIODevice::ReadOnly);
    return ReportPages(device, pageSize);
}

} // namespace

class TestReportPages : public QObject
{
    Q_OBJECT

private slots:
    void pages_data();
    void pages();
    void find_data();
    void find();
    void view();
};

void TestReportPages::pages_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<qsizetype>("pageSize");
    QTest::addColumn<QStringList>("pages");

    QTest::newRow("empty") << QByteArray() << qsizetype(10) << QStringList{""};
    QTest::newRow("one page") << QByteArray("a\nb\n") << qsizetype(4) << QStringList{"a\nb\n"};
    QTest::newRow("each ends after a line break")
        << QByteArray("a\nb\nc") << qsizetype(2) << QStringList{"a\nb\n", "c"};
    // A line of 4097 + 2 bytes with no break is cut 4096 bytes past the page
    // size, 2, which falls inside the "é": the cut moves before it.
    QTest::newRow("long line cut at a character")
        << QByteArray(4097, 'x') + "\xC3\xA9yz" << qsizetype(2)
        << QStringList{QString(4097, u'x'), "éyz"};
}

void TestReportPages::pages()
{
    QFETCH(QByteArray, report);
    QFETCH(qsizetype, pageSize);
    QFETCH(QStringList, pages);

    const ReportPages read = pagesOf(report, pageSize);
    QStringList texts;
    for (int page = 0; page < read.count(); ++page)
        texts << read.text(page).value_or("(unread)");
    QCOMPARE(texts, pages);
}

// Pages "alpha", "Beta", "gamma".
void TestReportPages::find_data()
{
    QTest::addColumn<QString>("needle");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("found"); // -1: nowhere

    QTest::newRow("next page, case ignored") << "BETA" << 0 << 1;
    QTest::newRow("round from the last") << "alpha" << 2 << 0;
    QTest::newRow("only on the page itself") << "alpha" << 0 << 0;
    QTest::newRow("nowhere") << "delta" << 1 << -1;
}

void TestReportPages::find()
{
    QFETCH(QString, needle);
    QFETCH(int, from);
    QFETCH(int, found);

    const ReportPages pages = pagesOf("alpha\nBeta\ngamma\n", 1);
    QCOMPARE(pages.count(), 3);
    QCOMPARE(pages.nextPageWith(needle, from).value_or(-1), found);
}

// Next goes on from the place found, across pages and round.
void TestReportPages::view()
{
    ReportView view(pagesOf("one a\ntwo\nthree a\n", 1), "report");
    view.show();
    auto *field = view.findChild<QLineEdit *>();
    auto *text = view.findChild<QPlainTextEdit *>();
    QLabel *pageLabel = nullptr;
    for (QLabel *label : view.findChildren<QLabel *>())
        pageLabel = label->text().startsWith("Page ") ? label : pageLabel;
    QVERIFY(field && text && pageLabel);
    QTest::keyClicks(field, "A");
    QStringList places;
    for (int next = 0; next < 3; ++next) {
        QTest::keyClick(field, Qt::Key_Return);
        places << pageLabel->text() + ' ' + QString::number(text->textCursor().selectionStart());
    }
    QCOMPARE(places, (QStringList{"Page 1 of 3 4", "Page 3 of 3 6", "Page 1 of 3 4"}));
    QTest::keyClick(&view, Qt::Key_Escape);
    QVERIFY(!view.isVisible());
}

QTEST_MAIN(TestReportPages)
#include "tst_reportpages.moc"
