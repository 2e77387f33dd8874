#pragma once

class Delivery;

// A thread or a large allocation can fail for want of address space or memory
// (ulimit -v). Qt tells of a thread it could not start only by a warning, and
// then waits for the thread's work for ever or crashes; an allocation that
// fails throws. Either way the program cannot go on: it says why once, saves a
// report that was going up as a failed upload does, and exits with status 1.

// From now on a thread that Qt cannot start ends the program at once, on the
// main thread: nothing that waits for the thread may run. Needs the program's
// log handler and an application object.
void endWhenAThreadCannotStart(Delivery &delivery);

// Runs the event loop; an allocation that fails in it ends the run with
// status 1.
int execUntilMemoryRunsOut(Delivery &delivery);
