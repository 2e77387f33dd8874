#include "paths.h"

#include <QDir>

#include <pwd.h>

QString expandTilde(const QString &path)
{
    if (!path.startsWith(u'~'))
        return path;
    const qsizetype slash = path.indexOf(u'/');
    const QString user = path.mid(1, slash < 0 ? -1 : slash - 1);
    const QString rest = slash < 0 ? QString() : path.mid(slash);

    QString home;
    if (user.isEmpty()) {
        home = QDir::homePath();
    } else {
        const passwd *entry = ::getpwnam(user.toLocal8Bit().constData());
        if (!entry)
            return path;
        home = QString::fromLocal8Bit(entry->pw_dir);
    }
    // A home of "/" followed by "/rest" would otherwise read "//rest".
    if (home.endsWith(u'/') && rest.startsWith(u'/'))
        home.chop(1);
    return home + rest;
}
