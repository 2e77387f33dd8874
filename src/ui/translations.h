#pragma once

#include <QLocale>

class QCoreApplication;

// Loads the window's texts and Qt's own in the locale's language where there
// is a translation for it: the window's from beside the installed program,
// or else the one built into it. Without one the window stays in English.
void installTranslations(QCoreApplication &app, const QLocale &locale = QLocale());
