#include "linkscan.h"
#include "mainwindow.h"

#include <QTest>
#include <QTextBrowser>

// Each link as start, length and URL, e.g. "15 20 https://r.example/x7".
using Links = QStringList;

class TestLinkScan : public QObject
{
    Q_OBJECT

private slots:
    void scan_data();
    void scan();
    void view_data();
    void view();
};

void TestLinkScan::scan_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Links>("expected");

    // "See results at " is 15 characters, so its link starts at 15.
    QTest::newRow("link before a line break") << "See results at https://r.example/x7\n"
                                              << Links{"15 20 https://r.example/x7"};
    QTest::newRow("capital prefix") << "HTTPS://r.example/a Http://r.example/b" << Links{};
    // The https address is taken first and the scan goes on past it, never
    // back to the http address before it.
    QTest::newRow("http then https")
        << "http://a.example https://b.example" << Links{"17 17 https://b.example"};
    // "https://a.example/?u=" is 21 long; both end at the same place.
    QTest::newRow("address holding another address")
        << "https://a.example/?u=http://b.example/p"
        << Links{"0 39 https://a.example/?u=http://b.example/p", "21 18 http://b.example/p"};
    QTest::newRow("invalid URL") << "go to https://a.example/{x} or https://b.example"
                                 << Links{"31 17 https://b.example"};
    // Tab, carriage return, next line, no-break space and line separator end
    // an address; a zero width space is no separator.
    QTest::newRow("separators")
        << QStringLiteral("http://a.example\thttp://b.example\rhttp://c.example\u0085"
                          "http://d.example\u00a0http://e.example\u2028http://f.example/\u200bx")
        << Links{"0 16 http://a.example",  "17 16 http://b.example",
                 "34 16 http://c.example", "51 16 http://d.example",
                 "68 16 http://e.example", "85 19 http://f.example/%E2%80%8Bx"};
}

void TestLinkScan::scan()
{
    QFETCH(QString, text);
    QFETCH(Links, expected);
    Links found;
    for (const LinkRange &link : scanLinks(text))
        found << QString::number(link.start) + ' ' + QString::number(link.length) + ' ' +
                     link.url.toString(QUrl::FullyEncoded);
    QCOMPARE(found, expected);
}

void TestLinkScan::view_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("href");
    // The outer link covers 15..53, the inner one 36..53 (15 + 21), the line
    // break is 54 and "Thanks" starts at 55.
    const QString outer = "https://a.example/?u=http://b.example/p";
    QTest::newRow("start of the link") << 15 << outer;
    QTest::newRow("last character before the inner address") << 35 << outer;
    QTest::newRow("end of both links") << 53 << "http://b.example/p";
    QTest::newRow("after the line break") << 55 << QString();
}

void TestLinkScan::view()
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
    QCOMPARE(format.fontUnderline(), !href.isEmpty());
    // Links orange, all other text white.
    QCOMPARE(format.foreground().color().name(), href.isEmpty() ? "#ffffff" : "#ff8000");
}

QTEST_MAIN(TestLinkScan)
#include "tst_links.moc"
