#pragma once

#include "battery.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>
#include <vector>

// What one finished command of the battery printed: the same bytes its result
// block carries.
struct CommandOutput
{
    BatteryRow row = BatteryRow::None;
    QString displayName;
    // Either stream may be cut after findingsInputLimit bytes: no finding
    // reads further.
    QByteArray stdOut;
    QByteArray stdErr;
    bool couldNotStart = false;
};

inline constexpr qsizetype findingsInputLimit = 256 * 1024;

// One observation read from one or more result blocks.
struct Finding
{
    enum class Level
    {
        Fine,
        WorthALook,
        CouldNotTell
    };
    Level level = Level::CouldNotTell;
    QString text;
    // The rows of the blocks it was read from.
    QList<BatteryRow> rows;
};

// What the findings compare the outputs with.
struct FindingContext
{
    QString resolverPrimary;
    QString resolverSecondary;
    QString debugName;
    std::optional<QString> testDomain;
    bool agentTestsRan = false;
    // The name each ping row goes by: "london", or the web site's host name.
    QMap<BatteryRow, QString> pingNames;
};

// The context of a run from its inputs and the tests it started.
FindingContext findingContext(const BatteryInputs &inputs, const std::vector<Test> &tests);

// Every finding the outputs allow, the ones worth a look first, then the
// ones that could not be told, then the fine ones.
std::vector<Finding> findings(const std::vector<CommandOutput> &outputs,
                              const FindingContext &context);

// "ok", "look" or "?".
QString findingMarker(Finding::Level level);

// One line per finding, its marker first: what a terminal shows.
QString findingsText(const std::vector<Finding> &findings);
