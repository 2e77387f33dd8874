#pragma once

#include "battery.h"

#include <QString>

#include <vector>

// A tool the battery starts, at the path the battery writes, and the Debian and
// Ubuntu package that provides it.
struct BatteryTool
{
    QString writtenPath;
    QString package;

    // The name a user knows it by: "dig".
    QString name() const;
};

// The tools of the battery that do not come with every installation, in the
// order the battery first starts them. The shell, cat and ls always come.
std::vector<BatteryTool> batteryTools();

// The tools of the battery found nowhere on this system, by the same lookup the
// battery starts them with; empty on macOS, where they come with the system.
std::vector<BatteryTool> missingTools(const LocalSystem &system);

// "dig not found: install bind9-dnsutils for a complete report"
QString missingToolNotice(const BatteryTool &tool);
