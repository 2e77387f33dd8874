#pragma once

#include "options.h"

#include <QSslConfiguration>

// At most every command of the battery runs at once, each holding a handful of
// descriptors, and an agent log folder can hold hundreds of files.
void raiseOpenFileLimit();

// A reader that goes away (| head), a closed standard stream or a file size
// limit turns writes into errors that the program handles, instead of ending
// it or sending the report into whatever file it opens next. Call first.
void guardStandardStreams();

// Qt needs a UTF-8 character type and warns on every start that has none (a
// service, env -i, many ssh sessions): where the character type is C, POSIX or
// unset, it becomes C.UTF-8 if the system has it, so that no warning is
// printed and names that are not ASCII keep their bytes. Every other category
// of the user's locale stays as it was. Call before Qt reads the locale.
void preferUtf8CharacterType();

void printHelp();

// What the upload trusts: the system's roots, and in a test build its own test
// authority as well.
QSslConfiguration uploadTls();

// No window: the battery starts at once and the run ends with an exit status.
// Needs no display server.
int runWindowless(int &argc, char **argv, const Options &options);
