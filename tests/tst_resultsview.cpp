#include "mainwindow.h"

#include <QTest>
#include <QTextBrowser>
#include <QTextCursor>

class TestResultsView : public QObject
{
    Q_OBJECT

private slots:
    void formats_data();
    void formats();
};

void TestResultsView::formats_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("href");

    // Text: "See results at https://a.example/?u=http://b.example/p\nThanks"
    // The outer link covers 15..53, the inner one 36..53 (15 + 21), the line
    // break is 54 and "Thanks" starts at 55.
    const QString outer = "https://a.example/?u=http://b.example/p";
    QTest::newRow("text before the link") << 0 << QString();
    QTest::newRow("start of the link") << 15 << outer;
    QTest::newRow("last character before the inner address") << 35 << outer;
    QTest::newRow("inner address") << 36 << "http://b.example/p";
    QTest::newRow("end of both links") << 53 << "http://b.example/p";
    QTest::newRow("after the line break") << 55 << QString();
}

void TestResultsView::formats()
{
    QFETCH(int, position);
    QFETCH(QString, href);

    QTextBrowser view;
    // A link over the whole earlier text must not carry over to the new one.
    MainWindow::setTextView(&view, "https://old.example/" + QString(60, u'x'));
    MainWindow::setTextView(&view,
                            "See results at https://a.example/?u=http://b.example/p\nThanks");

    QTextCursor cursor(view.document());
    cursor.setPosition(position + 1); // the format of the character before
    const QTextCharFormat format = cursor.charFormat();
    QCOMPARE(format.anchorHref(), href);
    QCOMPARE(format.isAnchor(), !href.isEmpty());
    QCOMPARE(format.fontUnderline(), !href.isEmpty());
    // Links orange, all other text white.
    QCOMPARE(format.foreground().color().name(), href.isEmpty() ? "#ffffff" : "#ff8000");
}

QTEST_MAIN(TestResultsView)
#include "tst_resultsview.moc"
