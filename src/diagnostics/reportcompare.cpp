#include "reportcompare.h"

#include <QHash>

#include <algorithm>

namespace {

using Kind = ReportChange::Kind;

const Finding *ofTopic(const std::vector<Finding> &findings, const QString &topic)
{
    const auto found = std::find_if(findings.begin(), findings.end(),
                                    [&topic](const Finding &f) { return f.topic == topic; });
    return found == findings.end() ? nullptr : &*found;
}

int levelRank(Finding::Level level)
{
    switch (level) {
    case Finding::Level::WorthALook:
        return 0;
    case Finding::Level::CouldNotTell:
        return 1;
    case Finding::Level::Fine:
        break;
    }
    return 3;
}

int rank(const ReportChange &change)
{
    switch (change.kind) {
    case Kind::Appeared:
    case Kind::Gone:
    case Kind::Changed:
        return std::min(change.before ? levelRank(change.before->level) : 3,
                        change.after ? levelRank(change.after->level) : 3);
    case Kind::TestDomain:
    case Kind::Account:
    case Kind::Ticket:
        return 2;
    case Kind::OnlyInOld:
    case Kind::OnlyInNew:
        break;
    }
    return 4;
}

void compareValue(Kind kind, const std::optional<QString> &before,
                  const std::optional<QString> &after, std::vector<ReportChange> &changes)
{
    if (before != after)
        changes.push_back({kind, std::nullopt, std::nullopt, before, after});
}

// Blocks of one report that the other lacks, counted by what they are.
void onlyIn(Kind kind, const ReportReading &report, const ReportReading &other,
            std::vector<ReportChange> &changes)
{
    QHash<QString, int> count;
    for (const ReportReading::Block &block : other.blockList)
        ++count[block.key];
    for (const ReportReading::Block &block : report.blockList) {
        if (count.value(block.key) > 0)
            --count[block.key];
        else
            changes.push_back({kind, std::nullopt, std::nullopt, std::nullopt, block.displayName});
    }
}

QString findingLine(const Finding &finding)
{
    return findingMarker(finding.level).leftJustified(4) + u' ' + finding.text;
}

// The text before and after, what they begin with said once: up to the last
// ": " of the part they share.
QString textChange(const QString &before, const QString &after)
{
    if (before == after)
        return after;
    qsizetype same = 0;
    while (same < before.size() && same < after.size() && before[same] == after[same])
        ++same;
    const qsizetype colon = same < 2 ? -1 : before.left(same).lastIndexOf(QStringLiteral(": "));
    const qsizetype lead = colon < 0 ? 0 : colon + 2;
    return before.left(lead) + before.mid(lead) + QStringLiteral(" \u2192 ") + after.mid(lead);
}

} // namespace

std::vector<ReportChange> reportChanges(const ReportReading &before, const ReportReading &after)
{
    std::vector<ReportChange> changes;
    for (const Finding &now : after.findings) {
        const Finding *then = ofTopic(before.findings, now.topic);
        if (!then)
            changes.push_back({Kind::Appeared, std::nullopt, now, std::nullopt, std::nullopt});
        else if (then->level != now.level || then->text != now.text)
            changes.push_back({Kind::Changed, *then, now, std::nullopt, std::nullopt});
    }
    for (const Finding &then : before.findings) {
        if (!ofTopic(after.findings, then.topic))
            changes.push_back({Kind::Gone, then, std::nullopt, std::nullopt, std::nullopt});
    }
    compareValue(Kind::TestDomain, before.testDomain, after.testDomain, changes);
    compareValue(Kind::Account, before.head.account, after.head.account, changes);
    compareValue(Kind::Ticket, before.head.ticket, after.head.ticket, changes);
    onlyIn(Kind::OnlyInOld, before, after, changes);
    onlyIn(Kind::OnlyInNew, after, before, changes);
    std::stable_sort(
        changes.begin(), changes.end(),
        [](const ReportChange &a, const ReportChange &b) { return rank(a) < rank(b); });
    return changes;
}

QString changeLine(const ReportChange &change)
{
    const auto value = [](const std::optional<QString> &text) {
        return text ? *text : QStringLiteral("(none)");
    };
    const auto valueChange = [&](const char *what) {
        return QLatin1String(what) + value(change.beforeText) + QStringLiteral(" \u2192 ") +
               value(change.afterText);
    };
    switch (change.kind) {
    case Kind::Appeared:
        return QStringLiteral("appeared  ") + findingLine(*change.after);
    case Kind::Gone:
        return QStringLiteral("gone      ") + findingLine(*change.before);
    case Kind::Changed: {
        const Finding &then = *change.before;
        const Finding &now = *change.after;
        const QString levels =
            then.level == now.level
                ? findingMarker(now.level).leftJustified(4)
                : findingMarker(then.level) + QStringLiteral(" \u2192 ") + findingMarker(now.level);
        return QStringLiteral("changed   ") + levels + u' ' + textChange(then.text, now.text);
    }
    case Kind::TestDomain:
        return valueChange("test domain: ");
    case Kind::Account:
        return valueChange("account: ");
    case Kind::Ticket:
        return valueChange("ticket: ");
    case Kind::OnlyInOld:
        return QStringLiteral("only in the older report: ") + value(change.afterText);
    case Kind::OnlyInNew:
        break;
    }
    return QStringLiteral("only in the newer report: ") + value(change.afterText);
}

QString noChangeLine()
{
    return QStringLiteral("no change: the same findings, test domain, account, ticket and blocks");
}
