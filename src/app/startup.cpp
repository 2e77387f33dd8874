#include "startup.h"

#include "consoleview.h"
#include "endpoints.h"
#include "help.h"
#include "maincontroller.h"
#include "statusline.h"
#include "termination.h"

#include <QCoreApplication>

#include <cstdio>
#include <sys/resource.h>

void raiseOpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max)
        return;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

void printHelp()
{
    const QByteArray help = helpOutput(QLatin1String(endpoints::ServiceDomain),
                                       QLatin1String(endpoints::ResultsServerHost))
                                .toUtf8();
    std::fwrite(help.constData(), 1, static_cast<size_t>(help.size()), stdout);
    std::fflush(stdout);
}

int runWindowless(int &argc, char **argv, const Options &options)
{
    QCoreApplication app(argc, argv);
    quitOnTerminationSignals();
    MainController controller;
    ConsoleView console(controller);
    console.setPrintFindings(options.findings);
    QObject::connect(&console, &ConsoleView::exitRequested, &app, [](int status) {
        std::fflush(stdout);
        QCoreApplication::exit(status);
    });

    controller.initArgsWithSilent(options.silent, options.console, options.amx, options.noamx,
                                  options.internet);
    if (options.domain)
        controller.setDomain(*options.domain);
    if (options.output)
        controller.setOutputFile(*options.output);
    controller.awakeFromNib();
    controller.runTests();
    const int status = app.exec();
    // Ended by a signal, the run may leave its progress line behind.
    clearStatusLine();
    return status;
}
