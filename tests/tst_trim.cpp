#include "trim.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

const QByteArray separator(45, '-');
const QByteArray marker("<This log has been trimmed>");
constexpr std::int32_t maxPostSize = 1000000;

// A block of exactly size bytes after its separator: "Results for: " and the
// given head, padded with x.
QByteArray piece(const QByteArray &head, qsizetype size)
{
    QByteArray text = "Results for: " + head;
    return text + QByteArray(size - text.size(), 'x');
}

} // namespace

class TestTrim : public QObject
{
    Q_OBJECT

private slots:
    void cutsThePiecesHoldingTail_data();
    void cutsThePiecesHoldingTail();
    void reportOfOneByteOverTheLimit_data();
    void reportOfOneByteOverTheLimit();
    void cutEndsOnAWholeCharacter_data();
    void cutEndsOnAWholeCharacter();
    void staysLinearInTheReportSize();
};

// Small reports against a small limit: the rules for pieces and separators.
void TestTrim::cutsThePiecesHoldingTail_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<std::int32_t>("limit");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray tailPiece = "Results for: /bin/sh -c tail -n 5 log\n0123456789"; // 48 bytes
    const QByteArray plain = "Results for: /bin/ps\nabc\n";

    // E = 1, K = 48 - 1 - 27 = 20: "Results for: /bin/sh" is kept.
    QTest::newRow("tail piece loses excess and marker length")
        << separator + tailPiece << std::int32_t(45 + 48 - 1)
        << separator + "Results for: /bin/sh" + marker;
    // Every tail piece is cut by the whole excess, other pieces stay whole.
    QTest::newRow("each tail piece is cut by the whole excess")
        << separator + tailPiece + separator + plain + separator + tailPiece
        << std::int32_t(3 * 45 + 2 * 48 + 25 - 1)
        << separator + "Results for: /bin/sh" + marker + separator + plain + separator +
               "Results for: /bin/sh" + marker;
    // E = 21, K = 48 - 21 - 27 = 0: too short to cut.
    QTest::newRow("tail piece of E + 27 bytes stays whole")
        << separator + tailPiece << std::int32_t(45 + 48 - 21) << separator + tailPiece;
    QTest::newRow("K of 1 keeps one byte")
        << separator + tailPiece << std::int32_t(45 + 48 - 20) << separator + "R" + marker;
    QTest::newRow("no piece holds tail")
        << separator + plain + separator + plain << std::int32_t(10)
        << separator + plain + separator + plain;
    QTest::newRow("the word is matched case-sensitively")
        << separator + "Results for: Tail TAIL\n"
        << std::int32_t(1) << separator + "Results for: Tail TAIL\n";
    QTest::newRow("two separators in a row become one")
        << separator + separator + plain << std::int32_t(10) << separator + plain;
    QTest::newRow("a trailing separator disappears")
        << separator + plain + separator << std::int32_t(10) << separator + plain;
    QTest::newRow("an account line gains a separator")
        << "Veltrane account: a\n" + separator + plain << std::int32_t(10)
        << separator + "Veltrane account: a\n" + separator + plain;
}

void TestTrim::cutsThePiecesHoldingTail()
{
    QFETCH(QByteArray, report);
    QFETCH(std::int32_t, limit);
    QFETCH(QByteArray, expected);
    QCOMPARE(trimTailData(report, limit), expected);
}

// A 1000-byte system log piece in a report one byte over the real limit.
void TestTrim::reportOfOneByteOverTheLimit_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<qsizetype>("expectedSize");

    QTest::newRow("no account line") << QByteArray() << qsizetype(maxPostSize);
    // The account line's piece gets a separator of its own in front.
    QTest::newRow("account line") << QByteArray("Veltrane account: a\n")
                                  << qsizetype(maxPostSize + 45);
}

void TestTrim::reportOfOneByteOverTheLimit()
{
    QFETCH(QByteArray, head);
    QFETCH(qsizetype, expectedSize);

    const QByteArray log = piece("/bin/sh -c tail -n 15000 /var/log/system.log\n", 1000);
    QByteArray report = head + separator + log;
    // Filler blocks without the word bring the report to maxPostSize + 1 bytes.
    while (report.size() < maxPostSize + 1) {
        const qsizetype room = maxPostSize + 1 - report.size() - separator.size();
        report += separator + piece("/bin/ps\n", std::min<qsizetype>(room, 10000));
    }
    QCOMPARE(report.size(), qsizetype(maxPostSize + 1));

    const QByteArray trimmed = trimTailData(report, maxPostSize);
    QCOMPARE(trimmed.size(), expectedSize);
    // E = 1, so the log keeps 1000 - 1 - 27 = 972 bytes, followed by the marker.
    const qsizetype logStart = trimmed.indexOf(log.first(972));
    QVERIFY(logStart > 0);
    QCOMPARE(trimmed.mid(logStart + 972, 27 + 45), marker + separator);
}

// A cut that falls inside a multi-byte character keeps only the bytes before it.
void TestTrim::cutEndsOnAWholeCharacter_data()
{
    QTest::addColumn<QByteArray>("character");
    QTest::addColumn<int>("fillerSize");
    QTest::addColumn<QByteArray>("kept");

    // The piece is "tail ", the character, then filler; E = 1, so
    // K = 5 + character size + filler - 28.
    const QByteArray e = "\xc3\xa9";             // é
    const QByteArray euro = "\xe2\x82\xac";      // €
    const QByteArray smile = "\xf0\x9f\x98\x80"; // 😀
    QTest::newRow("after the first byte of two") << e << 27 << QByteArray("tail ");
    QTest::newRow("after the second byte of three") << euro << 27 << QByteArray("tail ");
    QTest::newRow("after the first byte of three") << euro << 26 << QByteArray("tail ");
    QTest::newRow("after the third byte of four") << smile << 27 << QByteArray("tail ");
    QTest::newRow("right after the character") << e << 28 << "tail " + e;
}

void TestTrim::cutEndsOnAWholeCharacter()
{
    QFETCH(QByteArray, character);
    QFETCH(int, fillerSize);
    QFETCH(QByteArray, kept);

    const QByteArray report = separator + "tail " + character + QByteArray(fillerSize, 'z');
    const auto limit = static_cast<std::int32_t>(report.size() - 1);
    QCOMPARE(trimTailData(report, limit), separator + kept + marker);
}

// A report of many small blocks: a cost per block that grows with the report
// (copying the output for every block, say) would take minutes here.
void TestTrim::staysLinearInTheReportSize()
{
    const QByteArray block =
        separator + "Results for: /usr/bin/tail -n 1 f\n" + QByteArray(20, 'x');
    const qsizetype blockCount = 16 * 1024 * 1024 / block.size();
    const QByteArray report = block.repeated(blockCount);

    QElapsedTimer timer;
    timer.start();
    const QByteArray trimmed = trimTailData(report, static_cast<std::int32_t>(report.size() - 1));
    const qint64 elapsed = timer.elapsed();

    // E = 1: every block loses its last 1 + 27 bytes and gains the 27 of the
    // marker.
    QCOMPARE(trimmed.size(), report.size() - blockCount);
    QVERIFY2(elapsed < 5000, qPrintable(QString("took %1 ms").arg(elapsed)));
}

QTEST_APPLESS_MAIN(TestTrim)
#include "tst_trim.moc"
