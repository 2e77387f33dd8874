#include "boundaryscan.h"
#include "multipart.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTest>

class TestMultipart : public QObject
{
    Q_OBJECT

private slots:
    void uploadOfAbc();
    void streamedBody_data();
    void streamedBody();
    void boundaryChoice_data();
    void boundaryChoice();
};

void TestMultipart::uploadOfAbc()
{
    // 19 + 68 + 3 + 23 = 113 bytes.
    QCOMPARE(multipartHead(uploadBoundary) + "abc" + multipartTail(uploadBoundary),
             QByteArray("--0xKhTmLbOuNdArY\r\n"
                        "Content-Disposition: form-data; name=\"file\"; "
                        "filename=\"test.bin\"\r\n\r\n"
                        "abc\r\n--0xKhTmLbOuNdArY--\r\n"));
}

// Streamed from the data, the body holds the bytes of the form made in memory.
void TestMultipart::streamedBody_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("piece"); // bytes read at a time

    QByteArray random(100000, '\0');
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(random.data()), 25000);
    QTest::newRow("abc, a byte at a time") << QByteArray("abc") << 1;
    QTest::newRow("100 kB in 16 KiB pieces") << random << 16384;
}

void TestMultipart::streamedBody()
{
    QFETCH(QByteArray, data);
    QFETCH(int, piece);

    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(1); // read before: the body still starts at the start
    const PostRequest post = postRequestWithURL(QUrl("https://r.test/"), uploadBoundary, &buffer);
    // No header of our own but the one naming the boundary (in the case the
    // Qt version spells header names; the upload test checks what arrives).
    QCOMPARE(post.request.rawHeaderList().size(), 1);
    QCOMPARE(post.request.rawHeader("content-type"),
             QByteArray("multipart/form-data; boundary=0xKhTmLbOuNdArY"));
    const QByteArray whole = multipartHead(uploadBoundary) + data + multipartTail(uploadBoundary);
    QCOMPARE(post.body->size(), whole.size());
    QByteArray streamed;
    while (!post.body->atEnd())
        streamed += post.body->read(piece);
    QCOMPARE(streamed, whole);
    // Rewound for a second try, from within the head or the data.
    for (qint64 from : {0, 50, 90}) {
        QVERIFY(post.body->seek(from));
        QCOMPARE(post.body->readAll(), whole.mid(from));
    }
}

// Bytes written in pieces, separated by "|", and the boundary a body of them
// can be sent with: the upload's, or the other one, "0ther", unless they hold
// both.
void TestMultipart::boundaryChoice_data()
{
    QTest::addColumn<QByteArray>("pieces");
    QTest::addColumn<QByteArray>("boundary");
    QTest::newRow("neither") << QByteArray("a|0xKhTmLbOuNdAr|0the") << QByteArray(uploadBoundary);
    QTest::newRow("the upload's") << QByteArray("a\r\n--0xKhTmLbOuNdArY--\r\n")
                                  << QByteArray("0ther");
    QTest::newRow("the upload's, across pieces")
        << QByteArray("0xK|h|TmLbOuNdAr|Y") << QByteArray("0ther");
    QTest::newRow("the other only") << QByteArray("0th|er") << QByteArray(uploadBoundary);
    QTest::newRow("both") << QByteArray("0xKhTmLbOuNdArY0t|her") << QByteArray("none");
}

void TestMultipart::boundaryChoice()
{
    QFETCH(QByteArray, pieces);
    QFETCH(QByteArray, boundary);

    BoundaryScan scan("0ther");
    for (const QByteArray &piece : pieces.split('|'))
        scan.scan(piece);
    QCOMPARE(scan.boundary().value_or("none"), boundary);
}

QTEST_APPLESS_MAIN(TestMultipart)
#include "tst_multipart.moc"
