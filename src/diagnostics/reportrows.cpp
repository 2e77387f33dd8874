#include "reportrows.h"

#include <QSet>

#include <algorithm>

namespace {

// Stands for the test domain in the battery's names; no domain holds it.
const QString domainMark = QStringLiteral("\u0001domain\u0001");

// The blocks held until the test domain is known: the rows that name it all
// come right after the first, up to the public resolver's answer for it.
constexpr std::size_t heldBlocks = std::size_t(BatteryRow::TestDomainAtPublicResolver);

// A machine of each kind the battery tells apart: every tool and file there,
// or few of them, on Linux as root or not, and macOS.
LocalSystem profile(Platform platform, bool isRoot, const QSet<QString> &tools,
                    const QSet<QString> &paths)
{
    LocalSystem system;
    system.platform = platform;
    system.isRoot = isRoot;
    system.isExecutable = [tools](const QString &path) {
        return tools.contains(path.section(u'/', -1));
    };
    system.exists = [paths](const QString &path) { return paths.contains(path); };
    return system;
}

std::vector<LocalSystem> profiles()
{
    const QSet<QString> everyTool = {"dig", "nslookup", "traceroute", "ping",       "curl",
                                     "ps",  "ifconfig", "netstat",    "ip",         "sh",
                                     "ls",  "cat",      "resolvectl", "journalctl", "scutil"};
    const QSet<QString> systemd = {"/run/systemd/resolve", "/run/systemd/journal"};
    return {profile(Platform::MacOS, false, {}, {}),
            profile(Platform::Linux, true, everyTool, systemd),
            profile(Platform::Linux, false, {"ip"}, {}),
            profile(Platform::Linux, false, {}, {"/var/log/syslog"})};
}

const QString logFilePrefix = QStringLiteral("sh -c cat \"");

} // namespace

QString commandKey(const QString &displayName)
{
    const qsizetype blank = displayName.indexOf(u' ');
    const QString tool = blank < 0 ? displayName : displayName.left(blank);
    const qsizetype slash = tool.lastIndexOf(u'/');
    return slash < 0 ? displayName : displayName.mid(slash + 1);
}

BatteryNames::BatteryNames(const Endpoints &endpoints)
{
    BatteryInputs inputs;
    inputs.endpoints = endpoints;
    inputs.testDomain = domainMark;
    inputs.agentGate = true;
    for (const LocalSystem &system : profiles())
        add(batteryTests(inputs, system));
}

void BatteryNames::add(const std::vector<Test> &tests)
{
    for (const Test &test : tests) {
        if (test.place)
            pingPlaces.insert(test.row, *test.place);
        const QString key = commandKey(displayNameOf(test));
        const qsizetype mark = key.indexOf(domainMark);
        if (mark < 0) {
            QList<BatteryRow> &rows = exact[key];
            if (!rows.contains(test.row)) {
                rows.append(test.row);
                std::sort(rows.begin(), rows.end());
            }
            continue;
        }
        const Pattern pattern{key.left(mark), key.mid(mark + domainMark.size()), test.row};
        const bool known = std::any_of(withDomain.begin(), withDomain.end(), [&](const Pattern &p) {
            return p.row == pattern.row && p.prefix == pattern.prefix && p.suffix == pattern.suffix;
        });
        if (!known)
            withDomain.append(pattern);
    }
}

QList<BatteryNames::Candidate> BatteryNames::candidates(const QString &displayName) const
{
    const QString key = commandKey(displayName);
    QList<Candidate> found;
    for (const BatteryRow row : exact.value(key))
        found.append({row, std::nullopt});
    for (const Pattern &pattern : withDomain) {
        const qsizetype length = key.size() - pattern.prefix.size() - pattern.suffix.size();
        if (length <= 0 || !key.startsWith(pattern.prefix) || !key.endsWith(pattern.suffix))
            continue;
        // The test domain has no blank in it.
        const QString domain = key.mid(pattern.prefix.size(), length);
        if (!domain.contains(u' '))
            found.append({pattern.row, domain});
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Candidate &a, const Candidate &b) { return a.row < b.row; });
    return found;
}

bool BatteryNames::isLogFile(const QString &displayName) const
{
    const QString key = commandKey(displayName);
    return key.size() > logFilePrefix.size() && key.startsWith(logFilePrefix) && key.endsWith(u'"');
}

RowAssigner::RowAssigner(const BatteryNames &names, Handler handler)
    : names(names), handler(std::move(handler))
{
}

void RowAssigner::add(SavedBlock &&block)
{
    if (domainKnown) {
        assign(std::move(block));
        return;
    }
    held.push_back(std::move(block));
    if (held.size() == heldBlocks)
        decideTestDomain();
}

void RowAssigner::finish()
{
    if (!domainKnown)
        decideTestDomain();
}

void RowAssigner::decideTestDomain()
{
    domainKnown = true;
    using enum BatteryRow;
    for (const SavedBlock &block : held) {
        for (const BatteryNames::Candidate &candidate : names.candidates(block.displayName)) {
            const BatteryRow row = candidate.row;
            if (candidate.testDomain && row >= TestDomainAtPrimary &&
                row <= TestDomainAtPublicResolver && !domain)
                domain = candidate.testDomain;
        }
    }
    std::vector<SavedBlock> blocks = std::move(held);
    held.clear();
    for (SavedBlock &block : blocks)
        assign(std::move(block));
}

void RowAssigner::assign(SavedBlock &&block)
{
    using enum BatteryRow;
    BlockRow found;
    if (names.isLogFile(block.displayName)) {
        found.logFile = lastRow >= AgentDebugName && lastRow < SystemLog;
    } else {
        for (const BatteryNames::Candidate &candidate : names.candidates(block.displayName)) {
            if (candidate.row > lastRow &&
                (!candidate.testDomain || candidate.testDomain == domain)) {
                found.row = lastRow = candidate.row;
                break;
            }
        }
    }
    handler(std::move(block), found);
}
