#pragma once

#include "batteryrow.h"
#include "commandrecord.h"

#include <QString>

#include <optional>
#include <vector>

// One command of a run as the run knows it: its row (or the agent log file it
// prints), the name its block gives it, and its record.
struct RunCommand
{
    BatteryRow row = BatteryRow::None;
    std::optional<QString> logFile;
    QString displayName;
    CommandRecord record;
};

// A run: what its report's head says, its test domain, when its battery
// started, and every command in start order.
struct RunRecord
{
    std::optional<QString> account;
    std::optional<QString> ticket;
    std::optional<QString> testDomain;
    CommandRecord::Clock::time_point startedAt;
    std::vector<RunCommand> commands;
};
