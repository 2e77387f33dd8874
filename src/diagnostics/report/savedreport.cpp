#include "savedreport.h"

#include "resultblock.h"
#include "trim.h"
#include "utf8escape.h"

#include <algorithm>
#include <cstring>
#include <string.h> // memmem

namespace {

// Sized explicitly, as in the trimming: a constant length under AddressSanitizer.
constexpr QByteArrayView separator(blockSeparator, sizeof blockSeparator - 1);
constexpr char resultsForText[] = "Results for: ";
constexpr QByteArrayView resultsFor(resultsForText, sizeof resultsForText - 1);
constexpr QByteArrayView marker(trimMarker, sizeof trimMarker - 1);
constexpr qsizetype headerSize = separator.size() + resultsFor.size();

// What is kept of a name and of the head; a report's are far shorter.
constexpr qsizetype nameLimit = 16 * 1024;
constexpr qsizetype headLimit = 64 * 1024;
// The end of a section that its last lines are looked for in.
constexpr qsizetype endSize = 64 * 1024;

// Where the trimming cut a block: its marker, then the next block's separator.
const QByteArray &cutPattern()
{
    static const QByteArray pattern =
        marker.toByteArray() + separator.toByteArray() + resultsFor.toByteArray();
    return pattern;
}

// The lines the runner ends a stderr section with: a failed start and a
// deadline (Process), a file that is not read (the battery's log rows).
bool isClosingLine(QByteArrayView line)
{
    return line.startsWith("could not start ") || line.startsWith("stopped after ") ||
           line.startsWith("not read: ");
}

// The lines a windowless run prints on standard output after the report it
// printed there, with one empty line between: links, file names, findings.
bool isConsoleLine(QByteArrayView line)
{
    return line.startsWith("url=") || line.startsWith("outputFile=") || line.startsWith("ok   ") ||
           line.startsWith("look ") || line.startsWith("?    ") ||
           (line.startsWith("{") && line.endsWith("}"));
}

QByteArrayView lastLine(QByteArrayView text)
{
    const qsizetype lineBreak = text.lastIndexOf('\n');
    return lineBreak < 0 ? text : text.sliced(lineBreak + 1);
}

// The count of the line that ends a section with escaped bytes, when text
// ends with one.
qint64 escapedCount(QByteArrayView text)
{
    if (!text.endsWith(")\n"))
        return 0;
    const qsizetype start = text.lastIndexOf('\n', text.size() - 2) + 1;
    if (start == 0 || text[start] != '(')
        return 0; // the line always follows the stream's own line break
    const QByteArrayView line = text.sliced(start);
    const qsizetype digits = line.indexOf(' ');
    if (digits < 2 || digits > 20)
        return 0;
    bool ok = false;
    const qint64 count = line.sliced(1, digits - 1).toLongLong(&ok);
    return ok && count > 0 && line == invalidBytesLine(count) ? count : 0;
}

// One section's text as it arrives: its beginning, which holds what the
// findings read, and its end, which holds the lines the runner adds.
class SectionText
{
public:
    explicit SectionText(qsizetype streamLimit) : limit(streamLimit) {}

    // Before the section's first bytes.
    void setLimit(qsizetype streamLimit) { limit = streamLimit; }

    void append(QByteArrayView bytes)
    {
        const qint64 before = total;
        total += bytes.size();
        const qsizetype headRoom = escapedLimit() + 2 * endSize;
        if (head.size() < headRoom)
            head.append(bytes.first(std::min(bytes.size(), headRoom - head.size())));
        if (total <= headRoom)
            return;
        // Past the beginning only the end is kept, which at first is the
        // beginning's end.
        if (before <= headRoom)
            tail = head.first(before).last(std::min<qsizetype>(before, 2 * endSize));
        const QByteArrayView last = bytes.last(std::min(bytes.size(), 2 * endSize));
        if (last.size() == 2 * endSize)
            tail.clear();
        tail.append(last);
        // Moved down in place: the room is kept for the next piece.
        if (const qsizetype excess = tail.size() - endSize; tail.size() > 2 * endSize) {
            std::memmove(tail.data(), tail.constData() + excess, endSize);
            tail.resize(endSize);
        }
    }
    void markCut() { cut = true; }
    // Empty again for the next block's section, its room kept.
    void clear()
    {
        head.resize(0);
        tail.resize(0);
        total = 0;
        cut = false;
        closing.reset();
        keptLength = 0;
    }

    // The stream as the command printed it, and whether it could not start.
    QByteArray stream(bool isStdErr, bool lastInInput);

private:
    // What the limit's bytes can take, each escaped.
    qsizetype escapedLimit() const { return 4 * limit + 4; }
    QByteArrayView endUpTo(qint64 length) const;
    qint64 consoleEnd(qint64 length, bool isStdErr) const;

