#pragma once

#include <QSize>

// The window's size as it was when the program last ended, kept where the
// desktop keeps programs' settings; fallback before the first time.
QSize rememberedWindowSize(const QSize &fallback);
void rememberWindowSize(const QSize &size);
