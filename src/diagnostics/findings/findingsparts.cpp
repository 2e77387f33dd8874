#include "findingsparts.h"

#include "findingsparsers.h"

#include <algorithm>

namespace findingparts {

QString decoded(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes.left(findingsInputLimit));
}

const CommandOutput *outputOf(const std::vector<CommandOutput> &outputs, BatteryRow row)
{
    const auto found =
        std::find_if(outputs.begin(), outputs.end(),
                     [row](const CommandOutput &output) { return output.row == row; });
    return found == outputs.end() ? nullptr : &*found;
}

QString target(const CommandOutput &output)
{
    return output.displayName.section(u' ', -1);
}

QString toolName(const CommandOutput &output)
{
    const QString missing = missingTool(decoded(output.stdErr));
    return missing.isEmpty() ? output.displayName.section(u' ', 0, 0).section(u'/', -1) : missing;
}

QString stoppedLine(const CommandOutput &output)
{
    // The runner says so on the last line of standard error.
    const QString last = decoded(output.stdErr).section(u'\n', -1);
    return last.startsWith(QLatin1String("stopped after ")) ? last : QString();
}

QString cannotTell(const CommandOutput &output)
{
    if (output.couldNotStart)
        return QStringLiteral("could not tell (%1 could not start)").arg(toolName(output));
    const QString stopped = stoppedLine(output);
    return QStringLiteral("could not tell (%1)")
        .arg(stopped.isEmpty() ? QStringLiteral("unexpected output") : stopped);
}

Level overall(const std::vector<Part> &parts)
{
    const auto any = [&parts](Level level) {
        return std::any_of(parts.begin(), parts.end(),
                           [level](const Part &part) { return part.level == level; });
    };
    if (any(Level::WorthALook))
        return Level::WorthALook;
    return any(Level::CouldNotTell) ? Level::CouldNotTell : Level::Fine;
}

Finding joined(const QString &lead, const std::vector<Part> &parts, const QString &separator)
{
    Finding finding{overall(parts), lead, {}};
    QStringList phrases;
    for (const Part &part : parts) {
        phrases.append(part.label.isEmpty() ? part.phrase : part.label + u' ' + part.phrase);
        finding.rows.append(part.row);
    }
    finding.text += phrases.join(separator);
    return finding;
}

QString byPhrase(const std::vector<Part> &parts)
{
    QList<std::pair<QString, QStringList>> groups;
    for (const Part &part : parts) {
        auto group = std::find_if(groups.begin(), groups.end(),
                                  [&part](const auto &g) { return g.first == part.phrase; });
        if (group == groups.end())
            group = groups.insert(groups.end(), {part.phrase, {}});
        group->second.append(part.label);
    }
    QStringList texts;
    for (const auto &[phrase, labels] : groups) {
        // A few names, the rest counted: a finding stays one line.
        const QString names = labels.size() <= 4
                                  ? labels.join(QStringLiteral(", "))
                                  : labels.first(3).join(QStringLiteral(", ")) +
                                        QStringLiteral(" and %1 more").arg(labels.size() - 3);
        texts.append(phrase + QStringLiteral(": ") + names);
    }
    return texts.join(QStringLiteral("; "));
}

Part digPart(const CommandOutput &output, const QString &label, DigShows shows)
{
    Part part{output.row, label, cannotTell(output), Level::CouldNotTell, false, {}};
    if (output.couldNotStart)
        return part;
    const DigReading reading = readDig(decoded(output.stdOut) + u'\n' + decoded(output.stdErr));
    using Outcome = DigReading::Outcome;
    part.level = Level::WorthALook;
    part.answered = reading.outcome == Outcome::Answered;
    switch (reading.outcome) {
    case Outcome::Answered:
        if (reading.status != QLatin1String("NOERROR")) {
            part.phrase = QStringLiteral("answered ") + reading.status;
        } else if (reading.answers.isEmpty()) {
            part.phrase = QStringLiteral("answered without records");
        } else {
            part.level = Level::Fine;
            part.answers = reading.answers;
            part.answers.sort();
            part.phrase = shows == DigShows::Records ? reading.answers.join(QStringLiteral(", "))
                                                     : QStringLiteral("answered");
        }
        break;
    case Outcome::NoAnswerInTime:
        part.phrase = QStringLiteral("no answer in time");
        break;
    case Outcome::Refused:
        part.phrase = QStringLiteral("refused");
        break;
    case Outcome::Unreachable:
        part.phrase = QStringLiteral("unreachable");
        break;
    case Outcome::Failed:
        part.phrase = QStringLiteral("failed (%1)").arg(reading.problem);
        break;
    case Outcome::Unreadable:
        part.level = Level::CouldNotTell;
        break;
    }
    return part;
}

