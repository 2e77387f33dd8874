#include "translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace {

bool install(QCoreApplication &app, const QLocale &locale, const QString &name,
             const QString &folder)
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(locale, name, QStringLiteral("_"), folder))
        return false;
    QCoreApplication::installTranslator(translator.get());
    translator.release()->setParent(&app);
    return true;
}

} // namespace

void installTranslations(QCoreApplication &app, const QLocale &locale)
{
    install(app, locale, QStringLiteral("qtbase"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    const QString name = QStringLiteral("veltrane-diagnostic");
    // Installed below the run program's folder (lib/veltrane-diagnostic/../../share),
    // in the build folder as well.
    const QString installed = QCoreApplication::applicationDirPath() +
                              QStringLiteral("/../../share/%1/translations").arg(name);
    if (!install(app, locale, name, installed))
        install(app, locale, name, QStringLiteral(":/i18n"));
}
