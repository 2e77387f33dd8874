#include "windowedstartup.h"

#include "maincontroller.h"
#include "mainwindow.h"
#include "termination.h"

#include <QApplication>

int runWindowed(int &argc, char **argv)
{
    QApplication app(argc, argv);
    quitOnTerminationSignals();
    MainController controller;
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
    return QApplication::exec();
}
