#include "multipart.h"

#include <QTest>

class TestMultipart : public QObject
{
    Q_OBJECT

private slots:
    void bodyIsByteForByte_data();
    void bodyIsByteForByte();
    void requestNamesTheBoundary();
};

void TestMultipart::bodyIsByteForByte_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray head = "--0xKhTmLbOuNdArY\r\n"
                            "Content-Disposition: form-data; name=\"file\"; "
                            "filename=\"test.bin\"\r\n\r\n";
    const QByteArray tail = "\r\n--0xKhTmLbOuNdArY--\r\n";

    // 19 + 68 + 3 + 23 = 113 bytes.
    QTest::newRow("abc") << QByteArray("abc") << head + "abc" + tail;
    // Sent as they are: no escaping, no other boundary chosen.
    QTest::newRow("data holding the boundary") << QByteArray("x\r\n--0xKhTmLbOuNdArY--\r\ny")
                                               << head + "x\r\n--0xKhTmLbOuNdArY--\r\ny" + tail;
    QTest::newRow("NUL and non-ASCII bytes")
        << QByteArray("a\0b\xc3\xa9", 5) << head + QByteArray("a\0b\xc3\xa9", 5) + tail;
}

void TestMultipart::bodyIsByteForByte()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, expected);
    const QByteArray body = multipartBody(uploadBoundary, data);
    QCOMPARE(body, expected);
    QCOMPARE(body.size(), data.size() + 110);
}

void TestMultipart::requestNamesTheBoundary()
{
    const QUrl url("https://results.test/diagnosticsubmit");
    const PostRequest post = postRequestWithURL(url, uploadBoundary, "abc");
    QCOMPARE(post.request.url(), url);
    QCOMPARE(post.request.rawHeader("Content-Type"),
             QByteArray("multipart/form-data; boundary=0xKhTmLbOuNdArY"));
    QCOMPARE(post.request.rawHeaderList(), QList<QByteArray>{"Content-Type"});
    QCOMPARE(post.body.size(), 113);
}

QTEST_APPLESS_MAIN(TestMultipart)
#include "tst_multipart.moc"
