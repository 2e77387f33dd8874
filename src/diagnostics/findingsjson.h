#pragma once

#include "findings.h"
#include "reportcompare.h"
#include "reportfindings.h"
#include "runrecord.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <vector>

// The findings as JSON for scripts, one document per report (--json): of a
// run with every command's record, of a saved report, or of a comparison.

// "fine", "look" or "unknown".
QString findingLevelName(Finding::Level level);
// The row's name as the battery's table spells it ("DebugNamePort53"); empty
// for no row.
QString batteryRowName(BatteryRow row);

QJsonObject findingJson(const Finding &finding);
QJsonArray findingsJson(const std::vector<Finding> &findings);
QJsonObject commandJson(const RunCommand &command, CommandRecord::Clock::time_point runStart);

QJsonObject runJson(const QString &version, const RunRecord &run,
                    const std::vector<Finding> &findings);
QJsonObject readingJson(const QString &version, const QString &file, const ReportReading &reading);
QJsonObject comparisonJson(const QString &version, const QString &beforeFile,
                           const ReportReading &before, const QString &afterFile,
                           const ReportReading &after, const std::vector<ReportChange> &changes);

// One document on one line, as JSON Lines has it.
QByteArray jsonLine(const QJsonObject &document);
