#pragma once

// Sends the program's log lines to standard error as they are, one per line,
// whatever the platform's default log destination.
void installLogHandler();

// Called with every line after it is written, from the thread that logged it.
void watchLog(void (*watcher)(const char *line));
