#pragma once

#include "findings.h"

#include <QString>

#include <vector>

// What the window says about findings, in the user's language. The findings'
// own texts stay as the terminal prints them: support reads those.
namespace findingstexts {

// "Worth a look", "Could not tell" or "Fine".
QString levelWords(Finding::Level level);

// One line that sums the findings up: how many are worth a look, how many
// could not be told and how many are fine, leaving out a level none has, or
// "Nothing looks wrong" when all are fine. Empty without findings.
QString headline(const std::vector<Finding> &findings);

// What a screen reader says for a finding: its level in words, then its text.
QString spoken(const Finding &finding);

// A test a finding was read from: its name, then the first lines it printed.
QString testLines(const QString &displayName, const QString &outputHead);
QString spokenTest(const QString &displayName, const QString &outputHead);

} // namespace findingstexts
