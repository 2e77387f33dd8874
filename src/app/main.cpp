#include "logging.h"
#include "options.h"
#include "readreports.h"
#include "startup.h"
#include "windowedstartup.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstdio>
#include <new>

namespace {

// Qt cannot open a window without a display server, and would abort trying.
bool windowCanOpen()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

static int runProgram(int argc, char *argv[])
{
    guardStandardStreams();
    preferUtf8CharacterType();
    installLogHandler();
    raiseOpenFileLimit();

    const QStringList arguments = argumentsOf(argc, argv);
    const Options options = parseOptions(arguments);
    // The desktop's launcher adds arguments of its own; nobody reads the
    // terminal then.
    if (!isDesktopLaunch(arguments)) {
        for (const QString &name : options.unknownOptions)
            qWarning("ignoring unknown option %s", qUtf8Printable(name));
        if (options.repeatedDomain && options.run.silent)
            qWarning("%s", qUtf8Printable(*options.repeatedDomain));
    }

    switch (chooseRunMode(arguments, options)) {
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
        return runWindowless(argc, argv, options);
    case RunMode::Windowed:
        break;
    }
    if (!windowCanOpen()) {
        qWarning("the window needs a display; -s runs the tests without one");
        return 2;
    }
    return runWindowed(argc, argv);
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
