#include "findings.h"

#include "findingsparsers.h"
#include "findingsparts.h"

#include <algorithm>

namespace {

using namespace findingparts;
using enum BatteryRow;

std::optional<Finding> resolverByPort(const std::vector<CommandOutput> &outputs,
                                      const FindingContext &context)
{
    std::vector<Part> parts;
    for (const auto &[row, port] : {std::pair{DebugNamePort53, "53"},
                                    {DebugNamePort443, "443"},
                                    {DebugNamePort5353, "5353"}}) {
        if (const CommandOutput *output = outputOf(outputs, row))
            parts.push_back(digPart(*output, QLatin1String(port), DigShows::Outcome));
    }
    if (parts.empty())
        return std::nullopt;
    Finding finding =
        joined(QStringLiteral("The service's resolver %1 by port: ").arg(context.resolverPrimary),
               parts, QStringLiteral(", "));
    const auto port = [&parts](BatteryRow row) {
        return std::find_if(parts.begin(), parts.end(),
                            [row](const Part &p) { return p.row == row; });
    };
    const auto standard = port(DebugNamePort53);
    const auto https = port(DebugNamePort443);
    if (standard != parts.end() && https != parts.end() && !standard->answered &&
        standard->level == Level::WorthALook && https->answered)
        finding.text +=
            QStringLiteral(": port 53 does not get through on this network while 443 does");
    return finding;
}

std::optional<Finding> systemVersusDirect(const std::vector<CommandOutput> &outputs,
                                          const FindingContext &context)
{
    const CommandOutput *system = outputOf(outputs, DebugNameViaSystem);
    const CommandOutput *direct = outputOf(outputs, DebugNamePort53);
    if (!system || !direct)
        return std::nullopt;
    const Part viaSystem = digPart(*system, {}, DigShows::Records);
    const Part viaService = digPart(*direct, {}, DigShows::Records);
    const QList<BatteryRow> rows = {DebugNameViaSystem, DebugNamePort53};
    if (viaSystem.level == Level::Fine && viaService.level == Level::Fine) {
        if (viaSystem.answers == viaService.answers)
            return Finding{Level::Fine,
                           QStringLiteral("%1 through the system's resolver: the same answer as "
                                          "directly at the service's resolver")
                               .arg(context.debugName),
                           rows};
    }
    const QString text = QStringLiteral("%1 through the system's resolver: %2; directly at the "
                                        "service's resolver: %3")
                             .arg(context.debugName, viaSystem.phrase, viaService.phrase);
    const Level level = viaSystem.level == Level::Fine && viaService.level == Level::Fine
                            ? Level::WorthALook
                            : overall({viaSystem, viaService});
    return Finding{level, text, rows};
}

QString resolverLabel(const QString &address, const FindingContext &context)
{
    if (address == context.resolverPrimary)
        return QStringLiteral("the service's primary");
    if (address == context.resolverSecondary)
        return QStringLiteral("the service's secondary");
    if (address == QLatin1String("127.0.0.1") && context.agentTestsRan)
        return QStringLiteral("the agent's local resolver");
    return QStringLiteral("not one of the service's");
}

std::optional<Finding> resolversInUse(const std::vector<CommandOutput> &outputs,
                                      const FindingContext &context)
{
    const CommandOutput *output = outputOf(outputs, ResolverSettings);
    if (!output)
        return std::nullopt;
    const ResolverReading reading = readResolvers(decoded(output->stdOut));
    // With resolvectl's list, resolv.conf names only the local stub in front of it.
    const QStringList &asked = reading.perLink.isEmpty() ? reading.configured : reading.perLink;
    if (output->couldNotStart || asked.isEmpty()) {
        const QString why =
            output->couldNotStart ? cannotTell(*output) : QStringLiteral("they name no resolver");
        return Finding{Level::CouldNotTell,
                       QStringLiteral("The system's resolver settings: ") + why,
                       {ResolverSettings}};
    }
    QStringList named;
    Level level = Level::WorthALook;
    for (const QString &address : asked) {
        const QString label = resolverLabel(address, context);
        if (!label.startsWith(QLatin1String("not ")))
            level = Level::Fine;
        named.append(QStringLiteral("%1 (%2)").arg(address, label));
    }
    QString text = QStringLiteral("The system asks ") + named.join(QStringLiteral(", "));
    if (!reading.perLink.isEmpty() && !reading.configured.isEmpty())
        text +=
            QStringLiteral("; resolv.conf names ") + reading.configured.join(QStringLiteral(", "));
    return Finding{level, text, {ResolverSettings}};
}

std::optional<Finding> testDomain(const std::vector<CommandOutput> &outputs,
                                  const FindingContext &context)
{
    if (!context.testDomain)
        return std::nullopt;
    std::vector<Part> parts;
    for (const auto &[row, name] : {std::pair{TestDomainViaSystem, "system"},
                                    {TestDomainAtPrimary, "service primary"},
                                    {TestDomainAtSecondary, "service secondary"},
                                    {TestDomainAtPublicResolver, "public resolver"}}) {
        if (const CommandOutput *output = outputOf(outputs, row))
            parts.push_back(digPart(*output, QLatin1String(name), DigShows::Records));
    }
    if (parts.empty())
        return std::nullopt;
    Finding finding = joined(QStringLiteral("Test domain %1: ").arg(*context.testDomain), parts,
                             QStringLiteral("; "));
    const bool allSame = std::all_of(parts.begin(), parts.end(), [&parts](const Part &part) {
        return part.answers == parts.front().answers;
    });
    if (finding.level == Level::Fine && !allSame)
        finding.level = Level::WorthALook;
    return finding;
}

std::optional<Finding> agentResolver(const std::vector<CommandOutput> &outputs,
                                     const FindingContext &context)
{
    const CommandOutput *output = outputOf(outputs, AgentDebugName);
    if (!context.agentTestsRan || !output)
        return std::nullopt;
    return joined(QStringLiteral("The agent's local resolver 127.0.0.1: "),
                  {digPart(*output, {}, DigShows::Outcome)}, {});
}

std::optional<Finding> webChecks(const std::vector<CommandOutput> &outputs)
{
    std::vector<Part> parts;
    for (const BatteryRow row : {MonitorPageAtAltHost, MonitorPage, AltHostHeaders,
                                 MonitorPageAtBlockPageHost, WebServer}) {
        if (const CommandOutput *output = outputOf(outputs, row))
            parts.push_back(webPart(*output, target(*output)));
    }
    if (parts.empty())
        return std::nullopt;
    Finding finding = joined(QStringLiteral("Web checks: "), parts, QStringLiteral("; "));
    if (finding.text.contains(QLatin1String(" printed nothing")))
        finding.text += QStringLiteral(" (curl -s prints no reason when a transfer fails)");
    return finding;
}

std::optional<Finding> pings(const std::vector<CommandOutput> &outputs,
                             const FindingContext &context)
{
    std::vector<Part> parts;
    std::vector<std::pair<double, QString>> averages;
    for (int row = int(firstPlacePing); row <= int(lastPlacePing); ++row) {
        const CommandOutput *output = outputOf(outputs, BatteryRow(row));
        if (!output)
            continue;
        parts.push_back(
            pingPart(*output, context.pingNames.value(BatteryRow(row), target(*output))));
        const PingReading reading = readPing(decoded(output->stdOut), decoded(output->stdErr));
        if (reading.averageMs && !output->couldNotStart)
            averages.emplace_back(*reading.averageMs, parts.back().label);
    }
    if (parts.empty())
        return std::nullopt;

    Finding finding{overall(parts), {}, {}};
    // The hosts that did not simply answer, by what they did.
    std::vector<Part> others;
    qsizetype answered = 0;
    for (const Part &part : parts) {
        finding.rows.append(part.row);
        answered += part.answered ? 1 : 0;
        if (part.level != Level::Fine)
            others.push_back(part);
    }
    finding.text = QStringLiteral("Pings: %1 of %2 answered").arg(answered).arg(parts.size());
    if (!others.empty())
        finding.text += QStringLiteral("; ") + byPhrase(others);
    std::sort(averages.begin(), averages.end());
    QStringList fastest;
    for (std::size_t i = 0; i < averages.size() && i < 3; ++i)
        fastest.append(
            QStringLiteral("%1 %2 ms").arg(averages[i].second).arg(averages[i].first, 0, 'f', 1));
    if (!fastest.isEmpty())
        finding.text +=
            QStringLiteral("; lowest average round trips: ") + fastest.join(QStringLiteral(", "));
    return finding;
}

std::optional<Finding> traces(const std::vector<CommandOutput> &outputs)
{
    std::vector<Part> parts;
    for (const BatteryRow row : {TraceTestDomain, TracePrimary, TraceSecondary, TraceApiHost,
                                 TraceMonitorHost, TraceBlockPageHost, TraceCategoryHitHost}) {
        if (const CommandOutput *output = outputOf(outputs, row))
            parts.push_back(tracePart(*output));
    }
    if (parts.empty())
        return std::nullopt;
    Finding finding{overall(parts), QStringLiteral("Traceroutes: ") + byPhrase(parts), {}};
    for (const Part &part : parts)
        finding.rows.append(part.row);
    return finding;
}

// Whether the agent let a check through, against what it is expected to do.
Part agentCheck(const CommandOutput &output, const QString &label, bool expectBlocked)
{
    Part part = output.row == PingBlockedAddress ? pingPart(output, label) : webPart(output, label);
    if (part.level == Level::CouldNotTell)
        return part;
    if (part.answered == expectBlocked) {
        part.level = Level::WorthALook;
        part.phrase += expectBlocked ? QStringLiteral(" (expected blocked)")
                                     : QStringLiteral(" (expected allowed)");
    } else if (expectBlocked) {
        part.level = Level::Fine;
    }
    return part;
}

std::optional<Finding> agentChecks(const std::vector<CommandOutput> &outputs,
                                   const FindingContext &context)
{
    if (!context.agentTestsRan)
        return std::nullopt;
    struct Check
    {
        BatteryRow row;
        const char *label;
        bool expectBlocked;
    };
    const Check checks[] = {{PingBlockedAddress, "blocked address ping", true},
                            {PageFromBlockedAddress, "blocked address page", true},
                            {GreyAllowedPage, "grey allowed page :80", false},
                            {GreyAllowedPage8081, "grey allowed page :8081", false},
                            {GreyBlockedPage, "grey blocked page :80", true},
                            {GreyBlockedPage8081, "grey blocked page :8081", true}};
    std::vector<Part> parts;
    for (const Check &check : checks) {
        if (const CommandOutput *output = outputOf(outputs, check.row))
            parts.push_back(agentCheck(*output, QLatin1String(check.label), check.expectBlocked));
    }
    if (parts.empty())
        return std::nullopt;
    return joined(QStringLiteral("The agent's checks: "), parts, QStringLiteral("; "));
}

std::optional<Finding> toolsNotStarted(const std::vector<CommandOutput> &outputs)
{
    Finding finding{Level::WorthALook, {}, {}};
    QStringList names;
    for (const CommandOutput &output : outputs) {
        const QString name =
            output.couldNotStart ? toolName(output) : missingTool(decoded(output.stdErr));
        if (name.isEmpty())
            continue;
        if (!names.contains(name))
            names.append(name);
        finding.rows.append(output.row);
    }
    if (names.isEmpty())
        return std::nullopt;
    finding.text = QStringLiteral("Could not start: ") + names.join(QStringLiteral(", "));
    return finding;
}

int rank(Level level)
{
    switch (level) {
    case Level::WorthALook:
        return 0;
    case Level::CouldNotTell:
        return 1;
    case Level::Fine:
        break;
    }
    return 2;
}

} // namespace

