#pragma once

class QString;

// One line on standard error that a windowless run rewrites in place while it
// lasts, when standard error is a terminal; nothing is written elsewhere, so
// scripts and logs see only what they always did. Whatever else is printed, on
// either stream, clears it first.

bool standardErrorIsTerminal();
bool standardOutputIsTerminal();
void showStatusLine(const QString &text);
// Nothing when no line is shown.
void clearStatusLine();
