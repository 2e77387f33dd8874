// The escaping of command output that is not UTF-8: the output is always valid
// UTF-8, valid input comes out unchanged, the count is that of the escapes
// written, splitting the stream anywhere changes nothing, and unescaping gives
// the input back unless the input itself spells such an escape.

#include "property.h"
#include "utf8escape.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QRegularExpression>
#include <QStringDecoder>

#include <cstddef>
#include <cstdint>

namespace {

bool isValidUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    // The decoding happens when its result becomes a string.
    const QString text = decoder(bytes);
    return !decoder.hasError();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses where the stream is split in two.
    const QByteArrayView input(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    const qsizetype split = input.isEmpty() ? 0 : data[0] % (input.size() + 1);

    Utf8Escaper escaper;
    QByteArray pieces;
    escaper.escape(input.first(split), pieces);
    escaper.escape(input.sliced(split), pieces);
    escaper.finishEscape(pieces);
    const QByteArray whole = escapeUtf8(input);

    PROPERTY(pieces == whole);
    PROPERTY(isValidUtf8(whole));
    if (isValidUtf8(input))
        PROPERTY(escaper.invalidBytes() == 0 && whole == input.toByteArray());
    // Each invalid byte grows by three characters, nothing else changes size.
    PROPERTY(whole.size() == input.size() + 3 * escaper.invalidBytes());

    static const QRegularExpression spelledEscape(QStringLiteral("\\\\x[89A-F][0-9A-F]"));
    if (!QString::fromLatin1(input).contains(spelledEscape))
        PROPERTY(unescapeUtf8(whole) == input.toByteArray());

    Utf8Escaper counter;
    counter.check(input);
    counter.finishCheck();
    PROPERTY(counter.invalidBytes() == escaper.invalidBytes());
    return 0;
}
