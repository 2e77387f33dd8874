#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Makes any byte stream printable as UTF-8 without losing a byte: every valid
// UTF-8 sequence is passed on as it is, every byte of an invalid sequence
// becomes the four characters \xHH (two upper-case hex digits). A sequence cut
// off at the end of the stream is invalid. Only bytes from 80 to FF can be
// invalid, so every escape reads \x8_ to \xF_.
//
// The stream may arrive in pieces of any size: a sequence split between two
// calls is held back until the next one, and the output of all calls together
// equals that of one call on the whole stream.
//
// Reversing: unescapeUtf8() turns every \xHH of 80 to FF back into its byte.
// That restores the input exactly unless the input itself holds such text (a
// log quoting a byte as \xE9), which is left alone like every valid sequence;
// invalidBytes() says how many escapes the escaper itself wrote.
class Utf8Escaper
{
public:
    // Appends the escaped form of chunk to out.
    void escape(QByteArrayView chunk, QByteArray &out);
    // Only counts the invalid bytes, for a stream that may never be written.
    void check(QByteArrayView chunk);
    // The stream has ended: a sequence still open is invalid.
    void finishEscape(QByteArray &out);
    void finishCheck();

    qint64 invalidBytes() const { return invalid; }

private:
    friend QString fileNameFromBytes(QByteArrayView bytes);
    template <typename Sink> void feed(QByteArrayView chunk, Sink &sink);
    template <typename Sink> void flushPending(Sink &sink);

    unsigned char pending[4] = {};
    int pendingSize = 0;
    qint64 invalid = 0;
};

// The whole stream at once.
QByteArray escapeUtf8(QByteArrayView bytes);
// Every \xHH with HH from 80 to FF (upper-case) back into its byte.
QByteArray unescapeUtf8(QByteArrayView text);

// A file name's bytes as text and back without losing a byte, for names that
// are not valid UTF-8: each invalid byte becomes the lone surrogate U+DC00 plus
// the byte (U+DC80 to U+DCFF), which no valid UTF-8 decodes to.
QString fileNameFromBytes(QByteArrayView bytes);
QByteArray fileNameToBytes(const QString &name);
// The byte that the character at index of such a name stands for, or -1 when
// it is a character of its own.
int fileNameByteAt(QStringView name, qsizetype index);
