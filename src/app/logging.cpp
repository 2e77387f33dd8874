#include "logging.h"

#include "statusline.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdio>

namespace {

void writeLogLine(QtMsgType, const QMessageLogContext &, const QString &message)
{
    QByteArray line = message.toUtf8();
    if (!line.endsWith('\n'))
        line += '\n';
    clearStatusLine();
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace

void installLogHandler()
{
    qInstallMessageHandler(writeLogLine);
}
