#pragma once

#include "options.h"

#include <QStringList>

// A run of the tests, in the window or without one, for the mode
// chooseRunMode() gave. The command links nothing of a run, so that reading
// reports and the help start fast: its runTests() hands the run to the run
// program (runprogram.cpp), whose own does it (runtests.cpp).
int runTests(int &argc, char **argv, const QStringList &arguments, const Options &options,
             RunMode mode);
