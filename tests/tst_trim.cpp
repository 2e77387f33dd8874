#include "trim.h"

#include <QElapsedTimer>
#include <QTest>

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
    void staysLinearInTheReportSize();
};

// Each row trims with the excess E = report size - limit, so a piece holding
// "tail" keeps K = size - E - 27 bytes.
void TestTrim::trimsThePiecesHoldingTail_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<int>("excess");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray log = "Results for: tail -n 15000 /var/log/syslog\n" + QByteArray(957, 'x');
    const QByteArray tailPiece = "Results for: tail -n 5 log\n0123456789"; // 37 bytes
    const QByteArray plain = "Results for: /bin/ps\nabc\n";
    QTest::newRow("1000-byte log, one byte over")
        << separator + log << 1 << separator + log.first(972) + marker;
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

// Many small blocks: a cost per block that grows with the report (copying the
// output for every block, say) would take minutes here.
void TestTrim::staysLinearInTheReportSize()
{
    const QByteArray block = separator + "Results for: tail -n 1 f\n" + QByteArray(10, 'x');
    const qsizetype blockCount = 8 * 1024 * 1024 / block.size();
    const QByteArray report = block.repeated(blockCount);

    QElapsedTimer timer;
    timer.start();
    const QByteArray trimmed = trimTailData(report, static_cast<std::int32_t>(report.size() - 1));
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString("took %1 ms").arg(timer.elapsed())));
    // E = 1: every block loses 1 + 27 bytes and gains the 27 of the marker.
    QCOMPARE(trimmed.size(), report.size() - blockCount);
}

QTEST_APPLESS_MAIN(TestTrim)
#include "tst_trim.moc"
