#pragma once

#include "options.h"

#include <QStringList>

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

// Says which options it ignores, unless the desktop started the program.
void warnAboutOptions(const QStringList &arguments, const Options &options);