    qsizetype limit = 0;
    QByteArray head;
    QByteArray tail;
    qint64 total = 0;
    bool cut = false;

public:
    std::optional<QByteArray> closing;
    qint64 keptLength = 0;
};

// The last bytes of the section's first length bytes; length is never less
// than the section's size minus what its end holds.
QByteArrayView SectionText::endUpTo(qint64 length) const
{
    const QByteArray &end = total <= head.size() ? head : tail;
    const qint64 endOffset = total - end.size();
    return QByteArrayView(end).first(qsizetype(std::max<qint64>(length - endOffset, 0)));
}

// Without what -c adds after the report: a line break, then the run's other
// lines. Only the last section of the input can hold it.
qint64 SectionText::consoleEnd(qint64 length, bool isStdErr) const
{
    const QByteArrayView text = endUpTo(length);
    qsizetype end = text.size();
    int lines = 0;
    while (end > 1 && text[end - 1] == '\n') {
        const qsizetype start = text.lastIndexOf('\n', end - 2) + 1;
        if (start == 0 || !isConsoleLine(text.sliced(start, end - 1 - start)))
            break;
        end = start;
        ++lines;
    }
    const QByteArrayView before = text.first(end);
    if (!before.endsWith("\n\n"))
        return length;
    // With no lines after it, the extra line break shows where the section
    // can end with nothing else.
    const QByteArrayView sectionEnd = before.chopped(1);
    if (lines > 0 || escapedCount(sectionEnd) > 0 ||
        (isStdErr && isClosingLine(lastLine(sectionEnd.chopped(1)))))
        return length - (text.size() - end) - 1;
    return length;
}

QByteArray SectionText::stream(bool isStdErr, bool lastInInput)
{
    qint64 length = total;
    if (lastInInput && !cut && endUpTo(length).endsWith(marker)) {
        length -= marker.size();
        cut = true;
    }
    qint64 escaped = 0;
    if (!cut) {
        if (lastInInput)
            length = consoleEnd(length, isStdErr);
        escaped = escapedCount(endUpTo(length));
        if (escaped > 0)
            length -= lastLine(endUpTo(length).chopped(1)).size() + 1;
        if (endUpTo(length).endsWith('\n'))
            --length;
        // A line is the runner's only where it is known to start: after a line
        // break, or at the start of the section.
        const QByteArrayView end = endUpTo(length);
        const QByteArrayView line = lastLine(end);
        if (isStdErr && isClosingLine(line) && (line.size() < end.size() || end.size() == length)) {
            closing = line.toByteArray();
            length -= line.size();
        }
    }
    keptLength = length;
    const QByteArrayView escapedHead = QByteArrayView(head).first(
        qsizetype(std::min<qint64>(length, std::min<qint64>(head.size(), escapedLimit()))));
    QByteArray bytes;
    if (escaped > 0) {
        bytes = unescapeUtf8(escapedHead);
        if (bytes.size() > limit)
            bytes.truncate(limit);
        bytes.squeeze();
    } else {
        bytes = escapedHead.first(std::min(escapedHead.size(), limit)).toByteArray();
    }
    if (closing) {
        if (!bytes.isEmpty() && !bytes.endsWith('\n'))
            bytes += '\n';
        bytes += *closing;
    }
    return bytes;
}

} // namespace

struct SavedReportReader::State
{
    enum class Line
    {
        Head,
        Name,
        Content
    };
    enum class Place
    {
        Head,
        Block,
        StdOut,
        StdErr
    };
    enum class LineEnd
    {
        Newline,
        Cut,
        InputEnd
    };

    State(qsizetype streamLimit, BlockHandler handler)
        : streamLimit(streamLimit), handler(std::move(handler))
    {
    }

    void process(bool atEnd);
    qsizetype nextCut(qsizetype from);
    void startLine(qsizetype available, bool complete);
    void take(qsizetype from, qsizetype to);
    void take(QByteArrayView bytes);
    void takePlainLines(qsizetype upTo);
    void endLine(LineEnd end);
    void beginBlock(qint64 offset);
    void endBlock(qint64 end, bool lastInInput);

    const qsizetype streamLimit;
    BlockHandler handler;
    LimitChooser chooseLimits;

    QByteArray buffer;
    qsizetype position = 0;
    qint64 bufferOffset = 0;
    char byteBefore = 0; // the byte before buffer[0]
    qsizetype cutAt = -1;
    qsizetype cutScannedTo = 0;
    std::optional<bool> crlf;

    bool lineStart = true;
    Line line = Line::Head;
    Place place = Place::Head;
    QByteArray headBytes;

    bool inBlock = false;
    qint64 blockOffset = 0;
    QByteArray name;
    // Kept from block to block, whether or not this one has the section.
    SectionText stdOut{streamLimit};
    SectionText stdErr{streamLimit};
    bool hasStdOut = false;
    bool hasStdErr = false;
    qint64 blocks = 0;
};

