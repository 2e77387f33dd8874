// The wrapping of the help entries: each line of the text is wrapped on its
// own; every line starts with the indent, a line longer than the line length
// holds one word, no line breaks before a word that would still have fitted,
// and the words come out unchanged and in order.

#include "help.h"
#include "property.h"

#include <QStringList>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const int indentWidth = data[0] % 16;
    // Widths around the help's 100 columns and narrower ones that wrap often.
    const int lineLength = 1 + data[1] % 128;
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));
    const QString indent(indentWidth, u' ');

    QStringList wrappedParagraphs;
    for (const QString &paragraph : text.split(u'\n')) {
        const QString wrapped = indentAndWrap(paragraph, indentWidth, lineLength);
        const QStringList lines = wrapped.split(u'\n');
        QStringList wrappedWords;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QString &line = lines[i];
            PROPERTY(line.startsWith(indent));
            const QStringList lineWords = line.split(u' ', Qt::SkipEmptyParts);
            PROPERTY(line.size() <= lineLength || lineWords.size() == 1 || line == indent);
            if (i + 1 < lines.size()) {
                const QStringList next = lines[i + 1].split(u' ', Qt::SkipEmptyParts);
                PROPERTY(!next.isEmpty());
                PROPERTY(line.size() + 1 + next.first().size() > lineLength);
            }
            wrappedWords += lineWords;
        }
        PROPERTY(wrappedWords == paragraph.split(u' ', Qt::SkipEmptyParts));
        wrappedParagraphs.append(wrapped);
    }
    PROPERTY(indentAndWrap(text, indentWidth, lineLength) == wrappedParagraphs.join(u'\n'));
    return 0;
}
