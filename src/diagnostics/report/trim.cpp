#include "trim.h"

#include "resultblock.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <string.h> // memmem
#include <vector>

namespace {

// Sized explicitly: finding the length is no constant expression in a build
// with AddressSanitizer.
constexpr QByteArrayView separator(blockSeparator, sizeof blockSeparator - 1);
constexpr QByteArrayView marker(trimMarker, sizeof trimMarker - 1);
constexpr QByteArrayView tailWord("tail", 4);

bool isContinuationByte(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The C library finds a short word several times faster than Qt's search,
// which shows on the gigabytes a runaway log may hold.
qsizetype find(QByteArrayView bytes, QByteArrayView word, qsizetype from = 0)
{
    const void *found = memmem(bytes.data() + from, bytes.size() - from, word.data(), word.size());
    return found ? static_cast<const char *>(found) - bytes.data() : -1;
}

constexpr bool isRunOfOneByte(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [&](char byte) { return byte == bytes[0]; });
}
static_assert(isRunOfOneByte(separator), "findSeparator looks for a run of one byte");

// Where indexOf(separator, from) finds it. General searches pay a set-up on
// every call, which many small blocks multiply, or step through each run of
// hyphens byte by byte; this one looks at one byte in 45 and counts hyphens
// only around a hyphen.
qsizetype findSeparator(QByteArrayView bytes, qsizetype from)
{
    const char hyphen = separator[0];
    const qsizetype length = separator.size();
    // A separator that starts at or after from covers the byte at from + 44.
    for (qsizetype at = from + length - 1; at < bytes.size(); at = from + length - 1) {
        if (bytes[at] != hyphen) {
            from = at + 1;
            continue;
        }
        qsizetype start = at;
        while (start > from && bytes[start - 1] == hyphen)
            --start;
        qsizetype end = at + 1;
        while (end < bytes.size() && end - start < length && bytes[end] == hyphen)
            ++end;
        if (end - start == length)
            return start;
        from = end + 1; // bytes[end] is no hyphen, or the bytes end there
    }
    return -1;
}

// Reads a report in chunks and hands out its pieces in parts, splitting it at
// the separator exactly where indexOf on the whole report would.
class PieceScanner
{
public:
    struct Part
    {
        qint64 offset = 0;    // of the first byte in the report
        QByteArrayView bytes; // valid until the next call
        bool endsPiece = false;
    };

    PieceScanner(QIODevice &report, qint64 chunkSize) : report(report), chunkSize(chunkSize) {}

    // Continues the current piece at offset, skipping what lies before it.
    bool seek(qint64 offset);
    // The next bytes of the current piece; nothing when the report could not
    // be read.
    std::optional<Part> next();
    bool atEnd() const { return finished; }

private:
    bool fill();

