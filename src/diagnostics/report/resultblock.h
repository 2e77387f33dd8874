#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

class CapturedStream;
class Process;
class QIODevice;

// Every result block starts with this line of 45 hyphens; the report trimming
// splits the report at it.
inline constexpr char blockSeparator[] = "---------------------------------------------";

// The line that ends a section whose stream was not valid UTF-8.
QByteArray invalidBytesLine(qint64 count);

// The line that ends a block whose output had values masked.
QByteArray maskedValuesLine(qint64 count);

// The first line of a block: all of it while the command runs.
QByteArray blockHeadLine(const QString &displayName);

// Writes the text one command run contributes to the report: the head line,
// then a section for each stream that printed anything. A stream that is not
// valid UTF-8 is shown with its invalid bytes escaped and its section ends with
// a line that counts them. The closing line, if any, ends the standard error
// section on a line of its own (why the command did not run or was stopped).
// A block whose streams had values masked ends with a line that counts them.
// False when the device took less than it was given.
bool writeResultBlock(QIODevice &device, const QString &displayName, const CapturedStream &stdOut,
                      const CapturedStream &stdErr, const QString &closingLine = {});

// One command's block; while it runs, only its first line.
bool writeResult(QIODevice &device, const Process &process);
