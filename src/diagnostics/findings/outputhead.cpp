#include "outputhead.h"

#include <QStringList>

namespace {

constexpr qsizetype lineWidth = 160;
// Enough bytes for the lines shown, however long the output.
constexpr qsizetype bytesRead = 16 * 1024;

void appendLines(QStringList &lines, const QByteArray &bytes, int lineCount)
{
    const QString text = QString::fromUtf8(bytes.left(bytesRead));
    for (const QStringView line : QStringView(text).split(u'\n')) {
        if (lines.size() >= lineCount)
            return;
        // Indentation stays: it shows how the tool groups its lines.
        QStringView shown = line;
        while (!shown.isEmpty() && shown.back().isSpace())
            shown.chop(1);
        if (shown.isEmpty())
            continue;
        lines.append(shown.size() > lineWidth ? shown.left(lineWidth - 1).toString() + u'\u2026'
                                              : shown.toString());
    }
}

} // namespace

QString outputHead(const CommandOutput &output, int lineCount)
{
    QStringList lines;
    appendLines(lines, output.stdOut, lineCount);
    appendLines(lines, output.stdErr, lineCount);
    return lines.join(u'\n');
}
