#pragma once

#include "battery.h"
#include "savedreport.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

// Which row of the battery a block of a saved report is, known by the name the
// report gives its command, as the battery of this build names it on either
// platform: with or without a test domain, the agent's tests or not, whatever
// log files the agent had. A tool's folder does not count ("/usr/bin/dig" and
// "/bin/dig" are the same), since each system keeps its tools elsewhere.
class BatteryNames
{
public:
    explicit BatteryNames(const Endpoints &endpoints);

    struct Candidate
    {
        BatteryRow row = BatteryRow::None;
        // For a row that names the test domain: the one this name holds.
        std::optional<QString> testDomain;
    };
    // Every row a block of this name can be, in table order.
    QList<Candidate> candidates(const QString &displayName) const;
    // The name is that of an agent log file's block.
    bool isLogFile(const QString &displayName) const;
    // The place each ping row reaches, as the findings name it.
    const QMap<BatteryRow, QString> &places() const { return pingPlaces; }

private:
    struct Pattern
    {
        QString prefix;
        QString suffix;
        BatteryRow row;
    };
    void add(const std::vector<Test> &tests);

    QHash<QString, QList<BatteryRow>> exact;
    QList<Pattern> withDomain;
    QMap<BatteryRow, QString> pingPlaces;
};

// The name without its tool's folder: the key a block is known by.
QString commandKey(const QString &displayName);

// What a block was found to be.
struct BlockRow
{
    BatteryRow row = BatteryRow::None;
    bool logFile = false;
};

// Gives each block of a report its row, as they arrive in report order. A
// report's blocks stand in table order, so a block is the first row after the
// previous block's that its name allows; agent log files stand between the
// agent's rows. Whether the run had a test domain, and which, is told by the
// first blocks (the rows that ask the service's resolvers for it can be no
// other), so the first few blocks are held until that is known.
class RowAssigner
{
public:
    using Handler = std::function<void(SavedBlock &&block, const BlockRow &row)>;

    RowAssigner(const BatteryNames &names, Handler handler);

    void add(SavedBlock &&block);
    void finish();
    // The test domain the report's rows name; known once finish() is called.
    const std::optional<QString> &testDomain() const { return domain; }

private:
    void decideTestDomain();
    void assign(SavedBlock &&block);

    const BatteryNames &names;
    Handler handler;
    std::vector<SavedBlock> held;
    bool domainKnown = false;
    std::optional<QString> domain;
    BatteryRow lastRow = BatteryRow::None;
};
