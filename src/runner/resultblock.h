#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Every result block starts with this line of 45 hyphens; the report trimming
// splits the report at it.
inline constexpr char blockSeparator[] = "---------------------------------------------";

// The command line as the report shows it: nothing is quoted, so an argument
// holding blanks reads like several. A present but empty comment leaves a
// trailing blank.
QString commandDisplayName(const QString &launchPath, const QStringList &args,
                           const std::optional<QString> &comment);

// Decodes a whole stream as UTF-8; absent when the bytes are not valid UTF-8.
std::optional<QString> decodeStream(const QByteArray &bytes);

// The text one command run contributes to the report. Empty or undecodable
// streams leave no section.
QString resultBlock(const QString &displayName, const std::optional<QString> &stdOut,
                    const std::optional<QString> &stdErr);
