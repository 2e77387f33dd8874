#pragma once

#include <QString>
#include <QStringList>

// The windowless reading of saved reports: no test runs, no window opens and
// nothing is sent. A file that cannot be read as a report is named on standard
// error with why; the status is then 2, else 0.

// --read: each report's findings as a run prints them, after a line naming its
// file when there are several; with json one JSON document per report.
int readReports(const QStringList &files, bool json);

// --compare: what changed from the older report to the newer, one line per
// change, or one line saying that nothing did; with json one JSON document.
int compareReports(const QString &older, const QString &newer, bool json);
