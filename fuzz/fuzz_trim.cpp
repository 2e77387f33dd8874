// The trimming of an oversized report: the streaming pass writes exactly what
// trimTailData returns; a piece is kept whole or cut shorter, never grown, and
// never in the middle of a character.

#include "property.h"
#include "resultblock.h"
#include "referencetrim.h"
#include "trim.h"

#include <QBuffer>
#include <QByteArrayList>

#include <cstddef>
#include <cstdint>

namespace {

const QByteArray separator(blockSeparator);
const QByteArray marker(trimMarker);

// Bytes 0xC0 to 0xC5 stand for what a report holds that random bytes seldom
// spell; every other byte stands for itself.
QByteArray reportFrom(const std::uint8_t *data, std::size_t size)
{
    static const QByteArray tokens[] = {
        separator, "tail", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", QByteArray(44, '-')};
    QByteArray report;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t byte = data[i];
        if (byte >= 0xC0 && byte < 0xC0 + std::size(tokens))
            report += tokens[byte - 0xC0];
        else
            report += char(byte);
    }
    return report;
}

// The non-empty pieces between separators, as trimTailData finds them.
QByteArrayList pieces(const QByteArray &text)
{
    QByteArrayList found;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(separator, start);
        if (end < 0)
            end = text.size();
        if (end > start)
            found.append(text.sliced(start, end - start));
        start = end + separator.size();
    }
    return found;
}

bool isContinuationByte(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 3)
        return 0;
    const qint64 chunkSize = 1 + data[0] % 64;
    const QByteArray report = reportFrom(data + 3, size - 3);
    const qint64 excess = 1 + (data[1] << 8 | data[2]) % (report.size() + 1);
    const auto maxPostSize = static_cast<std::int32_t>(report.size() - excess);

    const QByteArray trimmed = trimTailData(report, maxPostSize);
    QBuffer input;
    input.setData(report);
    input.open(QIODevice::ReadOnly);
    QBuffer output;
    output.open(QIODevice::WriteOnly);
    PROPERTY(!trimTailStream(input, output, maxPostSize, chunkSize));
    PROPERTY(output.data() == trimmed);

    const QByteArrayList before = pieces(report);
    const QByteArrayList after = pieces(trimmed);
    PROPERTY(before.size() == after.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
        const QByteArray &piece = before[i];
        const QByteArray &kept = after[i];
        if (kept == piece)
            continue;
        PROPERTY(piece.contains("tail") && kept.endsWith(marker));
        PROPERTY(kept.size() < piece.size());
        const qsizetype keptBytes = kept.size() - marker.size();
        PROPERTY(piece.startsWith(kept.first(keptBytes)));
        PROPERTY(keptBytes == 0 || !isContinuationByte(piece[keptBytes]));
    }
    if (report.isValidUtf8())
        PROPERTY(trimmed.isValidUtf8());
    return 0;
}
