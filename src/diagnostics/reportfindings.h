#pragma once

#include "findings.h"
#include "reportrows.h"
#include "savedreport.h"

#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

// What a saved report shows: the findings its run printed, read from its
// blocks, and what a comparison of two reports looks at.
struct ReportReading
{
    SavedHead head;
    std::optional<QString> testDomain;
    std::vector<Finding> findings;
    qint64 blocks = 0;
    // Blocks whose name is no row of this battery, or a row out of its place.
    qint64 notFromBattery = 0;

    // Each block by what it is, in report order: its row, or its command.
    struct Block
    {
        QString key;
        QString displayName;
    };
    std::vector<Block> blockList;
};

// Reads a report as it arrives, in memory bounded whatever its size: the
// blocks the findings read keep what the findings read of them, the others
// only what could name a missing tool.
class ReportFindingsReader
{
public:
    explicit ReportFindingsReader(const BatteryNames &names);

    void feed(QByteArrayView bytes) { reader.feed(bytes); }
    ReportReading finish();
    qint64 bytesRead() const { return reader.bytesRead(); }

private:
    void keep(SavedBlock &&block, const BlockRow &row);

    const BatteryNames &names;
    SavedReportReader reader;
    RowAssigner assigner;
    std::vector<CommandOutput> outputs;
    qsizetype otherOutputs = 0;
    bool agentTestsRan = false;
    ReportReading reading;
};

// The lines --read prints for one report: its findings as a run prints them,
// then how many blocks are not from this battery, when any.
QString readingText(const ReportReading &reading);
