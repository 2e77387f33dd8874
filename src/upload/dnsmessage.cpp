#include "dnsmessage.h"

#include <QtEndian>

namespace {

constexpr qsizetype headerSize = 12;
constexpr quint16 typeA = 1;
constexpr quint16 classIn = 1;

quint16 read16(QByteArrayView message, qsizetype at)
{
    return qFromBigEndian<quint16>(message.data() + at);
}

void append16(QByteArray &message, quint16 value)
{
    message.append(char(value >> 8)).append(char(value & 0xff));
}

// The position after the name at `at`, or -1 when it runs past the end.
qsizetype skipName(QByteArrayView message, qsizetype at)
{
    while (at < message.size()) {
        const auto length = quint8(message[at]);
        if (length == 0)
            return at + 1;
        if ((length & 0xc0) == 0xc0) // a pointer ends the name
            return at + 2 <= message.size() ? at + 2 : -1;
        if (length & 0xc0)
            return -1;
        at += 1 + length;
    }
    return -1;
}

} // namespace

QByteArray dnsQuery(quint16 id, QByteArrayView name)
{
    QByteArray query;
    append16(query, id);
    append16(query, 0x0100); // a standard query, recursion desired
    append16(query, 1);      // one question
    query.append(6, '\0');   // no answers, authorities or additions
    if (name.isEmpty() || name.size() > 253)
        return {};
    for (const QByteArray &label : name.toByteArray().split('.')) {
        if (label.isEmpty() || label.size() > 63)
            return {};
        query.append(char(label.size())).append(label);
    }
    query.append('\0');
    append16(query, typeA);
    append16(query, classIn);
    return query;
}

std::optional<QList<QHostAddress>> dnsAnswerAddresses(QByteArrayView message, QByteArrayView query)
{
    if (query.size() <= headerSize)
        return std::nullopt;
    const QByteArrayView question = query.sliced(headerSize);
    // A response (QR) with our id, and our question echoed.
    if (message.size() < headerSize + question.size() || read16(message, 0) != read16(query, 0) ||
        !(read16(message, 2) & 0x8000) || read16(message, 4) != 1 ||
        message.sliced(headerSize, question.size()).compare(question, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    QList<QHostAddress> addresses;
    if (read16(message, 2) & 0x000f) // refused, no such name, failed
        return addresses;
    qsizetype at = headerSize + question.size();
    for (int answer = read16(message, 6); answer > 0; --answer) {
        at = skipName(message, at);
        if (at < 0 || at + 10 > message.size())
            return std::nullopt;
        const quint16 type = read16(message, at);
        const quint16 recordClass = read16(message, at + 2);
        const quint16 length = read16(message, at + 8);
        at += 10;
        if (at + length > message.size())
            return std::nullopt;
        // Records of other types (the names a CNAME chain passes) are skipped.
        if (type == typeA && recordClass == classIn && length == 4)
            addresses.append(QHostAddress(qFromBigEndian<quint32>(message.data() + at)));
        at += length;
    }
    return addresses;
}
