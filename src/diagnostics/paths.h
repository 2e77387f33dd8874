#pragma once

#include <QString>

// "~" or "~/..." becomes the user's home directory, "~name/..." that user's;
// anything else, an unknown user included, stays as it is.
QString expandTilde(const QString &path);
