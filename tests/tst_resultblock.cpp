#include "capturedstream.h"
#include "resultblock.h"
#include "utf8escape.h"

#include <QBuffer>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

class TestResultBlock : public QObject
{
    Q_OBJECT

private slots:
    void blocks_data();
    void blocks();
    void escaping_data();
    void escaping();
    void everySequenceOfTheTable();
    void spooling_data();
    void spooling();
    void capped_data();
    void capped();
};

void TestResultBlock::blocks_data()
{
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<QString>("closingLine");
    QTest::addColumn<bool>("masking");
    QTest::addColumn<QByteArray>("sections");

    QTest::newRow("nothing printed")
        << QByteArray() << QByteArray() << QString() << false << QByteArray();
    // Output keeps its own line break, then gets the block's.
    const QByteArray valid("\xEF\xBB\xBF\0a\n", 6);
    QTest::newRow("byte-order mark, NUL and line breaks kept")
        << valid << QByteArray("e") << QString() << false << "stdout:\n" + valid + "\nstderr:\ne\n";
    QTest::newRow("character cut off at the end, closing line, counts last")
        << QByteArray("ok\xC3") << QByteArray("\xFF\xFE") << QString("stopped") << false
        << QByteArray("stdout:\nok\\xC3\n(1 bytes that are not UTF-8 are shown as \\xHH)\n"
                      "stderr:\n\\xFF\\xFE\nstopped\n(2 bytes that are not UTF-8 are shown as "
                      "\\xHH)\n");
    // Masked first: the value's byte that is not UTF-8 goes with it.
    QTest::newRow("masked, then escaped, counts last")
        << QByteArray("a --password=p\xFF \xFE --token t") << QByteArray("--api-key") << QString()
        << true
        << QByteArray("stdout:\na --password=[masked] \\xFE --token [masked]\n(1 bytes that are "
                      "not UTF-8 are shown as \\xHH)\nstderr:\n--api-key\n(2 values that look "
                      "like passwords or tokens are masked)\n");
}

void TestResultBlock::blocks()
{
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QFETCH(QString, closingLine);
    QFETCH(bool, masking);
    QFETCH(QByteArray, sections);

    CaptureMemory memory;
    CapturedStream stdOut(memory);
    CapturedStream stdErr(memory);
    if (masking) {
        stdOut.maskSecrets();
        stdErr.maskSecrets();
    }
    // One byte at a time: the check must not depend on how the bytes arrive.
    for (const char byte : out)
        stdOut.append(QByteArrayView(&byte, 1));
    stdErr.append(err);
    stdOut.finish();
    stdErr.finish();
    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QVERIFY(writeResultBlock(buffer, "cmd", stdOut, stdErr, closingLine));
    QCOMPARE(buffer.data(), QByteArray(45, '-') + "Results for: cmd\n" + sections);
}

// Text like \x41 is valid and stays: only the escaper's own escapes turn back.
void TestResultBlock::escaping_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("escaped");
    QTest::addColumn<qint64>("invalid");

    const QByteArray valid = "caf\xC3\xA9 \\x41 \xF0\x9F\x98\x80 \xEF\xBF\xBF";
    QTest::newRow("valid, up to four bytes") << valid << valid << 0LL;
    QTest::newRow("sequences cut short by ASCII and by a lead byte")
        << QByteArray("\xE2\x82 A\xE2\xC3\xA9") << QByteArray("\\xE2\\x82 A\\xE2\xC3\xA9") << 3LL;
    QTest::newRow("overlong, surrogate, above U+10FFFF")
        << QByteArray("\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80z")
        << QByteArray("\\xC0\\xAF\\xED\\xA0\\x80\\xF4\\x90\\x80\\x80z") << 9LL;
}

void TestResultBlock::escaping()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, escaped);
    QFETCH(qint64, invalid);

    QCOMPARE(escapeUtf8(bytes), escaped);
    QCOMPARE(unescapeUtf8(escaped), bytes);
    // Cut anywhere, in two and three pieces, the stream escapes the same.
    for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
        for (qsizetype second = cut; second <= bytes.size(); ++second) {
            Utf8Escaper escaper;
            QByteArray out;
            escaper.escape(bytes.first(cut), out);
            escaper.escape(bytes.sliced(cut, second - cut), out);
            escaper.escape(bytes.sliced(second), out);
            escaper.finishEscape(out);
            QCOMPARE(out, escaped);
            QCOMPARE(escaper.invalidBytes(), invalid);
        }
    }
}

