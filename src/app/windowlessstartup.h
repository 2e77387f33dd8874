#pragma once

#include "options.h"

#include <QSslConfiguration>

// What the upload trusts: the system's roots, and in a test build its own test
// authority as well.
QSslConfiguration uploadTls();

// No window: the battery starts at once and the run ends with an exit status.
// Needs no display server.
int runWindowless(int &argc, char **argv, const Options &options);
