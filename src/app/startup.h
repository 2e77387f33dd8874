#pragma once

#include "options.h"

// At most every command of the battery runs at once, each holding a handful of
// descriptors, and an agent log folder can hold hundreds of files.
void raiseOpenFileLimit();

// A reader that goes away (| head) or a closed standard stream turns writes to
// it into errors that the program handles, instead of ending it or sending
// the report into whatever file it opens next. Call first.
void guardStandardStreams();

void printHelp();

// No window: the battery starts at once and the run ends with an exit status.
// Needs no display server.
int runWindowless(int &argc, char **argv, const Options &options);