Part webPart(const CommandOutput &output, const QString &label)
{
    Part part{output.row, label, cannotTell(output), Level::CouldNotTell, false, {}};
    if (output.couldNotStart)
        return part;
    const WebReading reading = readCurl(decoded(output.stdOut), decoded(output.stdErr));
    part.level = Level::WorthALook;
    switch (reading.outcome) {
    case WebReading::Outcome::Answered:
        part.answered = true;
        if (!reading.status.startsWith(u'4') && !reading.status.startsWith(u'5'))
            part.level = Level::Fine;
        if (!reading.status.isEmpty())
            part.phrase = reading.status;
        else if (!reading.title.isEmpty())
            part.phrase = QStringLiteral("answered \u201c%1\u201d").arg(reading.title);
        else
            part.phrase = QStringLiteral("answered");
        break;
    case WebReading::Outcome::Failed:
        part.phrase = QStringLiteral("failed (%1)").arg(reading.problem);
        break;
    case WebReading::Outcome::PrintedNothing:
        part.phrase = stoppedLine(output);
        if (part.phrase.isEmpty())
            part.phrase = QStringLiteral("printed nothing");
        break;
    }
    return part;
}

Part pingPart(const CommandOutput &output, const QString &label)
{
    Part part{output.row, label, cannotTell(output), Level::CouldNotTell, false, {}};
    if (output.couldNotStart)
        return part;
    const PingReading reading = readPing(decoded(output.stdOut), decoded(output.stdErr));
    part.level = Level::WorthALook;
    switch (reading.outcome) {
    case PingReading::Outcome::Replied:
        part.answered = true;
        if (reading.received >= reading.transmitted) {
            part.level = Level::Fine;
            part.phrase = QStringLiteral("answered");
        } else {
            const int lost = 100 * (reading.transmitted - reading.received) / reading.transmitted;
            part.phrase = QStringLiteral("%1% lost").arg(lost);
        }
        break;
    case PingReading::Outcome::NoReply:
        part.phrase = QStringLiteral("no reply");
        break;
    case PingReading::Outcome::Failed:
        part.phrase = QStringLiteral("failed (%1)").arg(reading.problem);
        break;
    case PingReading::Outcome::Unreadable:
        part.level = Level::CouldNotTell;
        break;
    }
    return part;
}

Part tracePart(const CommandOutput &output)
{
    Part part{output.row, target(output), cannotTell(output), Level::CouldNotTell, false, {}};
    if (output.couldNotStart)
        return part;
    const TraceReading reading = readTraceroute(decoded(output.stdOut), decoded(output.stdErr));
    part.level = Level::WorthALook;
    switch (reading.outcome) {
    case TraceReading::Outcome::Reached:
        part.level = Level::Fine;
        part.phrase = QStringLiteral("reached in %1 %2")
                          .arg(reading.hops)
                          .arg(reading.hops == 1 ? QStringLiteral("hop") : QStringLiteral("hops"));
        break;
    case TraceReading::Outcome::NotReached:
        part.phrase =
            reading.hops > 0
                ? QStringLiteral("not reached (last answer from hop %1)").arg(reading.hops)
                : QStringLiteral("not reached (no hop answered)");
        break;
    case TraceReading::Outcome::Failed:
        part.phrase = QStringLiteral("failed (%1)").arg(reading.problem);
        break;
    case TraceReading::Outcome::Unreadable:
        part.level = Level::CouldNotTell;
        break;
    }
    return part;
}

} // namespace findingparts
