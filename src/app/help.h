#pragma once

#include <QString>
#include <QStringList>

// The help text of each option, in declaration order.
QStringList helpTexts(const QString &serviceDomain, const QString &resultsServerHost);

// Indents every line of text by indentWidth columns and wraps it so that no
// line is longer than lineLength, breaking at blanks. A word longer than a line
// stands alone on its line, unbroken.
QString indentAndWrap(const QString &text, int indentWidth, int lineLength);

// One option's help entry: its text indented by two columns per level and
// wrapped at the terminal width.
QString helpEntry(const QString &text, int indentLevel, int terminalWidth);

// What -h prints: every entry at level 0 and width 100, each followed by one
// line break, and nothing else.
QString helpOutput(const QString &serviceDomain, const QString &resultsServerHost);
