#include "reportspool.h"

#include <cstring>

ReportSpool::ReportSpool(SpoolWarning &warning) : spool(warning)
{
    open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

qint64 ReportSpool::readData(char *data, qint64 maxSize)
{
    const qint64 length = qMin(maxSize, spool.size() - pos());
    if (!spool.read(pos(), length, readBuffer)) {
        setErrorString(QStringLiteral("could not read back the report from the temporary folder"));
        return -1;
    }
    std::memcpy(data, readBuffer.constData(), size_t(length));
    return length;
}

qint64 ReportSpool::writeData(const char *data, qint64 maxSize)
{
    if (spool.memorySize() + maxSize > memoryLimit)
        spool.spill();
    spool.append(QByteArrayView(data, maxSize));
    boundaryScan.scan(QByteArrayView(data, maxSize));
    return maxSize;
}
