#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// Writes an executable /bin/sh script into dir and returns its path.
QString writeScript(const QTemporaryDir &dir, const QString &name, const QByteArray &body);

// The first line of a result block for the given display name.
QString blockHead(const QString &displayName);
