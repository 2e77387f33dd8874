#pragma once

class MainController;

// The window; the tests start when the user presses the start button.
int runWindowed(int &argc, char **argv);

// Shows the main window for the controller and runs the event loop until the
// window is closed. Needs a QApplication.
int showMainWindow(MainController &controller);
