#pragma once

#include "findings.h"

#include <QIcon>

// A finding's level as an icon of the desktop's icon theme, or the window's
// own where the theme has none.
QIcon levelIcon(Finding::Level level);
