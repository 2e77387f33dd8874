#include "utf8escape.h"

namespace {

// The length of the sequence a lead byte begins; 0 for a byte that cannot
// begin one (a continuation byte, an overlong lead C0/C1, or F5 and above).
int sequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// Whether byte may stand at position (1 to 3) of a sequence beginning with
// lead. The second byte's narrower ranges shut out overlong forms, surrogates
// and code points above U+10FFFF.
bool continues(unsigned char lead, int position, unsigned char byte)
{
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (position == 1) {
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
        else if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    }
    return byte >= low && byte <= high;
}

struct EscapingSink
{
    QByteArray &out;
    void valid(const char *data, qsizetype size) { out.append(data, size); }
    void invalid(unsigned char byte)
    {
        static constexpr char digits[] = "0123456789ABCDEF";
        const char escaped[4] = {'\\', 'x', digits[byte >> 4], digits[byte & 0xF]};
        out.append(escaped, 4);
    }
};

struct DecodingSink
{
    QString &out;
    void valid(const char *data, qsizetype size) { out += QString::fromUtf8(data, size); }
    void invalid(unsigned char byte) { out += QChar(char16_t(0xDC00 + byte)); }
};

struct CountingSink
{
    void valid(const char *, qsizetype) {}
    void invalid(unsigned char) {}
};

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

template <typename Sink> void Utf8Escaper::flushPending(Sink &sink)
{
    for (int i = 0; i < pendingSize; ++i)
        sink.invalid(pending[i]);
    invalid += pendingSize;
    pendingSize = 0;
}

template <typename Sink> void Utf8Escaper::feed(QByteArrayView chunk, Sink &sink)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(chunk.data());
    const qsizetype size = chunk.size();
    qsizetype i = 0;

    // Finish the sequence the previous piece ended in.
    while (pendingSize > 0 && i < size) {
        if (!continues(pending[0], pendingSize, bytes[i])) {
            // This byte is not part of it; it is looked at again as a lead.
            flushPending(sink);
            break;
        }
        pending[pendingSize++] = bytes[i++];
        if (pendingSize == sequenceLength(pending[0])) {
            sink.valid(reinterpret_cast<const char *>(pending), pendingSize);
            pendingSize = 0;
        }
    }

    qsizetype runStart = i;
    const auto flushRun = [&](qsizetype end) {
        if (end > runStart)
            sink.valid(chunk.data() + runStart, end - runStart);
    };
    while (i < size) {
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const int length = sequenceLength(lead);
        int k = 1;
        while (k < length && i + k < size && continues(lead, k, bytes[i + k]))
            ++k;
        if (length > 0 && k == length) {
            i += length;
            continue;
        }
        flushRun(i);
        if (length > 0 && i + k == size) {
            // Cut off by the end of this piece: the next one may complete it.
            for (int j = 0; j < k; ++j)
                pending[pendingSize++] = bytes[i + j];
        } else {
            for (int j = 0; j < k; ++j)
                sink.invalid(bytes[i + j]);
            invalid += k;
        }
        i += k;
        runStart = i;
    }
    flushRun(size);
}

void Utf8Escaper::escape(QByteArrayView chunk, QByteArray &out)
{
    EscapingSink sink{out};
    feed(chunk, sink);
}

void Utf8Escaper::check(QByteArrayView chunk)
{
    CountingSink sink;
    feed(chunk, sink);
}

void Utf8Escaper::finishEscape(QByteArray &out)
{
    EscapingSink sink{out};
    flushPending(sink);
}

void Utf8Escaper::finishCheck()
{
    CountingSink sink;
    flushPending(sink);
}

QByteArray escapeUtf8(QByteArrayView bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    Utf8Escaper escaper;
    escaper.escape(bytes, out);
    escaper.finishEscape(out);
    return out;
}

QByteArray unescapeUtf8(QByteArrayView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            const int high = hexValue(text[i + 2]);
            const int low = hexValue(text[i + 3]);
            if (high >= 8 && low >= 0) {
                bytes.append(char(high * 16 + low));
                i += 3;
                continue;
            }
        }
        bytes.append(text[i]);
    }
    return bytes;
}

QString fileNameFromBytes(QByteArrayView bytes)
{
    QString name;
    DecodingSink sink{name};
    Utf8Escaper decoder;
    decoder.feed(bytes, sink);
    decoder.flushPending(sink);
    return name;
}

QByteArray fileNameToBytes(const QString &name)
{
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype runStart = 0;
    const auto flushRun = [&](qsizetype end) {
        bytes += QStringView(name).sliced(runStart, end - runStart).toUtf8();
    };
    for (qsizetype i = 0; i < name.size(); ++i) {
        const int byte = fileNameByteAt(name, i);
        if (byte < 0)
            continue;
        flushRun(i);
        bytes += char(byte);
        runStart = i + 1;
    }
    flushRun(name.size());
    return bytes;
}

int fileNameByteAt(QStringView name, qsizetype index)
{
    const char16_t unit = name[index].unicode();
    // The second half of a pair is part of a character beyond U+FFFF.
    if (unit < 0xDC80 || unit > 0xDCFF || (index > 0 && name[index - 1].isHighSurrogate()))
        return -1;
    return unit - 0xDC00;
}
