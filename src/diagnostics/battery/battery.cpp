#include "battery.h"

#include "batterytools.h"
#include "commandline.h"
#include "endpoints.h"
#include "toolpath.h"
#include "utf8escape.h"

#include <QFileInfo>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString systemLogPattern = QStringLiteral("\"kernel|launchd|vpn|dns|configd|racoon|tirrel\"");

} // namespace

std::optional<QString> findTool(const QString &writtenPath, const LocalSystem &system)
{
    if (system.isExecutable(writtenPath))
        return writtenPath;
    const QString name = writtenPath.section(u'/', -1);
    for (const QString &directory : toolDirectories()) {
        const QString candidate = directory + u'/' + name;
        if (system.isExecutable(candidate))
            return candidate;
    }
    return std::nullopt;
}

namespace {

bool onMac(const LocalSystem &system)
{
    return system.platform == Platform::MacOS;
}

Test tool(const LocalSystem &system, const QString &writtenPath, const QStringList &args,
          const std::optional<QString> &comment = std::nullopt)
{
    return {launchPathOn(writtenPath, system), args, comment};
}

Test shell(const LocalSystem &system, const QString &command,
           const std::optional<QString> &comment = std::nullopt)
{
    return tool(system, tools::sh, {"-c", command}, comment);
}

// A path inside single quotes for the shell; a quote in it ends the quoting,
// is escaped and reopens it.
QString singleQuoted(const QString &path)
{
    return u'\'' + QString(path).replace(u'\'', QStringLiteral("'\\''")) + u'\'';
}

// Linux systems without net-tools have only ip for the interfaces and routes.
Test toolOrIp(const LocalSystem &system, const Test &written, const QStringList &ipArgs)
{
    if (onMac(system))
        return written;
    if (const auto found = findTool(written.launchPath, system))
        return {*found, written.args, written.comment};
    if (const auto ip = findTool(tools::ip, system))
        return {*ip, ipArgs, written.comment};
    return written;
}

Test resolverConfigurationTest(const LocalSystem &system)
{
    if (onMac(system))
        return tool(system, tools::scutil, {"--dns"});
    QString command = QStringLiteral("cat /etc/resolv.conf");
    // systemd-resolved keeps the servers of each link to itself; resolv.conf
    // then names only its local stub.
    if (system.exists("/run/systemd/resolve") && findTool(tools::resolvectl, system))
        command += QStringLiteral("; resolvectl dns");
    return shell(system, command);
}

Test softwareOverviewTest(const LocalSystem &system)
{
    if (onMac(system))
        return tool(system, tools::systemProfiler, {"SPSoftwareDataType"});
    return shell(system, QStringLiteral("echo \"System Version: $(sed -n 's/^PRETTY_NAME=//p' "
                                        "/etc/os-release | tr -d '\"')\"; "
                                        "echo \"Kernel Version: $(uname -sr)\"; "
                                        "echo \"Computer Name: $(uname -n)\"; "
                                        "echo \"User Name: $(id -un)\"; "
                                        "echo \"Time since boot: $(uptime -p)\""));
}

// The agent-related lines among the newest of the system log. The words
// "tail -n" stay in every variant: the trimming of an oversized report finds
// this block by them.
QString systemLogCommand(std::int32_t tailSize, const LocalSystem &system)
{
    if (onMac(system))
        return QStringLiteral("tail -n %1 /var/log/system.log | egrep -i ").arg(tailSize) +
               systemLogPattern;
    const bool hasJournal =
        findTool(tools::journalctl, system) &&
        (system.exists("/run/systemd/journal") || system.exists("/var/log/journal"));
    // One journal entry may span several lines; tail keeps the count exact.
    if (hasJournal)
        return QStringLiteral("journalctl -q --no-pager -n %1 | tail -n %1 | grep -E -i ")
                   .arg(tailSize) +
               systemLogPattern;
    const QString file = system.exists("/var/log/syslog") ? QStringLiteral("/var/log/syslog")
                                                          : QStringLiteral("/var/log/messages");
    return QStringLiteral("tail -n %1 %2 | grep -E -i ").arg(tailSize).arg(file) + systemLogPattern;
}

// Where path really leads when that is outside both of the agent's folders.
std::optional<QString> outsideAgentFolders(const QString &path, const LocalSystem &system,
                                           const AgentPaths &agent)
{
    if (!system.resolvedPath)
        return std::nullopt;
    const std::optional<QString> target = system.resolvedPath(path);
    if (!target)
        return std::nullopt;
    for (const QString &folder : {agent.installDirectory, agent.dataDirectory}) {
        const std::optional<QString> inside = system.resolvedPath(folder);
        if (inside && (*target == *inside || target->startsWith(*inside + u'/')))
            return std::nullopt;
    }
    return target;
}

} // namespace

