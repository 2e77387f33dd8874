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

constexpr quint16 typeCname = 5;
// A chain of names longer than this is not followed.
constexpr int longestChain = 8;

struct Name
{
    QByteArray text; // lower-case labels joined by dots
    qsizetype after; // the position after the name where it was read
};

// The name at `at`. A pointer may lead only to an earlier place, so that no
// name can point to itself or go round; absent when it is malformed.
std::optional<Name> readName(QByteArrayView message, qsizetype at)
{
    Name name{{}, -1};
    while (at < message.size()) {
        const auto length = quint8(message[at]);
        if (length == 0) {
            if (name.after < 0)
                name.after = at + 1;
            return name;
        }
        if ((length & 0xc0) == 0xc0) {
            if (at + 1 >= message.size())
                return std::nullopt;
            const qsizetype target = ((length & 0x3f) << 8) | quint8(message[at + 1]);
            if (target >= at)
                return std::nullopt;
            if (name.after < 0)
                name.after = at + 2;
            at = target;
            continue;
        }
        if ((length & 0xc0) || at + 1 + length > message.size() || name.text.size() > 255)
            return std::nullopt;
        if (!name.text.isEmpty())
            name.text += '.';
        name.text += message.sliced(at + 1, length).toByteArray().toLower();
        at += 1 + length;
    }
    return std::nullopt;
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
    // Refused, no such name, failed; or cut short, which is no answer either.
    if (read16(message, 2) & 0x020f)
        return addresses;
    const std::optional<Name> asked = readName(message, headerSize);
    if (!asked)
        return std::nullopt;
    // The names the answer may give addresses for: the one asked, and those
    // that its CNAME records lead to, in order.
    QList<QByteArray> chain{asked->text};
    qsizetype at = headerSize + question.size();
    for (int answer = read16(message, 6); answer > 0; --answer) {
        const std::optional<Name> owner = readName(message, at);
        if (!owner || owner->after + 10 > message.size())
            return std::nullopt;
        at = owner->after;
        const quint16 type = read16(message, at);
        const quint16 recordClass = read16(message, at + 2);
        const quint16 length = read16(message, at + 8);
        at += 10;
        if (at + length > message.size())
            return std::nullopt;
        const bool ours = recordClass == classIn && chain.contains(owner->text);
        if (ours && type == typeA && length == 4)
            addresses.append(QHostAddress(qFromBigEndian<quint32>(message.data() + at)));
        if (ours && type == typeCname && owner->text == chain.last() &&
            chain.size() <= longestChain) {
            const std::optional<Name> target = readName(message, at);
            if (!target)
                return std::nullopt;
            chain.append(target->text);
        }
        at += length;
    }
    return addresses;
}
