#include "referencetrim.h"

#include "resultblock.h"
#include "trim.h"

namespace {

constexpr QByteArrayView separator(blockSeparator, sizeof blockSeparator - 1);
constexpr QByteArrayView marker(trimMarker, sizeof trimMarker - 1);

bool isContinuationByte(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The length of the longest prefix of piece, at most keep bytes, that ends on
// a whole UTF-8 character.
qsizetype wholeCharacterPrefix(QByteArrayView piece, qsizetype keep)
{
    while (keep > 0 && keep < piece.size() && isContinuationByte(piece[keep]))
        --keep;
    return keep;
}

void appendPiece(QByteArray &output, QByteArrayView piece, qsizetype excess)
{
    output.append(separator);
    if (!piece.contains("tail")) {
        output.append(piece);
        return;
    }
    const qsizetype keep = piece.size() - excess - marker.size();
    if (keep < 1) {
        output.append(piece);
        return;
    }
    output.append(piece.first(wholeCharacterPrefix(piece, keep)));
    output.append(marker);
}

} // namespace

QByteArray trimTailData(QByteArrayView data, std::int32_t maxPostSize)
{
    const qsizetype excess = data.size() - maxPostSize;
    // With no excess a cut could reach past the end of a piece.
    if (excess < 1)
        return data.toByteArray();

    QByteArray output;
    // Room for a separator gained in front of an account line.
    output.reserve(data.size() + separator.size());
    qsizetype pieceStart = 0;
    while (pieceStart <= data.size()) {
        qsizetype pieceEnd = data.indexOf(separator, pieceStart);
        if (pieceEnd < 0)
            pieceEnd = data.size();
        const QByteArrayView piece = data.sliced(pieceStart, pieceEnd - pieceStart);
        if (!piece.isEmpty())
            appendPiece(output, piece, excess);
        pieceStart = pieceEnd + separator.size();
    }
    return output;
}
