#include "runtests.h"

#include "startup.h"
#include "windowedstartup.h"
#include "windowlessstartup.h"

#include <QtGlobal>

namespace {

// Qt cannot open a window without a display server, and would abort trying.
bool windowCanOpen()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int runTests(int &argc, char **argv, const QStringList &arguments, const Options &options,
             RunMode mode)
{
    warnAboutOptions(arguments, options);
    raiseOpenFileLimit();
    if (mode == RunMode::Windowless)
        return runWindowless(argc, argv, options);
    if (!windowCanOpen()) {
        qWarning("the window needs a display; -s runs the tests without one");
        return 2;
    }
    return runWindowed(argc, argv);
}
