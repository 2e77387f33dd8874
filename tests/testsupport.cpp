#include "testsupport.h"

#include "endpoints.h"

#include <QFile>
#include <QNetworkInterface>

QString writeScript(const QTemporaryDir &dir, const QString &name, const QByteArray &body)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\n" + body + "\n") < 0)
        return {};
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return file.fileName();
}

QString blockHead(const QString &displayName)
{
    return QString(45, u'-') + "Results for: " + displayName + "\n";
}

bool isolatedOnLoopback()
{
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        if (!interface.flags().testFlag(QNetworkInterface::IsLoopBack))
            return false;
    }
    return QString(endpoints::ResolverPrimary).startsWith("127.");
}

bool isRunning(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    // The state follows the command name, which is in parentheses.
    return !line.isEmpty() && line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
}