// The escaping as the Unicode standard's table of well-formed UTF-8 (Table
// 3-7) has it, one byte after another: where a byte starts no sequence of a
// row, or its sequence is not whole, that byte is escaped and the next is
// looked at. Each row: its lead bytes, the range of its second byte, its
// length; every later byte is 80 to BF.
static QByteArray escapedByTheTable(QByteArrayView bytes)
{
    struct Row
    {
        int low, high, secondLow, secondHigh, length;
    };
    static constexpr Row table[] = {
        {0x00, 0x7F, 0, 0, 1},       {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3},
        {0xE1, 0xEC, 0x80, 0xBF, 3}, {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3},
        {0xF0, 0xF0, 0x90, 0xBF, 4}, {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4}};
    QByteArray out;
    for (qsizetype at = 0; at < bytes.size();) {
        const int lead = quint8(bytes[at]);
        int length = 0;
        for (const Row &row : table) {
            bool whole = lead >= row.low && lead <= row.high && at + row.length <= bytes.size();
            for (int i = 1; whole && i < row.length; ++i) {
                const int next = quint8(bytes[at + i]);
                whole = i == 1 ? next >= row.secondLow && next <= row.secondHigh
                               : next >= 0x80 && next <= 0xBF;
            }
            length = whole ? row.length : length;
        }
        out += length ? bytes.sliced(at, length).toByteArray()
                      : "\\x" + QByteArray::number(lead, 16).toUpper();
        at += std::max(length, 1);
    }
    return out;
}

// Every first and second byte, each with third bytes that end, continue or
// begin a sequence, covers every row of the table and every way to leave it.
void TestResultBlock::everySequenceOfTheTable()
{
    for (int first = 0; first < 256; ++first) {
        for (int second = 0; second < 256; ++second) {
            for (const char third : {'A', '\x80', '\xBF', '\xC3'}) {
                const char bytes[] = {char(first), char(second), third, '\x80', 'z'};
                const QByteArrayView input(bytes, sizeof bytes);
                if (escapeUtf8(input) != escapedByTheTable(input))
                    QFAIL(input.toByteArray().toHex(' ') + " -> " + escapeUtf8(input).toHex(' '));
            }
        }
    }
}

// Output beyond what memory keeps goes to an unnamed spool file and comes back
// exactly; where no spool can be made or written, memory keeps the rest, and
// the log says why once for all streams.
void TestResultBlock::spooling_data()
{
    QTest::addColumn<int>("streams");
    QTest::addColumn<int>("kibibytes");
    QTest::addColumn<bool>("folderIsAFile");
    QTest::addColumn<int>("fileSizeLimitKiB");
    QTest::addColumn<int>("spooled");

    QTest::newRow("all streams share 16 MiB") << 20 << 1024 << false << 0 << 4;
    QTest::newRow("temporary folder is a file") << 2 << 3000 << true << 0 << 0;
    QTest::newRow("spool full half-way") << 1 << 3000 << false << 1500 << 1;
}