    QIODevice &report;
    const qint64 chunkSize;
    QByteArray buffer;
    qint64 bufferOffset = 0; // of buffer[0] in the report
    qsizetype used = 0;
    qsizetype position = 0; // the first byte not handed out yet
    bool reportAtEnd = false;
    bool finished = false;
};

bool PieceScanner::seek(qint64 offset)
{
    if (offset >= bufferOffset && offset < bufferOffset + used) {
        position = offset - bufferOffset;
        return true;
    }
    bufferOffset = offset;
    used = position = 0;
    reportAtEnd = finished = false;
    return report.seek(offset);
}

std::optional<PieceScanner::Part> PieceScanner::next()
{
    for (;;) {
        const QByteArrayView held(buffer.constData(), used);
        const qint64 offset = bufferOffset + position;
        const qsizetype found = findSeparator(held, position);
        if (found >= 0) {
            const Part part{offset, held.sliced(position, found - position), true};
            position = found + separator.size();
            return part;
        }
        if (reportAtEnd) {
            finished = true;
            const Part part{offset, held.sliced(position), true};
            position = used;
            return part;
        }
        // A separator may begin in the last 44 bytes: keep them for the next search.
        const qsizetype searched = std::max(position, used - (separator.size() - 1));
        if (searched > position) {
            const Part part{offset, held.sliced(position, searched - position), false};
            position = searched;
            return part;
        }
        if (!fill())
            return std::nullopt;
    }
}

// Moves the bytes not handed out yet to the front and reads the next chunk.
bool PieceScanner::fill()
{
    used -= position;
    std::memmove(buffer.data(), buffer.constData() + position, used);
    bufferOffset += position;
    position = 0;
    if (buffer.size() < used + chunkSize)
        buffer.resize(used + chunkSize);
    const qint64 count = report.read(buffer.data() + used, chunkSize);
    if (count < 0)
        return false;
    reportAtEnd = count == 0;
    used += count;
    return true;
}

// Finds "tail" in a piece that arrives in parts, across the joins.
class TailFinder
{
public:
    void feed(QByteArrayView bytes)
    {
        if (found)
            return;
        const qsizetype edge = std::min<qsizetype>(bytes.size(), tailWord.size() - 1);
        if (lastCount > 0) {
            char joined[2 * (tailWord.size() - 1)];
            std::memcpy(joined, last, lastCount);
            std::memcpy(joined + lastCount, bytes.data(), edge);
            found = find(QByteArrayView(joined, lastCount + edge), tailWord) >= 0;
        }
        found = found || find(bytes, tailWord) >= 0;
        // The last three bytes of the piece so far.
        const qsizetype kept = std::min<qsizetype>(lastCount, tailWord.size() - 1 - edge);
        std::memmove(last, last + lastCount - kept, kept);
        std::memcpy(last + kept, bytes.data() + bytes.size() - edge, edge);
        lastCount = kept + edge;
    }
    bool holdsTail() const { return found; }

private:
    char last[tailWord.size() - 1];
    qsizetype lastCount = 0;
    bool found = false;
};

// A piece that loses its end: it keeps [start, cut), then the marker, and
// the report goes on at end.
struct Cut
{
    qint64 start = 0;
    qint64 cut = 0;
    qint64 end = 0;
};

QString readError(const QIODevice &report)
{
    return QStringLiteral("could not read the report: %1").arg(report.errorString());
}

// First pass: the pieces holding "tail" that are long enough to be cut, with
// the cut at the byte count trimTailData keeps before moving back to a whole
// character.
std::optional<QString> findCuts(QIODevice &report, qint64 excess, qint64 chunkSize,
                                std::vector<Cut> &cuts)
{
    PieceScanner scanner(report, chunkSize);
    if (!scanner.seek(0))
        return readError(report);
    qint64 pieceStart = 0;
    TailFinder finder;
    while (!scanner.atEnd()) {
        const std::optional<PieceScanner::Part> part = scanner.next();
        if (!part)
            return readError(report);
        finder.feed(part->bytes);
        if (!part->endsPiece)
            continue;
        const qint64 pieceEnd = part->offset + part->bytes.size();
        const qint64 keep = pieceEnd - pieceStart - excess - marker.size();
        if (finder.holdsTail() && keep >= 1)
            cuts.push_back({pieceStart, pieceStart + keep, pieceEnd});
        pieceStart = pieceEnd + separator.size();
        finder = {};
    }
    return std::nullopt;
}

// Moves a cut back over continuation bytes,
// reading the few bytes before it; a run of stray continuation bytes may take
// more than one read.
std::optional<qint64> wholeCharacterCut(QIODevice &report, const Cut &cut)
{
    qint64 last = cut.cut; // the byte to look at next
    char bytes[64];
    while (last > cut.start) {
        const qint64 first = std::max(cut.start, last - qint64(sizeof bytes) + 1);
        const qint64 count = last - first + 1;
        if (!report.seek(first) || report.read(bytes, count) != count)
            return std::nullopt;
        for (qint64 i = count - 1; i >= 0; --i, --last) {
            if (!isContinuationByte(bytes[i]))
                return last;
        }
    }
    return cut.start;
}

// Gathers the small writes of small pieces into writes of a chunk.
class ChunkWriter
{
public:
    ChunkWriter(QIODevice &device, qint64 chunkSize) : device(device), chunkSize(chunkSize)
    {
        pending.reserve(chunkSize);
    }