Endpoints builtInEndpoints()
{
    Endpoints e;
#define VELTRANE_BUILT_IN(name) e.name = QLatin1String(endpoints::name);
    VELTRANE_BATTERY_ENDPOINT_ROLES(VELTRANE_BUILT_IN)
#undef VELTRANE_BUILT_IN
    return e;
}

LocalSystem thisSystem()
{
    LocalSystem system;
    system.isRoot = ::geteuid() == 0;
    system.isExecutable = [](const QString &path) {
        const QFileInfo info(path);
        return info.isFile() && info.isExecutable();
    };
    system.exists = [](const QString &path) { return QFileInfo::exists(path); };
    system.specialFileKind = [](const QString &path) -> std::optional<QString> {
        struct stat info = {};
        if (::stat(fileNameToBytes(path).constData(), &info) != 0)
            return std::nullopt;
        if (S_ISFIFO(info.st_mode))
            return QStringLiteral("a FIFO");
        if (S_ISSOCK(info.st_mode))
            return QStringLiteral("a socket");
        if (S_ISCHR(info.st_mode))
            return QStringLiteral("a character device");
        if (S_ISBLK(info.st_mode))
            return QStringLiteral("a block device");
        return std::nullopt;
    };
    system.resolvedPath = [](const QString &path) -> std::optional<QString> {
        char resolved[PATH_MAX];
        if (!::realpath(fileNameToBytes(path).constData(), resolved))
            return std::nullopt;
        return fileNameFromBytes(resolved);
    };
    return system;
}

QString beaconLogDirectory(const AgentPaths &agent)
{
    return agent.installDirectory + QStringLiteral("/beacon-logs/");
}

QStringList beaconLogSubfolders()
{
    return {"ipblock/", "probe/", "service/"};
}

std::vector<Test> batteryTests(const BatteryInputs &inputs, const LocalSystem &system)
{
    std::vector<Test> tests = commonTests(inputs, system);
    if (inputs.agentGate) {
        std::vector<Test> agent = agentTests(inputs, system);
        tests.insert(tests.end(), agent.begin(), agent.end());
    }
    return tests;
}

