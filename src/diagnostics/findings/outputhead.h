#pragma once

#include "findings.h"

#include <QString>

// How many lines of each command's output the window shows beside a finding.
inline constexpr int outputHeadLines = 4;

// The first lines a command printed, standard output before standard error,
// joined by line breaks: blank lines are left out and each line is cut to a
// width a window can show. Empty when it printed nothing.
QString outputHead(const CommandOutput &output, int lineCount = outputHeadLines);
