#pragma once

#include "runoptions.h"

#include <QString>
#include <QStringList>

#include <optional>

// The command line as parsed: which options occur, and the first value of each
// value option.
struct Options
{
    bool help = false;
    bool findings = false;
    // --json: the findings of --findings, --read or --compare as JSON.
    bool json = false;
    // --read and --compare: the saved reports named, in the order given.
    std::optional<QStringList> readFiles;
    std::optional<QStringList> compareFiles;
    // -s, -c, -i, --amx, --noamx, -d and -o: what the run is to do.
    RunOptions run;
    // Options the program does not know, as typed ("--ouput", "-x"), each once.
    QStringList unknownOptions;
    // Says which value a domain given more than once tests.
    std::optional<QString> repeatedDomain;
    // Why the command line cannot be run as given.
    std::optional<QString> usageError;
};

enum class RunMode
{
    Help,
    UsageError,
    Read,
    Compare,
    Windowed,
    Windowless
};

// The process's arguments as text, as the system's file names are (UTF-8): a
// byte that is not UTF-8 becomes a character that fileNameToBytes() turns back
// into it, so that a file name of any bytes reaches the file system as given.
QStringList argumentsOf(int argc, char *argv[]);

// arguments[0] is the program path. Unknown arguments are ignored, but unknown
// options are listed so that a typo can be pointed out.
Options parseOptions(const QStringList &arguments);

// The desktop's launcher adds a "-psn_..." argument; any element holding it,
// the program path included, means the user opened the program from the desktop.
bool isDesktopLaunch(const QStringList &arguments);

RunMode chooseRunMode(const QStringList &arguments, const Options &options);
