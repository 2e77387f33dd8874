#include "referencetrim.h"
#include "trim.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTest>

#include <iterator>

namespace {

const QByteArray separator(45, '-');
const QByteArray marker("<This log has been trimmed>");

} // namespace

class TestTrim : public QObject
{
    Q_OBJECT

private slots:
    void trimsThePiecesHoldingTail_data();
    void trimsThePiecesHoldingTail();
    void streamingMatchesTrimTailData();
};

// Each row trims with the excess E = report size - limit, so a piece holding
// "tail" keeps K = size - E - 27 bytes.
void TestTrim::trimsThePiecesHoldingTail_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<int>("excess");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray tailPiece = "Results for: tail -n 5 log\n0123456789"; // 37 bytes
    const QByteArray plain = "Results for: /bin/ps\nabc\n";
    // Every piece holding the word is cut by the whole excess.
    QTest::newRow("two tail pieces, one plain")
        << separator + tailPiece + separator + plain + separator + tailPiece << 5
        << separator + tailPiece.first(5) + marker + separator + plain + separator +
               tailPiece.first(5) + marker;
    QTest::newRow("K of 1") << separator + tailPiece << 9 << separator + "R" + marker;
    QTest::newRow("K of 0: too short, kept whole")
        << separator + tailPiece << 10 << separator + tailPiece;
    // 90 hyphens are two separators around an empty piece, which disappears.
    QTest::newRow("90 hyphens") << separator + separator + plain << 1 << separator + plain;
    // The account line stands before the first separator and gains one: the
    // output is 45 bytes longer than the report.
    QTest::newRow("account line") << "Veltrane account: a\n" + separator + plain << 1
                                  << separator + "Veltrane account: a\n" + separator + plain;
    // K = 5 + character size + filler - 28; a cut inside a character keeps
    // only the bytes before it.
    QTest::newRow("cut after the third byte of 😀")
        << separator + "tail \xf0\x9f\x98\x80" + QByteArray(27, 'z') << 1
        << separator + "tail " + marker;
    QTest::newRow("exactly at the limit: unchanged")
        << separator + separator + tailPiece << 0 << separator + separator + tailPiece;
    QTest::newRow("cut right after é") << separator + "tail \xc3\xa9" + QByteArray(28, 'z') << 1
                                       << separator + "tail \xc3\xa9" + marker;
}

void TestTrim::trimsThePiecesHoldingTail()
{
    QFETCH(QByteArray, report);
    QFETCH(int, excess);
    QFETCH(QByteArray, expected);
    QCOMPARE(trimTailData(report, static_cast<std::int32_t>(report.size() - excess)), expected);
}

// Random reports of what the trimming looks at: hyphens, "tail" and its halves,
// characters and stray continuation bytes. Every excess puts a cut at every
// byte; small reads split separators, "tail" and characters.
void TestTrim::streamingMatchesTrimTailData()
{
    const QByteArray tokens[] = {"-",    QByteArray(44, '-'), "tail",         "ta",
                                 "il",   "\xc3\xa9",          "\xe2\x82\xac", "\xf0\x9f\x98\x80",
                                 "\x80", "Results for: x\n"};
    for (quint32 seed = 1; seed <= 10; ++seed) {
        QRandomGenerator random(seed);
        QByteArray report;
        for (int piece = random.bounded(1, 8); piece > 0; --piece) {
            if (!report.isEmpty() || random.bounded(2) == 0)
                report += random.bounded(4) == 0 ? separator + separator : separator;
            for (int token = random.bounded(12); token > 0; --token)
                report += tokens[random.bounded(int(std::size(tokens)))];
        }
        for (const qint64 chunkSize : {1, 2, 3, 44, 45, 46, 1 << 20}) {
            for (qsizetype excess = 0; excess <= report.size() + 1; ++excess) {
                const auto maxPostSize = static_cast<std::int32_t>(report.size() - excess);
                QBuffer input(&report);
                input.open(QIODevice::ReadOnly);
                QBuffer output;
                output.open(QIODevice::WriteOnly);
                const auto error = trimTailStream(input, output, maxPostSize, chunkSize);
                QVERIFY2(!error && output.data() == trimTailData(report, maxPostSize),
                         qPrintable(QString::asprintf("seed %u, chunk %lld, excess %lld", seed,
                                                      chunkSize, qlonglong(excess))));
            }
        }
    }
}

QTEST_APPLESS_MAIN(TestTrim)
#include "tst_trim.moc"
