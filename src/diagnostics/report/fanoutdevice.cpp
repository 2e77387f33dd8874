#include "fanoutdevice.h"

FanOutDevice::FanOutDevice(const std::vector<QIODevice *> &devices)
{
    for (QIODevice *device : devices)
        targets.push_back({device, std::nullopt});
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

void FanOutDevice::writeTo(QIODevice *device, QByteArrayView bytes)
{
    for (Target &target : targets) {
        if (target.device == device)
            put(target, bytes);
    }
}

std::optional<QString> FanOutDevice::failure(const QIODevice *device) const
{
    for (const Target &target : targets) {
        if (target.device == device)
            return target.failure;
    }
    return std::nullopt;
}

qint64 FanOutDevice::writeData(const char *data, qint64 maxSize)
{
    for (Target &target : targets)
        put(target, QByteArrayView(data, maxSize));
    return maxSize;
}

void FanOutDevice::put(Target &target, QByteArrayView bytes)
{
    // A short write is tried again for the rest: a full disk or a reader that
    // went away then fails at once, with its reason.
    while (!target.failure && !bytes.isEmpty()) {
        const qint64 written = target.device->write(bytes.data(), bytes.size());
        if (written <= 0)
            target.failure = target.device->errorString();
        else
            bytes = bytes.sliced(written);
    }
}
