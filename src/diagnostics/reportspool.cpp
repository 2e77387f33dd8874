#include "reportspool.h"

#include <cstring>
#include <utility>

ReportSpool::ReportSpool()
{
    open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

qint64 ReportSpool::readData(char *data, qint64 maxSize)
{
    qint64 done = 0;
    if (pos() < file.size()) {
        done = qMin(maxSize, file.size() - pos());
        if (!file.read(pos(), done, readBuffer)) {
            setErrorString(QStringLiteral("could not read back the report from the temporary "
                                          "folder"));
            return -1;
        }
        std::memcpy(data, readBuffer.constData(), size_t(done));
    }
    const qint64 inMemory = pos() + done - file.size();
    const qint64 rest = qMin(maxSize - done, memory.size() - inMemory);
    if (rest > 0) {
        std::memcpy(data + done, memory.constData() + inMemory, size_t(rest));
        done += rest;
    }
    return done;
}

qint64 ReportSpool::writeData(const char *data, qint64 maxSize)
{
    if (fileUsable && !file.isOpen() && memory.size() + maxSize > memoryLimit) {
        QString why;
        if (file.open(why))
            append(std::exchange(memory, QByteArray()));
        else
            keepInMemory(why);
    }
    append(QByteArrayView(data, maxSize));
    return maxSize;
}

void ReportSpool::append(QByteArrayView bytes)
{
    if (fileUsable && file.isOpen()) {
        QString why;
        const qsizetype written = file.append(bytes, why);
        if (written == bytes.size())
            return;
        keepInMemory(why);
        bytes = bytes.sliced(written);
    }
    memory.append(bytes);
}

void ReportSpool::keepInMemory(const QString &why)
{
    fileUsable = false;
    static bool told = false;
    if (!told)
        qWarning("keeping the report in memory: %s", qUtf8Printable(why));
    told = true;
}