    bool write(QByteArrayView bytes)
    {
        if (pending.size() + bytes.size() > chunkSize && !flush())
            return false;
        if (bytes.size() >= chunkSize)
            return device.write(bytes.data(), bytes.size()) == bytes.size();
        pending.append(bytes);
        return true;
    }

    bool flush()
    {
        const bool written = device.write(pending) == pending.size();
        pending.resize(0); // keeps the room
        return written;
    }

private:
    QIODevice &device;
    const qint64 chunkSize;
    QByteArray pending;
};

// Second pass: every non-empty piece with its separator, cut pieces up to
// their cut and the marker.
std::optional<QString> writePieces(QIODevice &report, QIODevice &trimmed, qint64 chunkSize,
                                   const std::vector<Cut> &cuts)
{
    ChunkWriter writer(trimmed, chunkSize);
    const auto write = [&writer](QByteArrayView bytes) { return writer.write(bytes); };
    const QString writeError = QStringLiteral("could not write the trimmed report: %1");

    PieceScanner scanner(report, chunkSize);
    if (!scanner.seek(0))
        return readError(report);
    auto nextCut = cuts.begin();
    qint64 pieceStart = 0;
    bool separatorWritten = false;
    while (!scanner.atEnd()) {
        const std::optional<PieceScanner::Part> part = scanner.next();
        if (!part)
            return readError(report);
        const bool isCut = nextCut != cuts.end() && nextCut->start == pieceStart;
        QByteArrayView bytes = part->bytes;
        if (isCut)
            bytes.truncate(std::clamp<qint64>(nextCut->cut - part->offset, 0, bytes.size()));
        // A cut piece is never empty, though it may keep no byte.
        if (!separatorWritten && (isCut || !bytes.isEmpty())) {
            if (!write(separator))
                return writeError.arg(trimmed.errorString());
            separatorWritten = true;
        }
        if (!bytes.isEmpty() && !write(bytes))
            return writeError.arg(trimmed.errorString());
        if (isCut && part->offset + part->bytes.size() >= nextCut->cut) {
            if (!write(marker))
                return writeError.arg(trimmed.errorString());
            if (!part->endsPiece && !scanner.seek(nextCut->end))
                return readError(report);
            ++nextCut;
        }
        if (part->endsPiece) {
            pieceStart = part->offset + part->bytes.size() + separator.size();
            separatorWritten = false;
        }
    }
    if (!writer.flush())
        return writeError.arg(trimmed.errorString());
    return std::nullopt;
}

std::optional<QString> copyWhole(QIODevice &report, QIODevice &trimmed, qint64 chunkSize)
{
    if (!report.seek(0))
        return readError(report);
    QByteArray buffer(chunkSize, Qt::Uninitialized);
    for (;;) {
        const qint64 count = report.read(buffer.data(), chunkSize);
        if (count < 0)
            return readError(report);
        if (count == 0)
            return std::nullopt;
        if (trimmed.write(buffer.constData(), count) != count)
            return QStringLiteral("could not write the report: %1").arg(trimmed.errorString());
    }
}

} // namespace

std::optional<QString> trimTailStream(QIODevice &report, QIODevice &trimmed,
                                      std::int32_t maxPostSize, qint64 chunkSize)
{
    if (report.isSequential())
        return QStringLiteral("could not trim the report: it is not in a file");
    const qint64 excess = report.size() - maxPostSize;
    if (excess < 1)
        return copyWhole(report, trimmed, chunkSize);

    std::vector<Cut> cuts;
    if (std::optional<QString> error = findCuts(report, excess, chunkSize, cuts))
        return error;
    for (Cut &cut : cuts) {
        const std::optional<qint64> whole = wholeCharacterCut(report, cut);
        if (!whole)
            return readError(report);
        cut.cut = *whole;
    }
    return writePieces(report, trimmed, chunkSize, cuts);
}
