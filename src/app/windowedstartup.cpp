#include "windowedstartup.h"

#include "buildconfig.h"
#include "consoleview.h"
#include "maincontroller.h"
#include "mainwindow.h"
#include "termination.h"
#include "translations.h"
#include "wantofresources.h"
#include "windowlessstartup.h"

#include <QApplication>
#include <QIcon>

int runWindowed(int &argc, char **argv)
{
    QApplication app(argc, argv);
    // The desktop matches the window to its menu entry by this name.
    QGuiApplication::setDesktopFileName(QLatin1String(buildconfig::appId));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/256.png")));
    installTranslations(app);
    MainController controller(uploadTls());
    // Once the report is complete, a signal costs it no more than its upload.
    QObject::connect(&controller.delivery(), &Delivery::uploadInterrupted, &controller,
                     &logUploadFailure);
    quitOnTerminationSignals([&controller] { controller.delivery().interruptUpload(); });
    endWhenAThreadCannotStart(controller.delivery());
    return showMainWindow(controller);
}

int showMainWindow(MainController &controller)
{
    // Closing the window ends the program, even mid-run. The window goes
    // before the controller, which on its way out stops any command still
    // running, so none is left behind.
    QApplication::setQuitOnLastWindowClosed(true);
    MainWindow window(controller);
    window.show();
    return execUntilMemoryRunsOut(controller.delivery());
}
