#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The command line as the report shows it: nothing is quoted, so an argument
// holding blanks reads like several. A present but empty comment leaves a
// trailing blank.
QString commandDisplayName(const QString &launchPath, const QStringList &args,
                           const std::optional<QString> &comment);