std::vector<Test> commonTests(const BatteryInputs &inputs, const LocalSystem &system)
{
    using enum BatteryRow;
    const Endpoints &e = inputs.endpoints;
    const QStringList chaos = {"-timeout=10", "-class=chaos", "-type=txt", "hostname.bind."};
    std::vector<Test> t;
    const auto add = [&t](BatteryRow row, Test test) {
        test.row = row;
        t.push_back(std::move(test));
    };
    const auto dig = [&system](const QStringList &args) { return tool(system, tools::dig, args); };
    const auto curl = [&system](const QStringList &args) {
        return tool(system, tools::curl, args);
    };
    const auto ping = [&](const QString &host, const QString &place, const QString &comment) {
        Test test = pingTest(host, comment, system);
        test.place = place;
        return test;
    };
    const auto router = [&](const QString &host, const QString &city) {
        return ping(host, city, "(" + city + " router)");
    };

    add(MyIp, dig({"+time=10", e.MyIpName}));
    if (const auto &domain = inputs.testDomain) {
        add(TraceTestDomain, tracerouteTest(*domain, system));
        add(TestDomainViaSystem, dig({"+time=10", *domain}));
        add(TestDomainAtPrimary, dig({"+time=10", *domain, "@" + e.ResolverPrimary}));
        add(TestDomainAtSecondary, dig({"+time=10", *domain, "@" + e.ResolverSecondary}));
        add(TestDomainAtPublicResolver, dig({"+time=10", *domain, "@" + e.PublicResolver}));
    }
    add(TracePrimary, tracerouteTest(e.ResolverPrimary, system));
    add(TraceSecondary, tracerouteTest(e.ResolverSecondary, system));
    add(TraceApiHost, tracerouteTest(e.ApiHost, system));
    add(TraceMonitorHost, tracerouteTest(e.MonitorHost, system));
    add(TraceBlockPageHost, tracerouteTest(e.BlockPageHost, system));
    add(TraceCategoryHitHost, tracerouteTest(e.CategoryHitHost, system));
    add(DebugNamePort53, dig({"@" + e.ResolverPrimary, "+time=10", e.DebugName, "txt"}));
    add(DebugNamePort443,
        dig({"@" + e.ResolverPrimary, "-p", "443", "+time=10", e.DebugName, "txt"}));
    add(DebugNamePort5353,
        dig({"@" + e.ResolverPrimary, "-p", "5353", "+time=10", e.DebugName, "txt"}));
    add(DebugNameViaSystem, dig({"+time=10", e.DebugName, "txt"}));
    add(CdnEcho, dig({"+time=10", e.CdnEchoName}));
    add(DnsProviderEcho, dig({"+time=10", e.DnsProviderEchoName}));
    add(MyIpAtPrimary, dig({"@" + e.ResolverPrimary, "+time=10", e.MyIpName}));
    add(CdnEchoAtItsServer, dig({"@" + e.CdnEchoServer, "+time=10", e.CdnEchoName}));
    add(DnsProviderEchoAtItsServer,
        dig({"@" + e.DnsProviderEchoServer, "+time=10", e.DnsProviderEchoName}));
    add(ChaosPublicResolver, tool(system, tools::nslookup, chaos + QStringList{e.PublicResolver}));
    add(ChaosRootServer, tool(system, tools::nslookup, chaos + QStringList{e.RootServer}));
    add(ChaosPublicNameServer,
        tool(system, tools::nslookup, chaos + QStringList{e.PublicNameServer}));
    add(PingServiceWebHost, ping(e.ServiceWebHost, e.ServiceWebHost, "(" + e.ServiceWebHost + ")"));
    add(PingPaloAlto, router(e.PaloAltoRouter, "palo alto"));
    add(PingSeattle, router(e.SeattleRouter, "seattle"));
    add(PingLosAngeles, router(e.LosAngelesRouter, "los angeles"));
    add(PingChicago, router(e.ChicagoRouter, "chicago"));
    add(PingNewYork, router(e.NewYorkRouter, "new york"));
    add(PingAshburn, router(e.AshburnRouter, "ashburn"));
    add(PingLondon, router(e.LondonRouter, "london"));
    add(PingMiami, router(e.MiamiRouter, "miami"));
    add(PingSingapore, router(e.SingaporeRouter, "singapore"));
    add(PingFrankfurt, router(e.FrankfurtRouter, "frankfurt"));
    add(PingHongKong, router(e.HongKongRouter, "hong kong"));
    add(PingAmsterdam, router(e.AmsterdamRouter, "amsterdam"));
    add(PingBerlin, router(e.BerlinRouter, "berlin"));
    add(PingParis, router(e.ParisRouter, "paris"));
    add(PingCopenhagen, router(e.CopenhagenRouter, "copenhagen"));
    add(PingDallas, router(e.DallasRouter, "dallas"));
    add(PingBucharest, router(e.BucharestRouter, "bucharest"));
    add(PingPrague, router(e.PragueRouter, "prague"));
    // Ashburn's router again, under the name of the city it serves.
    add(PingWashington, router(e.AshburnRouter, "washington dc"));
    add(PingWarsaw, router(e.WarsawRouter, "warsaw"));
    add(PingSydney, router(e.SydneyRouter, "sydney"));
    Test processList = tool(system, tools::ps, {"wwaux"});
    processList.masksSecrets = true;
    add(ProcessList, processList);
    add(Interfaces, toolOrIp(system, {tools::ifconfig, {"-a"}, {}}, {"address", "show"}));
    add(ResolverSettings, resolverConfigurationTest(system));
    add(Routes, toolOrIp(system, {tools::netstat, {"-rn"}, {}}, {"route", "show"}));
    // No scheme: plain HTTP on port 80.
    add(MonitorPageAtAltHost, curl({"-Ls", e.BlockPageAltHost + "/monitor.php"}));
    add(MonitorPage, curl({"-Ls", "-c", "/dev/null", e.MonitorHost + "/monitor/"}));
    add(AltHostHeaders, curl({"-LIs", "-c", "/dev/null", e.BlockPageAltHost + "/"}));
    add(MonitorPageAtBlockPageHost, curl({"-s", e.BlockPageHost + "/monitor.php"}));
    add(WebServer, curl({"-s", e.WebServerAddress}));
    add(SoftwareOverview, softwareOverviewTest(system));
    return t;
}

