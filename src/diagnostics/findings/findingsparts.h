#pragma once

#include "findings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// How the findings read one result block: a phrase and a level.
namespace findingparts {

using Level = Finding::Level;

// What one block shows, as a finding puts it.
struct Part
{
    BatteryRow row = BatteryRow::None;
    // What the block is about ("443", "london"); may be empty.
    QString label;
    QString phrase;
    Level level = Level::CouldNotTell;
    // The tool got a reply of any kind: a DNS answer, an echo reply, an HTTP
    // response.
    bool answered = false;
    // dig's answer records, sorted, when the reply was NOERROR with records.
    QStringList answers;
};

// The stream as text, no further than the findings read.
QString decoded(const QByteArray &bytes);
const CommandOutput *outputOf(const std::vector<CommandOutput> &outputs, BatteryRow row);
// The command's last argument: the host or address it was pointed at.
QString target(const CommandOutput &output);
// The tool a block found missing, or else the command's own tool.
QString toolName(const CommandOutput &output);
// The runner's line for a command it stopped at its deadline, or nothing.
QString stoppedLine(const CommandOutput &output);
// What a block that cannot be read says instead.
QString cannotTell(const CommandOutput &output);

// Worth a look if any part is, else could not tell if any part is, else fine.
Level overall(const std::vector<Part> &parts);
// The lead followed by every part's label and phrase.
Finding joined(const QString &lead, const std::vector<Part> &parts, const QString &separator);
// The parts grouped by phrase, in the order found, each phrase followed by a
// few of its labels: "failed (Unknown host): paris, london".
QString byPhrase(const std::vector<Part> &parts);

// A dig query: fine when it answered NOERROR with records.
enum class DigShows
{
    Outcome,
    Records
};
Part digPart(const CommandOutput &output, const QString &label, DigShows shows);
// A curl transfer: fine when it answered with no error status.
Part webPart(const CommandOutput &output, const QString &label);
// A ping run: fine when every request had its reply.
Part pingPart(const CommandOutput &output, const QString &label);
// A traceroute: fine when it reached its target.
Part tracePart(const CommandOutput &output);

} // namespace findingparts
