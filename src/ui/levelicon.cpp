#include "levelicon.h"

namespace {

struct LevelIconNames
{
    // Of the freedesktop.org icon naming, which most themes follow.
    const char *themeName;
    // The window's own, in src/ui/icons.
    const char *bundledName;
};

LevelIconNames namesOf(Finding::Level level)
{
    switch (level) {
    case Finding::Level::Fine:
        return {"emblem-default", "fine"};
    case Finding::Level::WorthALook:
        return {"dialog-warning", "worth-a-look"};
    case Finding::Level::CouldNotTell:
        break;
    }
    return {"dialog-question", "could-not-tell"};
}

} // namespace

QIcon levelIcon(Finding::Level level)
{
    const LevelIconNames names = namesOf(level);
    QIcon bundled;
    for (const int size : {16, 24, 32, 48})
        bundled.addFile(
            QStringLiteral(":/levels/%1-%2.png").arg(QLatin1String(names.bundledName)).arg(size));
    return QIcon::fromTheme(QLatin1String(names.themeName), bundled);
}
