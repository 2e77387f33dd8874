#pragma once

#include <QByteArray>
#include <QIODevice>

// Reads as head, then the whole of data, then tail, without copying data into
// memory: the body of an upload whose report lies in a file. Random access, so
// that the network layer knows the length and can rewind to send it again.
class MultipartDevice : public QIODevice
{
    Q_OBJECT

public:
    // data must be open for reading, not sequential, and outlive this device;
    // it is read from its start. Opens itself for reading.
    MultipartDevice(const QByteArray &head, QIODevice *data, const QByteArray &tail);

    bool isSequential() const override { return false; }
    qint64 size() const override { return head.size() + dataSize + tail.size(); }

protected:
    qint64 readData(char *to, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray head;
    QIODevice *data;
    qint64 dataSize;
    QByteArray tail;
};
