#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// One test of the battery: a command and the comment that labels it in the
// report. Each argument is handed over as one argument, never split at blanks.
struct Test
{
    QString launchPath;
    QStringList args;
    std::optional<QString> comment;
};