FindingContext findingContext(const BatteryInputs &inputs, const std::vector<Test> &tests)
{
    const Endpoints &e = inputs.endpoints;
    FindingContext context{e.ResolverPrimary, e.ResolverSecondary, e.DebugName,
                           inputs.testDomain, inputs.agentGate,    {}};
    for (const Test &test : tests) {
        if (test.place)
            context.pingNames.insert(test.row, *test.place);
    }
    return context;
}

std::vector<Finding> findings(const std::vector<CommandOutput> &outputs,
                              const FindingContext &context)
{
    const std::optional<Finding> all[] = {resolverByPort(outputs, context),
                                          systemVersusDirect(outputs, context),
                                          resolversInUse(outputs, context),
                                          testDomain(outputs, context),
                                          agentResolver(outputs, context),
                                          agentChecks(outputs, context),
                                          webChecks(outputs),
                                          pings(outputs, context),
                                          traces(outputs),
                                          toolsNotStarted(outputs)};
    std::vector<Finding> found;
    for (const auto &finding : all) {
        if (finding)
            found.push_back(*finding);
    }
    std::stable_sort(found.begin(), found.end(), [](const Finding &a, const Finding &b) {
        return rank(a.level) < rank(b.level);
    });
    return found;
}

QString findingMarker(Finding::Level level)
{
    switch (level) {
    case Level::Fine:
        return QStringLiteral("ok");
    case Level::WorthALook:
        return QStringLiteral("look");
    case Level::CouldNotTell:
        break;
    }
    return QStringLiteral("?");
}

QString findingsText(const std::vector<Finding> &findings)
{
    QString text;
    for (const Finding &finding : findings)
        text += findingMarker(finding.level).leftJustified(4) + u' ' + finding.text + u'\n';
    return text;
}