std::vector<Test> agentTests(const BatteryInputs &inputs, const LocalSystem &system)
{
    using enum BatteryRow;
    const Endpoints &e = inputs.endpoints;
    const AgentPaths &agent = inputs.agentPaths;
    const QString ping = onMac(system) ? "ping -c 1 -t 1 " : "ping -c 1 -W 1 ";
    const QString route = onMac(system) ? "route -n get " : "ip route get ";
    const QString curl = "curl -v -m 2 ";
    std::vector<Test> t;
    const auto add = [&t](BatteryRow row, Test test) {
        test.row = row;
        t.push_back(std::move(test));
    };

    // The agent's own resolver, without a time limit of our own.
    if (const auto &domain = inputs.testDomain)
        add(AgentTestDomain, tool(system, tools::dig, {*domain, "@127.0.0.1"}));
    add(AgentDebugName, tool(system, tools::dig, {"@127.0.0.1", e.DebugName + ".", "txt"}));
    add(AgentDataFolder, tool(system, tools::ls, {agent.dataDirectory}));
    add(AgentOriginalResolvers,
        tool(system, tools::cat, {agent.dataDirectory + "/resolv_orig.conf"}));
    add(AgentInstallFolder,
        shell(system, QString(tools::ls) + u' ' + singleQuoted(agent.installDirectory)));
    add(AgentLocalDomains,
        shell(system,
              QString(tools::cat) + u' ' + singleQuoted(agent.installDirectory + "/localdomains")));
    // The log files have no row of their own.
    for (const QString &path : inputs.agentLogFiles)
        t.push_back(logTest(path, system, agent));
    add(SystemLog, shell(system, systemLogCommand(inputs.tailSize, system)));
    add(PingBlockedAddress, shell(system, ping + e.BlockedTestAddress, "(Blocked IP)"));
    add(RouteToBlockedAddress, shell(system, route + e.BlockedTestAddress, "(Blocked IP)"));
    add(PageFromBlockedAddress,
        shell(system, curl + e.BlockedTestAddress + "/some/page", "(Page from Blocked IP)"));
    add(RouteToGreyAddress, shell(system, route + e.GreyTestAddress, "(" + e.GreyTestName + ")"));
    add(GreyAllowedPage,
        shell(system, curl + e.GreyTestAddress + "/favicon.ico", "(Allowed page from grey IP)"));
    add(GreyAllowedPage8081, shell(system, curl + e.GreyTestAddress + ":8081/favicon.ico",
                                   "(Allowed page from grey IP)"));
    add(GreyBlockedPage,
        shell(system, curl + e.GreyTestAddress + "/malware.htm", "(Blocked page from grey IP)"));
    add(GreyBlockedPage8081, shell(system, curl + e.GreyTestAddress + ":8081/malware.htm",
                                   "(Blocked page from grey IP)"));
    return t;
}

