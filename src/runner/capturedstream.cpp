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
    // Cut out, the kept bytes are checked again: a character may be cut in two.
    if (spool.leftOut() > 0) {
        const qint64 gap = spool.beforeGap();
        keptInvalid = countInvalid(0, gap) + countInvalid(gap, gap + spool.afterGap());
    }
}

bool CapturedStream::writeTo(QIODevice &device) const
{
    const bool escaping = invalidBytes() > 0;
    if (spool.leftOut() == 0)
        return writeKept(device, 0, spool.size(), escaping);
    const qint64 gap = spool.beforeGap();
    QByteArray line = '(' + QByteArray::number(spool.leftOut()) + " bytes left out here)\n";
    QByteArray last;
    if (gap > 0 && spool.read(gap - 1, 1, last) && last != "\n")
        line.prepend('\n');
    return writeKept(device, 0, gap, escaping) && writeAll(device, line) &&
           writeKept(device, gap, gap + spool.afterGap(), escaping);
}

// The kept bytes from one offset to another, each run of them escaped apart.
bool CapturedStream::writeKept(QIODevice &device, qint64 from, qint64 to, bool escaping) const
{
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
    for (qint64 at = from; at < to; at += piece) {
        if (!spool.read(at, qMin<qint64>(piece, to - at), buffer) || !write(buffer))
            return false;
    }
    if (!escaping)
        return true;
    escaped.clear();
    escaper.finishEscape(escaped);
    return writeAll(device, escaped);
}

qint64 CapturedStream::countInvalid(qint64 from, qint64 to) const
{
    Utf8Escaper counter;
    QByteArray buffer;
    for (qint64 at = from; at < to; at += piece) {
        if (spool.read(at, qMin<qint64>(piece, to - at), buffer))
            counter.check(buffer);
    }
    counter.finishCheck();
    return counter.invalidBytes();
}

QByteArray CapturedStream::head(qsizetype limit) const
{
    QByteArray bytes;
    return spool.read(0, qsizetype(qMin<qint64>(limit, spool.beforeGap())), bytes) ? bytes
                                                                                   : QByteArray();
}

bool writeAll(QIODevice &device, QByteArrayView bytes)
{
    return bytes.isEmpty() || device.write(bytes.data(), bytes.size()) == bytes.size();
}
