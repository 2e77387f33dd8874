#include "resultblock.h"

#include "capturedstream.h"
#include "process.h"

namespace {

bool writeSection(QIODevice &device, QByteArrayView label, const CapturedStream &stream,
                  const QString &closingLine)
{
    if (stream.size() == 0 && closingLine.isEmpty())
        return true;
    QByteArray end;
    if (!closingLine.isEmpty()) {
        if (stream.size() > 0 && !stream.endsWithLineBreak())
            end += '\n';
        end += closingLine.toUtf8();
    }
    end += '\n';
    if (stream.invalidBytes() > 0)
        end += invalidBytesLine(stream.invalidBytes());
    return writeAll(device, label) && stream.writeTo(device) && writeAll(device, end);
}

} // namespace

QByteArray invalidBytesLine(qint64 count)
{
    return '(' + QByteArray::number(count) + " bytes that are not UTF-8 are shown as \\xHH)\n";
}

QByteArray maskedValuesLine(qint64 count)
{
    return '(' + QByteArray::number(count) +
           " values that look like passwords or tokens are masked)\n";
}

QByteArray blockHeadLine(const QString &displayName)
{
    return blockSeparator + QByteArray("Results for: ") + displayName.toUtf8() + '\n';
}

bool writeResultBlock(QIODevice &device, const QString &displayName, const CapturedStream &stdOut,
                      const CapturedStream &stdErr, const QString &closingLine)
{
    const QByteArray head = blockHeadLine(displayName);
    const qint64 masked = stdOut.maskedValues() + stdErr.maskedValues();
    return writeAll(device, head) && writeSection(device, "stdout:\n", stdOut, {}) &&
           writeSection(device, "stderr:\n", stdErr, closingLine) &&
           (masked == 0 || writeAll(device, maskedValuesLine(masked)));
}

bool writeResult(QIODevice &device, const Process &process)
{
    if (!process.isFinished())
        return writeAll(device, blockHeadLine(process.name()));
    return writeResultBlock(device, process.name(), process.stdOutStream(), process.stdErrStream(),
                            process.closingNote());
}