Test pingTest(const QString &host, const QString &comment, const LocalSystem &system)
{
    return tool(system, tools::ping, {"-c", "5", host}, comment);
}

Test tracerouteTest(const QString &host, const LocalSystem &system)
{
    // Linux allows ICMP probes to root only; others get the UDP default.
    QStringList args = {"-w 2", host};
    if (onMac(system) || system.isRoot)
        args.prepend("-I");
    return tool(system, tools::traceroute, args);
}

Test logTest(const QString &path, const LocalSystem &system, const AgentPaths &agent)
{
    Test test = shell(system, logCommand(path));
    test.logFile = path;
    const QString shown = logCommand(path, CommandForm::Shown);
    if (shown != test.args.at(1))
        test.displayName = commandDisplayName(test.launchPath, {"-c", shown}, std::nullopt);
    if (const auto target = outsideAgentFolders(path, system, agent))
        test.notRunBecause =
            QStringLiteral("not read: a link to %1, outside the agent's folders").arg(*target);
    else if (const auto kind = system.specialFileKind ? system.specialFileKind(path) : std::nullopt)
        test.notRunBecause = QStringLiteral("not read: this is %1, not a file").arg(*kind);
    return test;
}

QString displayNameOf(const Test &test)
{
    return test.displayName.value_or(commandDisplayName(test.launchPath, test.args, test.comment));
}

QString launchPathOn(const QString &writtenPath, const LocalSystem &system)
{
    if (onMac(system))
        return writtenPath;
    return findTool(writtenPath, system).value_or(writtenPath);
}

QString logCommand(const QString &path, CommandForm form)
{
    QString command = QStringLiteral("cat \"");
    command.reserve(path.size() + 6);
    QString octal;
    const auto flushOctal = [&] {
        if (!octal.isEmpty())
            command += QStringLiteral("$(printf '") + octal + QStringLiteral("')");
        octal.clear();
    };
    for (qsizetype i = 0; i < path.size(); ++i) {
        const QChar c = path[i];
        if (const int byte = fileNameByteAt(path, i); byte >= 0) {
            if (form == CommandForm::Shown)
                command += QStringLiteral("\\x") + QString::number(byte, 16).toUpper();
            else
                octal += u'\\' + QString::number(byte, 8);
            continue;
        }
        flushOctal();
        // The characters that keep a meaning inside double quotes.
        if (c == u'"' || c == u'\\' || c == u'$' || c == u'`')
            command += u'\\';
        command += c;
    }
    flushOctal();
    return command + u'"';
}

QStringList sortedLogPaths(const QString &subfolderPath, const QStringList &entryNames)
{
    QStringList paths;
    paths.reserve(entryNames.size());
    for (const QString &name : entryNames)
        paths.append(subfolderPath + name);
    std::sort(paths.begin(), paths.end());
    return paths;
}

QStringList logFolderPaths(const QString &subfolderPath)
{
    // QDir would decode the names, replacing any byte that is not UTF-8.
    const std::unique_ptr<DIR, int (*)(DIR *)> folder(
        ::opendir(fileNameToBytes(subfolderPath).constData()), &::closedir);
    if (!folder)
        return {};
    QStringList names;
    while (const dirent *entry = ::readdir(folder.get())) {
        const QByteArrayView name(entry->d_name);
        if (name != "." && name != "..")
            names.append(fileNameFromBytes(name));
    }
    return sortedLogPaths(subfolderPath, names);
}
