#include "resultblock.h"

#include <QStringDecoder>

QString commandDisplayName(const QString &launchPath, const QStringList &args,
                           const std::optional<QString> &comment)
{
    QString name = launchPath;
    for (const QString &arg : args)
        name += u' ' + arg;
    if (comment)
        name += u' ' + *comment;
    return name;
}

std::optional<QString> decodeStream(const QByteArray &bytes)
{
    // Stateless, so that a character cut off at the very end counts as invalid
    // rather than vanishing; a leading byte-order mark stays as printed.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QString resultBlock(const QString &displayName, const std::optional<QString> &stdOut,
                    const std::optional<QString> &stdErr)
{
    QString block;
    block.reserve(1024);
    block += QLatin1String(blockSeparator);
    block += u"Results for: ";
    block += displayName;
    block += u'\n';
    if (stdOut && !stdOut->isEmpty())
        block += QStringLiteral("stdout:\n") + *stdOut + u'\n';
    if (stdErr && !stdErr->isEmpty())
        block += QStringLiteral("stderr:\n") + *stdErr + u'\n';
    return block;
}