qsizetype SavedReportReader::State::nextCut(qsizetype from)
{
    if (cutAt >= from)
        return cutAt;
    const QByteArray &pattern = cutPattern();
    const qsizetype start = std::max(from, cutScannedTo);
    const void *found = start < buffer.size()
                            ? memmem(buffer.constData() + start, buffer.size() - start,
                                     pattern.constData(), pattern.size())
                            : nullptr;
    if (found) {
        cutAt = static_cast<const char *>(found) - buffer.constData();
        cutScannedTo = cutAt + 1;
        return cutAt;
    }
    cutAt = -1;
    cutScannedTo = std::max(start, buffer.size() - (pattern.size() - 1));
    return -1;
}

void SavedReportReader::State::process(bool atEnd)
{
    while (position < buffer.size()) {
        const char *data = buffer.constData();
        const auto *found =
            static_cast<const char *>(std::memchr(data + position, '\n', buffer.size() - position));
        const qsizetype newline = found ? found - data : -1;
        if (!crlf && newline >= 0)
            crlf = (newline > 0 ? data[newline - 1] : byteBefore) == '\r';
        const qsizetype cut = nextCut(position);
        const bool isCut = cut >= 0 && (newline < 0 || cut < newline);
        const qsizetype end = isCut ? cut : newline;
        if (lineStart) {
            const qsizetype available = (end >= 0 ? end : buffer.size()) - position;
            if (end < 0 && available < headerSize && !atEnd)
                return;
            startLine(available, end >= 0 && !isCut);
            if (lineStart)
                continue; // a label, read whole
        }
        if (end < 0) {
            // The rest of a long line, but for what may begin a cut or be a
            // carriage return before a line break.
            const qsizetype upTo =
                atEnd ? buffer.size() : buffer.size() - (cutPattern().size() - 1);
            if (upTo <= position)
                return;
            take(position, upTo);
            position = upTo;
            if (atEnd)
                endLine(LineEnd::InputEnd);
            continue;
        }
        if (isCut) {
            take(position, end);
            position = end + marker.size();
            endLine(LineEnd::Cut);
        } else if (*crlf && end > position && data[end - 1] == '\r') {
            take(position, end - 1);
            take("\n");
            position = end + 1;
            endLine(LineEnd::Newline);
        } else {
            take(position, end + 1);
            position = end + 1;
            endLine(LineEnd::Newline);
            takePlainLines(cut >= 0 ? cut : buffer.size());
        }
    }
}

// The lines from position on that can only be a block's text, taken at once:
// each is whole before upTo and begins with neither the separator's first byte
// nor a label's, and no carriage return needs taking out.
void SavedReportReader::State::takePlainLines(qsizetype upTo)
{
    if (line != Line::Content || place == Place::Head || crlf.value_or(true))
        return;
    const char *data = buffer.constData();
    qsizetype end = position;
    while (end < upTo && data[end] != '-' && data[end] != 's') {
        const auto *found = static_cast<const char *>(std::memchr(data + end, '\n', upTo - end));
        if (!found)
            break;
        end = found - data + 1;
    }
    if (end == position)
        return;
    take(position, end);
    position = end;
}

// Decides what the line at position is, from its first bytes.
void SavedReportReader::State::startLine(qsizetype available, bool complete)
{
    const QByteArrayView start(buffer.constData() + position, available);
    const qint64 offset = bufferOffset + position;
    lineStart = false;
    if (start.startsWith(separator) && start.sliced(separator.size()).startsWith(resultsFor)) {
        endBlock(offset, false);
        beginBlock(offset);
        line = Line::Name;
        position += headerSize;
        return;
    }
    // The trimming gives a head that is not empty a separator of its own.
    if (offset == 0 && start.startsWith(separator)) {
        line = Line::Head;
        position += separator.size();
        return;
    }
    if (complete) {
        const QByteArrayView text =
            crlf.value_or(false) && start.endsWith('\r') ? start.chopped(1) : start;
        const bool outLabel = place == Place::Block && text == "stdout:";
        const bool errLabel =
            (place == Place::Block || place == Place::StdOut) && text == "stderr:";
        if (outLabel || errLabel) {
            place = outLabel ? Place::StdOut : Place::StdErr;
            (outLabel ? hasStdOut : hasStdErr) = true;
            position += available + 1;
            lineStart = true;
            return;
        }
    }
    line = place == Place::Head ? Line::Head : Line::Content;
}

void SavedReportReader::State::take(qsizetype from, qsizetype to)
{
    take(QByteArrayView(buffer.constData() + from, to - from));
}

