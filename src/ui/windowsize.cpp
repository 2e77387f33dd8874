#include "windowsize.h"

#include <QCoreApplication>
#include <QSettings>

namespace {

const QString sizeKey = QStringLiteral("window/size");

QSettings settings()
{
    return QSettings(QStringLiteral("Veltrane"), QCoreApplication::applicationName());
}

} // namespace

QSize rememberedWindowSize(const QSize &fallback)
{
    const QSize size = settings().value(sizeKey).toSize();
    return size.isValid() ? size : fallback;
}

void rememberWindowSize(const QSize &size)
{
    settings().setValue(sizeKey, size);
}
