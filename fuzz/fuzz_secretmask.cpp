// The masking of passwords and tokens in command lines: splitting the stream
// anywhere changes nothing; no byte is lost but a masked value (blanks and
// line breaks all stay, each word is itself or itself with values replaced,
// and a mask stands only where a value can); nothing changes when nothing is
// counted; and masking the output again changes nothing more.

#include "property.h"
#include "secretmask.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <cstddef>
#include <cstdint>

namespace {

constexpr QByteArrayView maskText = "[masked]";

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The run of blanks, or of other bytes, that begins at at.
QByteArrayView takeRun(QByteArrayView bytes, qsizetype &at, bool blanks)
{
    const qsizetype start = at;
    while (at < bytes.size() && isBlank(bytes[at]) == blanks)
        ++at;
    return bytes.sliced(start, at - start);
}

// out is in with none, one or more non-empty values replaced by the mask.
bool keepsAllButValues(QByteArrayView in, QByteArrayView out)
{
    if (in == out)
        return true;
    QList<QByteArrayView> pieces;
    for (qsizetype from = 0;;) {
        const qsizetype found = out.indexOf(maskText, from);
        pieces.append(out.sliced(from, (found < 0 ? out.size() : found) - from));
        if (found < 0)
            break;
        from = found + maskText.size();
    }
    if (pieces.size() < 2 || !in.startsWith(pieces.first()))
        return false;
    qsizetype at = pieces.first().size();
    for (qsizetype k = 1; k + 1 < pieces.size(); ++k) {
        const qsizetype found = in.indexOf(pieces[k], at + 1);
        if (found < 0)
            return false;
        at = found + pieces[k].size();
    }
    return in.endsWith(pieces.last()) && in.size() - pieces.last().size() >= at + 1;
}

bool keepsAllButMaskedValues(QByteArrayView in, QByteArrayView out)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < in.size() || j < out.size()) {
        if (takeRun(in, i, true) != takeRun(out, j, true))
            return false;
        if (!keepsAllButValues(takeRun(in, i, false), takeRun(out, j, false)))
            return false;
    }
    return true;
}

// Where a mask may stand: for a whole word, after "=" or ":" to the word's
// end, or before the "@" that ends a URL's user part.
bool masksStandRight(QByteArrayView out)
{
    for (qsizetype at = out.indexOf(maskText); at >= 0; at = out.indexOf(maskText, at + 1)) {
        const qsizetype end = at + maskText.size();
        const char before = at == 0 ? ' ' : out[at - 1];
        const char after = end == out.size() ? ' ' : out[end];
        if (!(isBlank(before) || before == '=' || before == ':') ||
            !(isBlank(after) || after == '@'))
            return false;
    }
    return true;
}

QByteArray masked(QByteArrayView bytes, qint64 &count)
{
    SecretMasker masker;
    QByteArray out;
    masker.mask(bytes, out);
    masker.finish(out);
    count = masker.maskedValues();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses where the stream is split in two.
    const QByteArrayView input(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    const qsizetype split = input.isEmpty() ? 0 : data[0] % (input.size() + 1);

    SecretMasker masker;
    QByteArray pieces;
    masker.mask(input.first(split), pieces);
    masker.mask(input.sliced(split), pieces);
    masker.finish(pieces);
    qint64 count = 0;
    const QByteArray whole = masked(input, count);

    PROPERTY(pieces == whole && masker.maskedValues() == count);
    PROPERTY(keepsAllButMaskedValues(input, whole));
    // An input that spells a mask itself may keep it anywhere.
    PROPERTY(input.contains('[') || masksStandRight(whole));
    PROPERTY((count == 0) == (whole == input.toByteArray()));
    PROPERTY(whole.count(maskText) >= count);

    qint64 again = 0;
    PROPERTY(masked(whole, again) == whole && again == 0);
    return 0;
}