// A line's line break is taken with it; the name's is not part of the name.
void SavedReportReader::State::take(QByteArrayView bytes)
{
    if (line == Line::Name && bytes.endsWith('\n'))
        bytes.chop(1);
    switch (line) {
    case Line::Head:
        headBytes.append(bytes.first(std::min(bytes.size(), headLimit - headBytes.size())));
        break;
    case Line::Name:
        name.append(bytes.first(std::min(bytes.size(), nameLimit - name.size())));
        break;
    case Line::Content:
        if (place == Place::StdOut)
            stdOut.append(bytes);
        else if (place == Place::StdErr)
            stdErr.append(bytes);
        break;
    }
}

void SavedReportReader::State::endLine(LineEnd end)
{
    lineStart = true;
    if (line == Line::Name) {
        place = Place::Block;
        if (chooseLimits) {
            const StreamLimits limits = chooseLimits(QString::fromUtf8(name));
            stdOut.setLimit(std::clamp<qsizetype>(limits.stdOut, 0, streamLimit));
            stdErr.setLimit(std::clamp<qsizetype>(limits.stdErr, 0, streamLimit));
        }
    } else if (end == LineEnd::Cut && place == Place::StdOut)
        stdOut.markCut();
    else if (end == LineEnd::Cut && place == Place::StdErr)
        stdErr.markCut();
}

void SavedReportReader::State::beginBlock(qint64 offset)
{
    inBlock = true;
    blockOffset = offset;
    name.resize(0);
    stdOut.clear();
    stdErr.clear();
    hasStdOut = hasStdErr = false;
    place = Place::Block;
}

void SavedReportReader::State::endBlock(qint64 end, bool lastInInput)
{
    if (!inBlock)
        return;
    inBlock = false;
    SavedBlock block;
    block.displayName = QString::fromUtf8(name);
    if (hasStdOut)
        block.stdOut = stdOut.stream(false, lastInInput && !hasStdErr);
    if (hasStdErr) {
        block.stdErr = stdErr.stream(true, lastInInput);
        block.couldNotStart = !hasStdOut && stdErr.keptLength == 0 && stdErr.closing &&
                              stdErr.closing->startsWith("could not start ");
    }
    block.offset = blockOffset;
    block.size = end - blockOffset;
    ++blocks;
    handler(std::move(block));
}

SavedReportReader::SavedReportReader(qsizetype streamLimit, BlockHandler handler)
    : state(std::make_unique<State>(streamLimit, std::move(handler)))
{
}

SavedReportReader::~SavedReportReader() = default;

void SavedReportReader::setLimitChooser(LimitChooser chooser)
{
    state->chooseLimits = std::move(chooser);
}

void SavedReportReader::feed(QByteArrayView bytes)
{
    State &s = *state;
    if (s.position > 0) {
        // Moved down in place: the room is kept for the next piece.
        const qsizetype kept = s.buffer.size() - s.position;
        s.byteBefore = s.buffer[s.position - 1];
        std::memmove(s.buffer.data(), s.buffer.constData() + s.position, kept);
        s.buffer.resize(kept);
        s.bufferOffset += s.position;
        s.cutAt = s.cutAt >= s.position ? s.cutAt - s.position : -1;
        s.cutScannedTo = std::max<qsizetype>(s.cutScannedTo - s.position, 0);
        s.position = 0;
    }
    s.buffer.append(bytes);
    s.process(false);
}

void SavedReportReader::finish()
{
    State &s = *state;
    s.process(true);
    if (!s.lineStart)
        s.endLine(State::LineEnd::InputEnd);
    s.endBlock(bytesRead(), true);
}

SavedHead SavedReportReader::head() const
{
    // The account may hold line breaks; the ticket line follows it.
    const QByteArray &text = state->headBytes;
    constexpr QByteArrayView account("Veltrane account: ");
    constexpr QByteArrayView ticket("Veltrane ticket: ");
    SavedHead head;
    const auto value = [&text](qsizetype from, qsizetype to) {
        QByteArrayView bytes = QByteArrayView(text).sliced(from, to - from);
        if (bytes.endsWith('\n'))
            bytes.chop(1);
        return QString::fromUtf8(bytes);
    };
    qsizetype ticketAt = text.startsWith(ticket) ? 0 : text.indexOf("\n" + ticket.toByteArray());
    if (text.startsWith(account))
        head.account = value(account.size(), ticketAt < 0 ? text.size() : ticketAt + 1);
    if (ticketAt > 0 || (ticketAt == 0 && !head.account))
        head.ticket = value(ticketAt + (ticketAt > 0 ? 1 : 0) + ticket.size(), text.size());
    return head;
}

qint64 SavedReportReader::blockCount() const
{
    return state->blocks;
}

qint64 SavedReportReader::bytesRead() const
{
    return state->bufferOffset + state->buffer.size();
}
