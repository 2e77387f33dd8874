#include "capturedstream.h"

#include <QIODevice>
#include <QtGlobal>

namespace {

// Escaped output can be four times its input; pieces of this size keep that
// small whatever the stream's size.
constexpr qsizetype piece = 64 * 1024;

// The bytes that all streams hold in memory; everything runs on the main
// thread.
qint64 sharedMemoryUse = 0;

} // namespace

CapturedStream::~CapturedStream()
{
    sharedMemoryUse -= memory.size();
}

void CapturedStream::append(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    checker.check(bytes);
    total += bytes.size();
    lastByte = bytes.back();

    if (!spool.isOpen() && spoolUsable &&
        (memory.size() + bytes.size() > memoryLimit ||
         sharedMemoryUse + bytes.size() > sharedMemoryLimit))
        startSpool();
    if (spool.isOpen() && spoolUsable) {
        QString why;
        const qsizetype written = spool.append(bytes, why);
        if (written == bytes.size())
            return;
        spoolFailed(why);
        bytes = bytes.sliced(written);
    }
    keepInMemory(bytes);
}

void CapturedStream::startSpool()
{
    QString why;
    if (!spool.open(why)) {
        spoolFailed(why);
        return;
    }
    const qsizetype written = spool.append(memory, why);
    const QByteArray rest = memory.sliced(written);
    sharedMemoryUse -= memory.size();
    memory = QByteArray();
    keepInMemory(rest);
    if (!rest.isEmpty())
        spoolFailed(why);
}

void CapturedStream::keepInMemory(QByteArrayView bytes)
{
    memory.append(bytes);
    sharedMemoryUse += bytes.size();
}

void CapturedStream::spoolFailed(const QString &why)
{
    spoolUsable = false;
    static bool told = false;
    if (!told)
        qWarning("keeping command output in memory: %s", qUtf8Printable(why));
    told = true;
}

void CapturedStream::finish()
{
    checker.finishCheck();
    memory.squeeze();
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
    for (qsizetype at = 0; at < memory.size(); at += piece) {
        if (!write(QByteArrayView(memory).sliced(at, qMin(piece, memory.size() - at))))
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
    const qsizetype fromSpool = qsizetype(qMin<qint64>(limit, spool.size()));
    if (fromSpool > 0 && !spool.read(0, fromSpool, bytes))
        return {};
    bytes += QByteArrayView(memory).first(qMin(limit - bytes.size(), memory.size()));
    return bytes;
}

bool writeAll(QIODevice &device, QByteArrayView bytes)
{
    return bytes.isEmpty() || device.write(bytes.data(), bytes.size()) == bytes.size();
}
