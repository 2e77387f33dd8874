#pragma once

#include <QString>
#include <QStringList>

// The system directories that tools are looked for in, in this order. Every
// command also runs with them as its PATH: a shell row that names a tool
// without a directory finds the same tool whatever PATH the user started the
// program with.
QStringList toolDirectories();

// The same directories as a PATH value.
QString toolSearchPath();
