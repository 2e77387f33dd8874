#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// Reads an HTTP/1.1 answer as its bytes arrive. Interim answers (1xx, such as
// 102 Processing or 103 Early Hints) are passed over: the status is that of
// the final answer. Its body ends where Content-Length says, with the last
// chunk of a chunked one, or else when the server closes the connection.
class ResponseReader
{
public:
    void feed(QByteArrayView bytes);
    // The server closed the connection.
    void closed();

    // Once the final answer's head has arrived.
    const std::optional<int> &status() const { return finalStatus; }
    // As far as it arrived, chunk framing taken off.
    const QByteArray &body() const { return content; }
    bool isComplete() const { return state == State::Done; }
    // What came cannot be an HTTP answer.
    bool isMalformed() const { return state == State::Malformed; }

private:
    enum class State
    {
        Head,
        Sized,   // a body of contentLength bytes
        Chunked, // at the size line of the next chunk
        InChunk, // chunkLeft bytes of a chunk, then its CRLF
        Trailer, // after the last chunk, up to an empty line
        UntilClosed,
        Done,
        Malformed,
    };
    bool readHead();
    bool readChunked();

    State state = State::Head;
    QByteArray pending;
    std::optional<int> finalStatus;
    QByteArray content;
    qint64 contentLength = 0;
    qint64 chunkLeft = 0;
};
