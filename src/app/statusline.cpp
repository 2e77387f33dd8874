#include "statusline.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <unistd.h>

namespace {

bool lineShown = false;
QString shownText;

void writeToStandardError(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

bool standardErrorIsTerminal()
{
    static const bool terminal = ::isatty(STDERR_FILENO) == 1;
    return terminal;
}

bool standardOutputIsTerminal()
{
    static const bool terminal = ::isatty(STDOUT_FILENO) == 1;
    return terminal;
}

void showStatusLine(const QString &text)
{
    // Updates queued together carry the same numbers: one write is enough.
    if (!standardErrorIsTerminal() || (lineShown && text == shownText))
        return;
    // Back to the start of the line, the new text, the rest of the old erased.
    writeToStandardError('\r' + text.toUtf8() + "\033[K");
    lineShown = true;
    shownText = text;
}

void clearStatusLine()
{
    if (!lineShown)
        return;
    lineShown = false;
    writeToStandardError("\r\033[K");
}
