#pragma once

// Makes the main window read to screen readers as a frame named by its title,
// as a main window would, though it is a plain widget. Call before the window
// is first asked for.
void installWindowAccessible();
