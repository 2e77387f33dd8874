#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// Reading a report back: the Desktop copy, an output file, what -c printed
// (with the lines the run printed after it), a download whose line breaks
// became CRLF, or an upload trimmed above the size limit. The report's own
// format decides, and only that: the account and ticket lines of its head,
// then each block from its separator line ("Results for: " and the command's
// name) through its stdout: and stderr: sections.

// One block as read back: its streams as the command printed them, before the
// escaping of bytes that are not UTF-8, each cut after streamLimit bytes; the
// runner's closing line (why it did not run, or was stopped) ends stdErr on a
// line of its own, as it ends the block's stderr section.
struct SavedBlock
{
    QString displayName;
    QByteArray stdOut;
    QByteArray stdErr;
    // The block holds only "could not start ...": the command never ran.
    bool couldNotStart = false;
    // Where it lies in the input: from its separator to the next block's, or
    // to the end.
    qint64 offset = 0;
    qint64 size = 0;
};

struct SavedHead
{
    std::optional<QString> account;
    std::optional<QString> ticket;
};

// Reads a report as it arrives, in pieces of any size, in memory bounded by
// the stream limit whatever the report's size or shape: a name, the head and
// a section's end are kept only up to a fixed size each. Hands out each block
// once the next one begins, the last one from finish().
class SavedReportReader
{
public:
    using BlockHandler = std::function<void(SavedBlock &&block)>;
    // How much of a block's streams to keep, chosen from its name once that
    // is read; each at most the stream limit.
    struct StreamLimits
    {
        qsizetype stdOut;
        qsizetype stdErr;
    };
    using LimitChooser = std::function<StreamLimits(const QString &displayName)>;

    SavedReportReader(qsizetype streamLimit, BlockHandler handler);
    ~SavedReportReader();

    // Without a chooser, every block keeps up to the stream limit.
    void setLimitChooser(LimitChooser chooser);

    void feed(QByteArrayView bytes);
    // The input has ended.
    void finish();

    SavedHead head() const;
    qint64 blockCount() const;
    qint64 bytesRead() const;

private:
    struct State;
    std::unique_ptr<State> state;
};
