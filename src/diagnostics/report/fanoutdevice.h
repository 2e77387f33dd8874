#pragma once

#include <QByteArrayView>
#include <QIODevice>
#include <QString>

#include <optional>
#include <vector>

// Hands every write on to each of its devices, so that one pass over the
// report feeds all of its destinations. A device that fails or takes less is
// dropped at once with the reason kept, and the others go on: one broken
// destination costs none of the others its report. Writing to it never fails.
class FanOutDevice : public QIODevice
{
public:
    explicit FanOutDevice(const std::vector<QIODevice *> &devices);

    // Writes bytes to the one device only, unless it has failed already.
    void writeTo(QIODevice *device, QByteArrayView bytes);
    // Why the device was dropped; nothing while it has taken every byte.
    std::optional<QString> failure(const QIODevice *device) const;

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    struct Target
    {
        QIODevice *device;
        std::optional<QString> failure;
    };
    void put(Target &target, QByteArrayView bytes);

    std::vector<Target> targets;
};
