#include "windowlessstartup.h"

#include "buildconfig.h"
#include "consoleview.h"
#include "http.h"
#include "maincontroller.h"
#include "statusline.h"
#include "termination.h"
#include "wantofresources.h"

#include <QCoreApplication>

#include <cstdio>

QSslConfiguration uploadTls()
{
    return uploadTlsConfiguration(QByteArrayView(buildconfig::extraCaCertificates));
}

int runWindowless(int &argc, char **argv, const Options &options)
{
    QCoreApplication app(argc, argv);
    MainController controller(uploadTls());
    // Once the report is complete, a signal costs it no more than its upload.
    quitOnTerminationSignals([&controller] { controller.delivery().interruptUpload(); });
    ConsoleView console(controller);
    console.setPrintFindings(options.findings);
    console.setPrintJson(options.json);
    QObject::connect(&console, &ConsoleView::exitRequested, &app, [](int status) {
        std::fflush(stdout);
        QCoreApplication::exit(status);
    });

    endWhenAThreadCannotStart(controller.delivery());

    controller.initArgsWithSilent(options.run);
    controller.awakeFromNib();
    controller.runTests();
    const int status = execUntilMemoryRunsOut(controller.delivery());
    // Ended by a signal, the run may leave its progress line behind.
    clearStatusLine();
    return status;
}