void TestResultBlock::spooling()
{
    QFETCH(int, streams);
    QFETCH(int, kibibytes);
    QFETCH(bool, folderIsAFile);
    QFETCH(int, fileSizeLimitKiB);
    QFETCH(int, spooled);

    QTemporaryDir fresh;
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(folderIsAFile ? QCoreApplication::applicationFilePath()
                                                      : fresh.path()));
    rlimit oldLimit = {};
    ::getrlimit(RLIMIT_FSIZE, &oldLimit);
    if (fileSizeLimitKiB > 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {rlim_t(fileSizeLimitKiB) * 1024, oldLimit.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }

    // Text with a character across every 64 KiB boundary and one stray byte.
    QByteArray bytes;
    while (bytes.size() < kibibytes * 1024)
        bytes += QByteArray(65535, 'a') + "\xC3\xA9";
    bytes.resize(kibibytes * 1024);
    bytes[bytes.size() / 2] = '\xFF';
    const QRegularExpression told("^keeping command output in memory: could not ");
    if (folderIsAFile || fileSizeLimitKiB > 0)
        QTest::ignoreMessage(QtWarningMsg, told);
    QTest::failOnWarning(told);
    CaptureMemory memory;
    std::vector<std::unique_ptr<CapturedStream>> captured;
    for (int n = 0; n < streams; ++n) {
        captured.push_back(std::make_unique<CapturedStream>(memory));
        for (qsizetype at = 0; at < bytes.size(); at += 4096)
            captured.back()->append(
                QByteArrayView(bytes).sliced(at, qMin(4096, bytes.size() - at)));
        captured.back()->finish();
    }
    ::setrlimit(RLIMIT_FSIZE, &oldLimit);
    qputenv("TMPDIR", oldTmp);

    // The spool has no name in the temporary folder.
    QCOMPARE(QDir(fresh.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    int spools = 0;
    const QByteArray expected = escapeUtf8(bytes);
    for (const auto &stream : captured) {
        spools += stream->isSpooled() ? 1 : 0;
        QBuffer buffer;
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QVERIFY(stream->writeTo(buffer));
        QVERIFY(buffer.data() == expected);
        QVERIFY(stream->head(bytes.size() - 1) == bytes.chopped(1));
    }
    QCOMPARE(spools, spooled);
}

// Of a long stream only the first and the last bytes stay, so many KiB of
// each as the row says; a character cut at either end is escaped. Short of
// disk, the spool keeps what memory has and then only memoryTail of the end;
// without a spool, memory keeps what the file would have.
void TestResultBlock::capped_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<QList<int>>("limits"); // head, tail, memoryTail
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::newRow("first and last") << "" << QList{2048, 2048, 64} << 6144 << 2048 << 2048;
    QTest::newRow("head and tail, whole") << "" << QList{2048, 2048, 64} << 4096 << 4096 << 0;
    QTest::newRow("short of disk")
        << "short of disk" << QList{1 << 19, 1 << 19, 64} << 3072 << 1024 << 64;
    QTest::newRow("no spool") << "no spool" << QList{2048, 2048, 64} << 6144 << 2048 << 2048;
}

void TestResultBlock::capped()
{
    QFETCH(QString, where);
    QFETCH(QList<int>, limits);
    QFETCH(int, size);
    QFETCH(int, before);
    QFETCH(int, after);

    QTemporaryDir fresh;
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR",
            QFile::encodeName(where == "no spool" ? QCoreApplication::applicationFilePath()
                                                  : fresh.path()));
    if (where == "no spool")
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^keeping command output in "));
    if (where == "short of disk")
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^keeping only the end of long command output in "
                                                "memory: .* has less than 4398046511104 MiB free"));
    CaptureMemory memory;
    memory.limits = {qint64(limits[0]) << 10, qint64(limits[1]) << 10,
                     where == "short of disk" ? qint64(1) << 62 : 0, qint64(limits[2]) << 10};
    QByteArray bytes(size << 10, 'a');
    const qint64 leftOut = qint64(size - before - after) << 10;
    if (leftOut > 0) {
        bytes.replace((before << 10) - 1, 2, "\xC3\xA9");
        bytes.replace(bytes.size() - (after << 10) - 1, 2, "\xC3\xA9");
    }
    CapturedStream out(memory);
    CapturedStream err(memory);
    for (qsizetype at = 0; at < bytes.size(); at += 4096)
        out.append(QByteArrayView(bytes).sliced(at, 4096));
    out.finish();
    qputenv("TMPDIR", oldTmp);

    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QVERIFY(writeResultBlock(buffer, "cmd", out, err));
    QByteArray expected = "stdout:\n" + bytes + "\n";
    if (leftOut > 0)
        expected = "stdout:\n" + bytes.first((before << 10) - 1) + "\\xC3\n(" +
                   QByteArray::number(leftOut) + " bytes left out here)\n\\xA9" +
                   bytes.last((after << 10) - 1) +
                   "\n(2 bytes that are not UTF-8 are shown as \\xHH)\n";
    QVERIFY(buffer.data() == QByteArray(45, '-') + "Results for: cmd\n" + expected);
}

QTEST_GUILESS_MAIN(TestResultBlock)
#include "tst_resultblock.moc"
