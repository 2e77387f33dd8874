#include "multipartdevice.h"

#include <algorithm>
#include <cstring>

MultipartDevice::MultipartDevice(const QByteArray &head, QIODevice *data, const QByteArray &tail)
    : head(head), data(data), dataSize(data->size()), tail(tail)
{
    // Unbuffered: pos() is then the position readData reads from, as in QBuffer.
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 MultipartDevice::readData(char *to, qint64 maxSize)
{
    const qint64 headSize = head.size();
    const qint64 tailSize = tail.size();
    qint64 done = 0;
    while (done < maxSize) {
        const qint64 at = pos() + done;
        const qint64 inData = at - headSize;
        const qint64 inTail = inData - dataSize;
        qint64 count = 0;
        if (at < headSize) {
            count = std::min(maxSize - done, headSize - at);
            std::memcpy(to + done, head.constData() + at, size_t(count));
        } else if (inData < dataSize) {
            if (!data->seek(inData))
                return -1;
            count = data->read(to + done, std::min(maxSize - done, dataSize - inData));
            // The data shrank or cannot be read: the body would be short.
            if (count <= 0)
                return -1;
        } else if (inTail < tailSize) {
            count = std::min(maxSize - done, tailSize - inTail);
            std::memcpy(to + done, tail.constData() + inTail, size_t(count));
        } else {
            break;
        }
        done += count;
    }
    return done;
}
