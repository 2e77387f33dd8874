#include "startup.h"

#include "buildconfig.h"
#include "endpoints.h"
#include "help.h"
#include "maincontroller.h"
#include "mainwindow.h"
#include "termination.h"

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>

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

int runWindowed(int &argc, char **argv)
{
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QLatin1String(buildconfig::appId));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/256.png")));
    quitOnTerminationSignals();
    MainController controller;
    return showMainWindow(controller);
}

int showMainWindow(MainController &controller)
{
    // The window goes before the controller, which on its way out stops any
    // command still running, so closing the window mid-run leaves none behind.
    MainWindow window(controller);
    window.show();
    return QApplication::exec();
}

int runWindowless(int &argc, char **argv, const Options &options)
{
    QCoreApplication app(argc, argv);
    quitOnTerminationSignals();
    MainController controller;
    QObject::connect(&controller, &MainController::exitRequested, &app, [](int status) {
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
    return app.exec();
}
