#pragma once

#include "utf8escape.h"

#include <QByteArray>
#include <QByteArrayView>

class QIODevice;

// Everything one output stream of a command printed, as raw bytes, with its
// UTF-8 check kept up to date as the bytes arrive.
class CapturedStream
{
public:
    void append(QByteArrayView bytes);
    // The stream has ended: a character still open counts as invalid.
    void finish();

    qint64 size() const { return total; }
    // Bytes that are not part of a valid UTF-8 sequence; final after finish().
    qint64 invalidBytes() const { return checker.invalidBytes(); }
    bool endsWithLineBreak() const { return lastByte == '\n'; }

    // Writes the stream to device: as it is when it is valid UTF-8, else with
    // every invalid byte escaped. False when the device took less.
    bool writeTo(QIODevice &device) const;

private:
    QByteArray memory;
    Utf8Escaper checker;
    qint64 total = 0;
    char lastByte = 0;
};

// Writes all of bytes to device; false when it took less.
bool writeAll(QIODevice &device, QByteArrayView bytes);
