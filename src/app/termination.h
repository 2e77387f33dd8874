#pragma once

#include <functional>

// Ctrl-C, a logout or a kill end the program through its event loop, with exit
// status 128 + the signal's number, instead of on the spot: the commands still
// running, each in a process group of its own that the terminal's Ctrl-C does
// not reach, are then stopped on the way out rather than left behind.
// beforeQuit runs first, on the event loop: a finished report is saved there.
// Call once, after the application object exists.
void quitOnTerminationSignals(std::function<void()> beforeQuit = {});
