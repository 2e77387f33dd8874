#include "manpage.h"

namespace {

// Text as roff prints it: a backslash is the escape character, a plain "-" may
// come out as a hyphen that cannot be typed back, and a line that begins with
// "." or "'" would be read as a request.
QString roffText(const QString &text)
{
    QString escaped = text;
    escaped.replace(u'\\', QStringLiteral("\\e")).replace(u'-', QStringLiteral("\\-"));
    if (escaped.startsWith(u'.') || escaped.startsWith(u'\''))
        escaped.prepend(QStringLiteral("\\&"));
    return escaped;
}

} // namespace

QString manPageOptions(const QStringList &helpTexts)
{
    QString roff;
    for (const QString &text : helpTexts) {
        const qsizetype split = text.indexOf(QStringLiteral(", "));
        const QString names = split < 0 ? text : text.left(split);
        const QString description = split < 0 ? QString() : text.mid(split + 2);
        roff += QStringLiteral(".TP\n\\fB") + roffText(names) + QStringLiteral("\\fR\n");
        if (!description.isEmpty())
            roff += roffText(description) + u'\n';
    }
    return roff;
}

std::optional<QString> manPage(const QString &manTemplate, const QStringList &helpTexts)
{
    QStringList lines = manTemplate.split(u'\n');
    const QString marker = QLatin1String(manPageOptionsMarker);
    if (lines.count(marker) != 1)
        return std::nullopt;
    // The entries end in a line break of their own.
    QString options = manPageOptions(helpTexts);
    options.chop(1);
    lines[lines.indexOf(marker)] = options;
    return lines.join(u'\n');
}
