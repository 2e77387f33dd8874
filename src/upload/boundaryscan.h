#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// Looks, in bytes that arrive in pieces, for the upload's boundary and for one
// other chosen at random, so that a body can be sent with a boundary it does
// not hold without being read a second time: a log that holds the boundary
// would otherwise end the file part there, at the server.
class BoundaryScan
{
public:
    BoundaryScan();
    // Test seam: the other boundary given.
    explicit BoundaryScan(const QByteArray &alternative);

    void scan(QByteArrayView bytes);
    // The upload's boundary unless the bytes hold it, else the other one
    // unless they hold that too; nothing when they hold both.
    std::optional<QByteArray> boundary() const;

private:
    struct Watch
    {
        QByteArray text;
        bool found = false;
    };
    Watch watches[2];
    // The end of what came so far, where a boundary may begin.
    QByteArray seam;
};
