// What delivering a big report costs in memory: the real controller, windowless,
// its battery replaced by one command that prints MIB MiB of text, as a runaway
// agent log would. The report goes to standard output, to a file, or to a
// results server that is not there: the upload fails and the copy is saved in
// $HOME's desktop folder. bench/delivery-memory.sh runs it; it needs a build
// with loopback endpoints, inside scripts/isolated.sh.
//
//   deliverybench console|upload MIB
//   deliverybench file MIB PATH
//
// Prints "seconds=S peak-MiB=P status=N" on standard error: the peak is the
// largest resident set of the whole run, the status the run's exit status.
#include "consoleview.h"
#include "maincontroller.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <sys/resource.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    if (args.size() < 3 || (mode == "file") != (args.size() == 4)) {
        std::fprintf(stderr, "usage: deliverybench console|upload MIB | file MIB PATH\n");
        return 2;
    }
    const qint64 bytes = args[2].toLongLong() * 1024 * 1024;
    QElapsedTimer timer;
    timer.start();

    MainController controller;
    ConsoleView console(controller);
    QObject::connect(&console, &ConsoleView::exitRequested, &app,
                     [](int status) { QCoreApplication::exit(status); });
    const QString command =
        QStringLiteral("yes 'May 14 09:12:03 host agent[812]: filter rule 4711 matched' | "
                       "head -c %1")
            .arg(bytes);
    controller.replaceBattery({{"/bin/sh", {"-c", command}, std::nullopt}});
    controller.initArgsWithSilent(true, mode == "console", false, true, false);
    if (mode == "file")
        controller.setOutputFile(args[3]);
    controller.awakeFromNib();
    controller.runTests();
    const int status = app.exec();

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::fprintf(stderr, "seconds=%.2f peak-MiB=%ld status=%d\n", double(timer.elapsed()) / 1000,
                 usage.ru_maxrss / 1024, status);
    return 0;
}
