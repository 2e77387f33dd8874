#include "logging.h"

#include "statusline.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdio>

namespace {

void (*logWatcher)(const char *line) = nullptr;

void writeLogLine(QtMsgType, const QMessageLogContext &, const QString &message)
{
    QByteArray line = message.toUtf8();
    if (!line.endsWith('\n'))
        line += '\n';
    clearStatusLine();
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
    if (logWatcher)
        logWatcher(line.constData());
}

} // namespace

void installLogHandler()
{
    qInstallMessageHandler(writeLogLine);
}

void watchLog(void (*watcher)(const char *line))
{
    logWatcher = watcher;
}
