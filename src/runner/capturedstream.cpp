#include "capturedstream.h"

#include <QIODevice>
#include <QtGlobal>

namespace {

// Escaped output can be four times its input; pieces of this size keep that
// small whatever the stream's size.
constexpr qsizetype piece = 64 * 1024;

} // namespace

CapturedStream::~CapturedStream()
{
    shared.used -= spool.memorySize();
}

void CapturedStream::append(QByteArrayView bytes)
{
    if (!masker) {
        keep(bytes);
        return;
    }
    maskedBytes.clear();
    masker->mask(bytes, maskedBytes);
    keep(maskedBytes);
}

void CapturedStream::keep(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    checker.check(bytes);
    total += bytes.size();
    lastByte = bytes.back();

    const qsizetype inMemory = spool.memorySize();
    if (inMemory + bytes.size() > memoryLimit || shared.used + bytes.size() > sharedMemoryLimit)
        spool.spill();
    spool.append(bytes);
    shared.used += spool.memorySize() - inMemory;
}

void CapturedStream::finish()
{
    if (masker) {
        maskedBytes.clear();
        masker->finish(maskedBytes);
        keep(maskedBytes);
        maskedBytes = QByteArray();
    }
    checker.finishCheck();
    spool.squeeze();
}

bool CapturedStream::writeTo(QIODevice &device) const
{
    const bool escaping = invalidBytes() > 0;
    Utf8Escaper escaper;
    QByteArray escaped;
    const auto write = [&](QByteArrayView bytes) {
        if (!escaping)
            return writeAll(device, bytes);
        escaped.clear();
        escaper.escape(bytes, escaped);
        return writeAll(device, escaped);
    };

    QByteArray buffer;
    for (qint64 at = 0; at < spool.size(); at += piece) {
        if (!spool.read(at, qMin<qint64>(piece, spool.size() - at), buffer) || !write(buffer))
            return false;
    }
    if (!escaping)
        return true;
    escaped.clear();
    escaper.finishEscape(escaped);
    return writeAll(device, escaped);
}

QByteArray CapturedStream::head(qsizetype limit) const
{
    QByteArray bytes;
    return spool.read(0, qsizetype(qMin<qint64>(limit, spool.size())), bytes) ? bytes
                                                                              : QByteArray();
}

bool writeAll(QIODevice &device, QByteArrayView bytes)
{
    return bytes.isEmpty() || device.write(bytes.data(), bytes.size()) == bytes.size();
}
