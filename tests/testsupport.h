#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// Writes an executable /bin/sh script into dir and returns its path.
QString writeScript(const QTemporaryDir &dir, const QString &name, const QByteArray &body);

// The first line of a result block for the given display name.
QString blockHead(const QString &displayName);

// Whether nothing can leave the machine (only loopback is up) and the build's
// endpoints are on loopback: the only place to run the real battery.
bool isolatedOnLoopback();

// The process is alive: it exists and is not dead waiting to be reaped.
bool isRunning(qint64 pid);
