#include "logging.h"
#include "options.h"
#include "readreports.h"
#include "runtests.h"
#include "startup.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstdio>
#include <new>

static int runProgram(int argc, char *argv[])
{
    guardStandardStreams();
    preferUtf8CharacterType();
    installLogHandler();

    const QStringList arguments = argumentsOf(argc, argv);
    const Options options = parseOptions(arguments);
    const RunMode mode = chooseRunMode(arguments, options);
    if (mode == RunMode::Windowless || mode == RunMode::Windowed)
        return runTests(argc, argv, arguments, options, mode);

    warnAboutOptions(arguments, options);
    switch (mode) {
    case RunMode::Help:
        printHelp();
        return 0;
    case RunMode::Read:
        return readReports(*options.readFiles, options.json);
    case RunMode::Compare:
        return compareReports(options.compareFiles->at(0), options.compareFiles->at(1),
                              options.json);
    case RunMode::UsageError:
        qWarning("%s (see -h)", qUtf8Printable(*options.usageError));
        return 2;
    case RunMode::Windowless:
    case RunMode::Windowed:
        break; // a run, above
    }
    return 2;
}

int main(int argc, char *argv[])
{
    // Without the memory to start (ulimit -v), the program says so and ends;
    // a run that fails later on saves its report first (see wantofresources.h).
    try {
        return runProgram(argc, argv);
    } catch (const std::bad_alloc &) {
        std::fputs("out of memory: the program cannot go on\n", stderr);
        return 1;
    }
}
