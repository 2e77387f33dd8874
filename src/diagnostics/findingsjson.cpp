#include "findingsjson.h"

#include "utf8escape.h"

#include <QJsonDocument>
#include <QJsonValue>

#include <cmath>
#include <iterator>

namespace {

// In the order of the enumeration, whose values are the table's row numbers.
const char *const rowNames[] = {"",
#define VELTRANE_BATTERY_ROW(name) #name,
                                VELTRANE_BATTERY_ROWS(VELTRANE_BATTERY_ROW)
#undef VELTRANE_BATTERY_ROW
};

QJsonValue optionalText(const std::optional<QString> &text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

QJsonValue optionalNumber(const std::optional<int> &number)
{
    return number ? QJsonValue(*number) : QJsonValue(QJsonValue::Null);
}

// Seconds, to the millisecond.
QJsonValue seconds(CommandRecord::Clock::duration duration)
{
    const double value = std::chrono::duration<double>(duration).count();
    return std::round(value * 1000) / 1000;
}

QString endName(CommandRecord::End end)
{
    switch (end) {
    case CommandRecord::End::Running:
        return QStringLiteral("running");
    case CommandRecord::End::Exited:
        return QStringLiteral("exited");
    case CommandRecord::End::Signalled:
        return QStringLiteral("signal");
    case CommandRecord::End::StoppedAtDeadline:
        return QStringLiteral("deadline");
    case CommandRecord::End::CouldNotStart:
        return QStringLiteral("could not start");
    case CommandRecord::End::NotRun:
        break;
    }
    return QStringLiteral("not run");
}

// The account, ticket and test domain, each when there is one.
void addHead(QJsonObject &object, const std::optional<QString> &account,
             const std::optional<QString> &ticket, const std::optional<QString> &testDomain)
{
    if (account)
        object.insert("account", *account);
    if (ticket)
        object.insert("ticket", *ticket);
    if (testDomain)
        object.insert("testDomain", *testDomain);
}

QJsonObject reportSide(const QString &file, const ReportReading &reading)
{
    QJsonObject side{{"file", file}};
    addHead(side, reading.head.account, reading.head.ticket, reading.testDomain);
    side.insert("findings", findingsJson(reading.findings));
    side.insert("blocksNotFromBattery", reading.notFromBattery);
    return side;
}

QString changeName(ReportChange::Kind kind)
{
    using Kind = ReportChange::Kind;
    switch (kind) {
    case Kind::Appeared:
        return QStringLiteral("appeared");
    case Kind::Gone:
        return QStringLiteral("gone");
    case Kind::Changed:
        return QStringLiteral("changed");
    case Kind::TestDomain:
        return QStringLiteral("testDomain");
    case Kind::Account:
        return QStringLiteral("account");
    case Kind::Ticket:
        return QStringLiteral("ticket");
    case Kind::OnlyInOld:
        return QStringLiteral("onlyInOld");
    case Kind::OnlyInNew:
        break;
    }
    return QStringLiteral("onlyInNew");
}

QJsonObject changeJson(const ReportChange &change)
{
    using Kind = ReportChange::Kind;
    QJsonObject object{{"change", changeName(change.kind)}};
    switch (change.kind) {
    case Kind::Appeared:
    case Kind::Gone:
    case Kind::Changed:
        object.insert("before", change.before ? QJsonValue(findingJson(*change.before))
                                              : QJsonValue(QJsonValue::Null));
        object.insert("after", change.after ? QJsonValue(findingJson(*change.after))
                                            : QJsonValue(QJsonValue::Null));
        break;
    case Kind::TestDomain:
    case Kind::Account:
    case Kind::Ticket:
        object.insert("before", optionalText(change.beforeText));
        object.insert("after", optionalText(change.afterText));
        break;
    case Kind::OnlyInOld:
    case Kind::OnlyInNew:
        object.insert("block", optionalText(change.afterText));
        break;
    }
    return object;
}

} // namespace

QString findingLevelName(Finding::Level level)
{
    switch (level) {
    case Finding::Level::Fine:
        return QStringLiteral("fine");
    case Finding::Level::WorthALook:
        return QStringLiteral("look");
    case Finding::Level::CouldNotTell:
        break;
    }
    return QStringLiteral("unknown");
}

QString batteryRowName(BatteryRow row)
{
    const int index = int(row);
    return index >= 0 && index < int(std::size(rowNames)) ? QLatin1String(rowNames[index])
                                                          : QString();
}

QJsonObject findingJson(const Finding &finding)
{
    QJsonArray rows;
    for (const BatteryRow row : finding.rows)
        rows.append(row == BatteryRow::None ? QJsonValue(QJsonValue::Null)
                                            : QJsonValue(batteryRowName(row)));
    return {{"level", findingLevelName(finding.level)},
            {"topic", finding.topic},
            {"text", finding.text},
            {"rows", rows}};
}

QJsonArray findingsJson(const std::vector<Finding> &findings)
{
    QJsonArray array;
    for (const Finding &finding : findings)
        array.append(findingJson(finding));
    return array;
}

QJsonObject commandJson(const RunCommand &command, CommandRecord::Clock::time_point runStart)
{
    const CommandRecord &record = command.record;
    QJsonObject object{{"row", command.row == BatteryRow::None
                                   ? QJsonValue(QJsonValue::Null)
                                   : QJsonValue(batteryRowName(command.row))},
                       {"name", command.displayName},
                       {"start", record.startedAt ? seconds(*record.startedAt - runStart)
                                                  : QJsonValue(QJsonValue::Null)},
                       {"duration", record.startedAt && record.endedAt
                                        ? seconds(*record.endedAt - *record.startedAt)
                                        : QJsonValue(QJsonValue::Null)},
                       {"end", endName(record.end)},
                       {"exitStatus", optionalNumber(record.exitStatus)},
                       {"signal", optionalNumber(record.signal)},
                       {"reason", record.reason.isEmpty() ? QJsonValue(QJsonValue::Null)
                                                          : QJsonValue(record.reason)},
                       {"stdoutBytes", record.stdOutBytes},
                       {"stderrBytes", record.stdErrBytes},
                       {"stdoutEscapedBytes", record.stdOutEscapedBytes},
                       {"stderrEscapedBytes", record.stdErrEscapedBytes},
                       {"spilled", record.spilled}};
    // A log file's name may not be UTF-8: its bytes are shown as the report shows them.
    if (command.logFile)
        object.insert("logFile", QString::fromUtf8(escapeUtf8(fileNameToBytes(*command.logFile))));
    return object;
}

QJsonObject runJson(const QString &version, const RunRecord &run,
                    const std::vector<Finding> &findings)
{
    QJsonObject document{{"version", version}, {"source", "run"}};
    addHead(document, run.account, run.ticket, run.testDomain);
    document.insert("findings", findingsJson(findings));
    QJsonArray commands;
    for (const RunCommand &command : run.commands)
        commands.append(commandJson(command, run.startedAt));
    document.insert("commands", commands);
    return document;
}

QJsonObject readingJson(const QString &version, const QString &file, const ReportReading &reading)
{
    QJsonObject document = reportSide(file, reading);
    document.insert("version", version);
    document.insert("source", "file");
    return document;
}

QJsonObject comparisonJson(const QString &version, const QString &beforeFile,
                           const ReportReading &before, const QString &afterFile,
                           const ReportReading &after, const std::vector<ReportChange> &changes)
{
    QJsonArray list;
    for (const ReportChange &change : changes)
        list.append(changeJson(change));
    return {{"version", version},
            {"source", "comparison"},
            {"old", reportSide(beforeFile, before)},
            {"new", reportSide(afterFile, after)},
            {"changes", list}};
}

QByteArray jsonLine(const QJsonObject &document)
{
    return QJsonDocument(document).toJson(QJsonDocument::Compact) + '\n';
}
