#include "multipart.h"

#include <QTest>

class TestMultipart : public QObject
{
    Q_OBJECT

private slots:
    void uploadOfAbc();
};

void TestMultipart::uploadOfAbc()
{
    const PostRequest post =
        postRequestWithURL(QUrl("https://results.test/diagnosticsubmit"), uploadBoundary, "abc");
    // 19 + 68 + 3 + 23 = 113 bytes.
    QCOMPARE(post.body, QByteArray("--0xKhTmLbOuNdArY\r\n"
                                   "Content-Disposition: form-data; name=\"file\"; "
                                   "filename=\"test.bin\"\r\n\r\n"
                                   "abc\r\n--0xKhTmLbOuNdArY--\r\n"));
    QCOMPARE(post.body.size(), 113);
    // No header of our own but the one naming the boundary.
    QCOMPARE(post.request.rawHeaderList(), QByteArrayList{"Content-Type"});
    QCOMPARE(post.request.rawHeader("Content-Type"),
             QByteArray("multipart/form-data; boundary=0xKhTmLbOuNdArY"));
}

QTEST_APPLESS_MAIN(TestMultipart)
#include "tst_multipart.moc"
