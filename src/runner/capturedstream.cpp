#include "capturedstream.h"

#include <QIODevice>

namespace {

// Escaped output can be four times its input; pieces of this size keep that
// small whatever the stream's size.
constexpr qsizetype writePiece = 64 * 1024;

} // namespace

void CapturedStream::append(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    checker.check(bytes);
    memory.append(bytes);
    total += bytes.size();
    lastByte = bytes.back();
}

void CapturedStream::finish()
{
    checker.finishCheck();
}

bool CapturedStream::writeTo(QIODevice &device) const
{
    if (invalidBytes() == 0)
        return writeAll(device, memory);
    Utf8Escaper escaper;
    QByteArray escaped;
    for (qsizetype at = 0; at < memory.size(); at += writePiece) {
        escaped.clear();
        escaper.escape(QByteArrayView(memory).sliced(at, qMin(writePiece, memory.size() - at)),
                       escaped);
        if (!writeAll(device, escaped))
            return false;
    }
    escaped.clear();
    escaper.finishEscape(escaped);
    return writeAll(device, escaped);
}

bool writeAll(QIODevice &device, QByteArrayView bytes)
{
    return bytes.isEmpty() || device.write(bytes.data(), bytes.size()) == bytes.size();
}
