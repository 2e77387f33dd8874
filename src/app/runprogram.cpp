#include "runtests.h"

#include "buildconfig.h"

#include <QByteArray>
#include <QtGlobal>

#include <cerrno>
#include <climits>
#include <cstring>
#include <unistd.h>

namespace {

// The run program's path, found from this program's own file (not from its
// name, which the caller chooses): the two lie in the same places, installed
// and in the build folder.
QByteArray runProgramPath()
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self);
    if (length == sizeof self)
        errno = ENAMETOOLONG;
    if (length <= 0 || length == sizeof self)
        return {};
    const QByteArray path(self, length);
    return path.left(path.lastIndexOf('/') + 1) + buildconfig::runProgramFromBinary;
}

} // namespace

// The same process goes on as the run program, with the same arguments, so
// that whoever started it waits for, signals and reads the run itself.
int runTests(int &, char **argv, const QStringList &, const Options &, RunMode)
{
    const QByteArray program = runProgramPath();
    if (program.isEmpty()) {
        qWarning("could not find the program that runs the tests: %s", std::strerror(errno));
        return 1;
    }
    ::execv(program.constData(), argv);
    qWarning("could not start %s: %s", program.constData(), std::strerror(errno));
    return 1;
}
