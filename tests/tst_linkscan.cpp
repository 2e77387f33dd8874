#include "linkscan.h"

#include <QTest>

using Links = std::vector<LinkRange>;
Q_DECLARE_METATYPE(Links)

namespace {

LinkRange link(qsizetype start, qsizetype length, const char *url)
{
    return {start, length, QUrl(QString::fromUtf8(url), QUrl::StrictMode)};
}

} // namespace

class TestLinkScan : public QObject
{
    Q_OBJECT

private slots:
    void scan_data();
    void scan();
    void whitespace_data();
    void whitespace();
};

void TestLinkScan::scan_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Links>("expected");

    // "See results at " is 15 characters, so its link starts at 15.
    QTest::newRow("empty text") << QString() << Links{};
    QTest::newRow("link at the end")
        << "See results at https://r.example/x7" << Links{link(15, 20, "https://r.example/x7")};
    QTest::newRow("link before a line break") << "See results at https://r.example/x7\n"
                                              << Links{link(15, 20, "https://r.example/x7")};
    QTest::newRow("no link") << "There was an error submitting the results" << Links{};
    QTest::newRow("capital prefix") << "HTTPS://r.example/a Http://r.example/b" << Links{};
    // The https address is taken first; the scan goes on past its prefix and
    // never looks back at the http address before it.
    QTest::newRow("http then https")
        << "http://a.example https://b.example" << Links{link(17, 17, "https://b.example")};
    QTest::newRow("https then http")
        << "https://a.example http://b.example"
        << Links{link(0, 17, "https://a.example"), link(18, 16, "http://b.example")};
    // The inner address starts at 21 ("https://a.example/?u=" is 21 long)
    // and runs to the same end as the outer one.
    QTest::newRow("address inside an address")
        << "https://a.example/?u=http://b.example/p"
        << Links{link(0, 39, "https://a.example/?u=http://b.example/p"),
                 link(21, 18, "http://b.example/p")};
    QTest::newRow("invalid URL is no link") << "go to https://a.example/{x} or https://b.example"
                                            << Links{link(31, 17, "https://b.example")};
    QTest::newRow("tab, carriage return and next line end an address")
        << QStringLiteral("http://a.example\thttp://b.example\rhttp://c.example\u0085.")
        << Links{link(0, 16, "http://a.example"), link(17, 16, "http://b.example"),
                 link(34, 16, "http://c.example")};
    QTest::newRow("bare prefix") << "http:// x" << Links{link(0, 7, "http://")};
}

void TestLinkScan::scan()
{
    QFETCH(QString, text);
    QFETCH(Links, expected);
    const Links found = scanLinks(text);
    QCOMPARE(found.size(), expected.size());
    for (size_t i = 0; i < found.size(); ++i) {
        QCOMPARE(found[i].start, expected[i].start);
        QCOMPARE(found[i].length, expected[i].length);
        QCOMPARE(found[i].url, expected[i].url);
    }
}

void TestLinkScan::whitespace_data()
{
    QTest::addColumn<char16_t>("character");
    QTest::addColumn<bool>("expected");

    QTest::newRow("space") << u' ' << true;
    QTest::newRow("no-break space") << u'\u00a0' << true;
    QTest::newRow("line separator") << u'\u2028' << true;
    QTest::newRow("paragraph separator") << u'\u2029' << true;
    QTest::newRow("vertical tab") << u'\v' << true;
    QTest::newRow("form feed") << u'\f' << true;
    QTest::newRow("next line") << u'\u0085' << true;
    QTest::newRow("zero width space is no separator") << u'\u200b' << false;
    QTest::newRow("letter") << u'a' << false;
    QTest::newRow("other control character") << u'\u001f' << false;
}

void TestLinkScan::whitespace()
{
    QFETCH(char16_t, character);
    QFETCH(bool, expected);
    QCOMPARE(isWhitespaceOrNewline(QChar(character)), expected);
}

QTEST_APPLESS_MAIN(TestLinkScan)
#include "tst_linkscan.moc"
