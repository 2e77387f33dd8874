// Reading a report back gives each command's streams as the findings read
// them at the end of the run, whatever the report went through on its way.

#include "launchpool.h"
#include "process.h"
#include "report.h"
#include "resultblock.h"
#include "savedreport.h"
#include "testsupport.h"
#include "trim.h"

#include <QBuffer>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

namespace {

// Small, so that cutting a stream is tried on short output too.
constexpr qsizetype limit = 64;

// Limits of each block's own from its name's last character, some of them
// above the reader's.
SavedReportReader::StreamLimits chosenLimits(const QString &displayName)
{
    const int n = displayName.back().unicode() % 4;
    return {100 - n * 30, 10 + n * 30};
}

std::vector<SavedBlock> readBack(const QByteArray &report, qsizetype piece, bool choose)
{
    std::vector<SavedBlock> blocks;
    SavedReportReader reader(limit, [&](SavedBlock &&block) { blocks.push_back(block); });
    if (choose)
        reader.setLimitChooser(chosenLimits);
    for (qsizetype at = 0; at < report.size(); at += piece)
        reader.feed(QByteArrayView(report).sliced(at, std::min(piece, report.size() - at)));
    reader.finish();
    const SavedHead head = reader.head();
    if (head.account != "acme\nx" || head.ticket != "42")
        return {};
    return blocks;
}

} // namespace

class TestSavedReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readsWhatTheFindingsRead_data();
    void readsWhatTheFindingsRead();

private:
    QTemporaryDir dir;
    LaunchPool pool;
    std::vector<std::unique_ptr<Process>> processes;
    QByteArray report;
};

// One run of commands that print what a report must carry back: bytes that
// are not UTF-8 (and text that spells an escape), streams with and without a
// last line break, one stopped at its deadline after more than the limit, a
// log of many lines holding "tail", lines past the limit, one that cannot
// start and one that is not run.
void TestSavedReport::initTestCase()
{
    const QStringList bodies = {
        R"(printf 'a\377b\n\303')",
        R"(printf '%s\n' '\xE9 is text'; printf '\n\nstderr:\n' >&2)",
        R"(printf 'e\377' >&2; echo; echo)",
        R"(echo out; head -c 300000 /dev/zero | tr '\0' x >&2; printf '\351' >&2; sleep 30)",
        R"(yes ttttttt | head -c 200000; echo tail)",
        R"(printf '%s\n' one two -three '' five 'line 6' 'line 7' 'line 8' 'line 9' 'line 10';
           printf 'x\n-y\n' >&2)",
    };
    for (int i = 0; i < bodies.size(); ++i) {
        processes.push_back(std::make_unique<Process>(pool));
        processes.back()->setDeadline(1500ms);
        processes.back()->start(writeScript(dir, QString::number(i), bodies[i].toUtf8()), {});
    }
    processes.push_back(std::make_unique<Process>(pool));
    processes.back()->start(dir.filePath("missing"), {"-x"}, QString("(comment)"));
    processes.push_back(std::make_unique<Process>(pool));
    processes.back()->finishUnstarted("/bin/sh -c cat \"/f\"",
                                      "not read: this is a FIFO, not a file");
    for (const auto &process : processes) {
        QSignalSpy ended(process.get(), &Process::processTerminated);
        QVERIFY(process->isFinished() || ended.wait(10000));
    }
    QBuffer buffer(&report);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    buffer.write(reportHead(QString("acme\nx"), QString("42")));
    for (const auto &process : processes)
        QVERIFY(writeResult(buffer, *process));
}

void TestSavedReport::readsWhatTheFindingsRead_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("piece");
    QTest::addColumn<bool>("choose");
    QTest::newRow("as written") << report << 1024 * 1024 << false;
    QTest::newRow("in pieces of 7 bytes") << report << 7 << false;
    QTest::newRow("each block's own limits") << report << 7 << true;
    QTest::newRow("downloaded with CRLF")
        << QByteArray(report).replace("\n", "\r\n") << 1024 * 1024 << false;
    QTest::newRow("downloaded with CRLF, one line break left bare")
        << QByteArray(report).replace("\n", "\r\n").replace("one\r\n", "one\n") << 1024 * 1024
        << false;
    QTest::newRow("printed by -c, the run's lines after it")
        << report + "\nurl=https://r.test/1\nlook Pings: 0 of 2 answered\n"
        << 4096 << false;
    QBuffer whole(&report);
    whole.open(QIODevice::ReadOnly);
    QByteArray trimmed;
    QBuffer cut(&trimmed);
    cut.open(QIODevice::WriteOnly);
    QVERIFY(!trimTailStream(whole, cut, report.size() - 1000));
    QTest::newRow("trimmed for the upload") << trimmed << 4096 << false;
}

void TestSavedReport::readsWhatTheFindingsRead()
{
    QFETCH(QByteArray, text);
    QFETCH(int, piece);
    QFETCH(bool, choose);
    const std::vector<SavedBlock> blocks = readBack(text, piece, choose);
    QCOMPARE(blocks.size(), processes.size());
    qint64 end = text.indexOf(QByteArray(45, '-') + "Results for: ");
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const Process &process = *processes[i];
        const SavedBlock &block = blocks[i];
        QCOMPARE(block.displayName, process.name());
        QCOMPARE(block.offset, end);
        end += block.size;
        if (block.displayName.contains("/4")) { // the log the trimming cuts
            QVERIFY(process.stdOutHead(limit).startsWith(block.stdOut.left(limit - 30)));
            continue;
        }
        const SavedReportReader::StreamLimits limits =
            choose ? chosenLimits(block.displayName)
                   : SavedReportReader::StreamLimits{limit, limit};
        QCOMPARE(block.stdOut, process.stdOutHead(std::min(limits.stdOut, limit)));
        QCOMPARE(block.stdErr, process.stdErrHead(std::min(limits.stdErr, limit)));
        QCOMPARE(block.couldNotStart, process.record().end == CommandRecord::End::CouldNotStart);
    }
    QCOMPARE(end, text.size());
}

QTEST_GUILESS_MAIN(TestSavedReport)
#include "tst_savedreport.moc"
