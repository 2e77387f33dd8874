#include "reportfindings.h"

namespace {

// What is kept of a block that has no row (an agent log file): the findings
// read only whether it names a tool that could not start, on its first lines.
constexpr qsizetype otherStreamLimit = 4 * 1024;
constexpr qsizetype otherNameLimit = 1024;
constexpr qsizetype otherOutputLimit = 2048;
// The blocks a comparison lists.
constexpr std::size_t blockListLimit = 10000;

} // namespace

ReportFindingsReader::ReportFindingsReader(const BatteryNames &names)
    : names(names),
      reader(findingsInputLimit, [this](SavedBlock &&block) { assigner.add(std::move(block)); }),
      assigner(names,
               [this](SavedBlock &&block, const BlockRow &row) { keep(std::move(block), row); })
{
    // What keep() uses of a block, as far as its name tells: a block that can
    // be no row, or only a log file, need not be kept whole until it ends.
    reader.setLimitChooser([&names](const QString &displayName) -> SavedReportReader::StreamLimits {
        if (names.isLogFile(displayName))
            return {0, otherStreamLimit};
        if (names.candidates(displayName).isEmpty())
            return {0, 0};
        return {findingsInputLimit, findingsInputLimit};
    });
}

void ReportFindingsReader::keep(SavedBlock &&block, const BlockRow &row)
{
    const bool known = row.row != BatteryRow::None || row.logFile;
    if (reading.blockList.size() < blockListLimit) {
        const QString key = row.row != BatteryRow::None
                                ? QStringLiteral("row %1").arg(int(row.row))
                                : commandKey(block.displayName).left(otherNameLimit);
        reading.blockList.push_back({key, block.displayName.left(otherNameLimit)});
    }
    if (!known) {
        ++reading.notFromBattery;
        return;
    }
    agentTestsRan = agentTestsRan || row.logFile || row.row >= BatteryRow::AgentTestDomain;
    if (row.logFile) {
        if (otherOutputs == otherOutputLimit)
            return;
        ++otherOutputs;
        block.displayName.truncate(otherNameLimit);
        block.stdOut.clear();
        block.stdErr.truncate(otherStreamLimit);
        block.stdErr.squeeze();
    }
    outputs.push_back({row.row, std::move(block.displayName), std::move(block.stdOut),
                       std::move(block.stdErr), block.couldNotStart});
}

ReportReading ReportFindingsReader::finish()
{
    reader.finish();
    assigner.finish();
    reading.head = reader.head();
    reading.blocks = reader.blockCount();
    reading.testDomain = assigner.testDomain();

    const Endpoints endpoints = builtInEndpoints();
    const FindingContext context{endpoints.ResolverPrimary,
                                 endpoints.ResolverSecondary,
                                 endpoints.DebugName,
                                 reading.testDomain,
                                 agentTestsRan,
                                 names.places()};
    reading.findings = findings(outputs, context);
    outputs.clear();
    return std::move(reading);
}

QString readingText(const ReportReading &reading)
{
    QString text = findingsText(reading.findings);
    if (reading.notFromBattery == 1)
        text += QStringLiteral("1 block is not from this battery\n");
    else if (reading.notFromBattery > 1)
        text += QStringLiteral("%1 blocks are not from this battery\n").arg(reading.notFromBattery);
    return text;
}
