#include "responsereader.h"

#include <QList>

#include <algorithm>

namespace {

// A head longer than this is no answer of a results server.
constexpr qsizetype longestHead = 64 * 1024;

} // namespace

void ResponseReader::feed(QByteArrayView bytes)
{
    if (state == State::Done || state == State::Malformed)
        return;
    pending.append(bytes);
    bool progress = true;
    while (progress && state != State::Done && state != State::Malformed) {
        switch (state) {
        case State::Head:
            progress = readHead();
            break;
        case State::Sized: {
            const qsizetype take = qsizetype(std::min<qint64>(pending.size(), contentLength));
            content.append(pending.first(take));
            pending.remove(0, take);
            contentLength -= take;
            if (contentLength == 0)
                state = State::Done;
            progress = false;
            break;
        }
        case State::UntilClosed:
            content.append(pending);
            pending.clear();
            progress = false;
            break;
        default:
            progress = readChunked();
            break;
        }
    }
}

void ResponseReader::closed()
{
    if (state == State::UntilClosed)
        state = State::Done;
}

// One head: an interim one is dropped, a final one sets how its body ends.
bool ResponseReader::readHead()
{
    const qsizetype end = pending.indexOf("\r\n\r\n");
    if (end < 0) {
        if (pending.size() > longestHead)
            state = State::Malformed;
        return false;
    }
    const QList<QByteArray> lines = pending.first(end).split('\n');
    pending.remove(0, end + 4);
    const QList<QByteArray> statusLine = lines.first().trimmed().split(' ');
    bool isNumber = false;
    const int status = statusLine.value(1).toInt(&isNumber);
    if (!statusLine.first().startsWith("HTTP/1.") || !isNumber || status < 100 || status > 999) {
        state = State::Malformed;
        return false;
    }
    if (status < 200)
        return true; // the final answer follows
    finalStatus = status;
    state = State::UntilClosed;
    for (const QByteArray &line : lines.sliced(1)) {
        const qsizetype colon = line.indexOf(':');
        const QByteArray name = line.first(std::max<qsizetype>(colon, 0)).trimmed().toLower();
        const QByteArray value = line.sliced(colon + 1).trimmed().toLower();
        if (name == "transfer-encoding" && value.endsWith("chunked")) {
            state = State::Chunked;
            break;
        }
        if (name == "content-length") {
            contentLength = value.toLongLong(&isNumber);
            state = isNumber && contentLength >= 0 ? State::Sized : State::Malformed;
        }
    }
    if (status == 204 || status == 304 || (state == State::Sized && contentLength == 0))
        state = State::Done;
    return true;
}

bool ResponseReader::readChunked()
{
    if (state == State::InChunk) {
        const qsizetype take = qsizetype(std::min<qint64>(pending.size(), chunkLeft));
        content.append(pending.first(take));
        pending.remove(0, take);
        chunkLeft -= take;
        if (chunkLeft > 0 || pending.size() < 2)
            return false;
        pending.remove(0, 2); // the chunk's CRLF
        state = State::Chunked;
        return true;
    }
    const qsizetype end = pending.indexOf("\r\n");
    if (end < 0)
        return false;
    const QByteArray line = pending.first(end);
    pending.remove(0, end + 2);
    if (state == State::Trailer) {
        if (line.isEmpty())
            state = State::Done;
        return true;
    }
    bool isNumber = false;
    chunkLeft = line.split(';').first().trimmed().toLongLong(&isNumber, 16);
    if (!isNumber || chunkLeft < 0)
        state = State::Malformed;
    else
        state = chunkLeft == 0 ? State::Trailer : State::InChunk;
    return true;
}
