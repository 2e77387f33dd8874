#include "commandline.h"

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
