#include "battery.h"

#include "endpoints.h"
#include "resultblock.h"
#include "toolpath.h"
#include "utf8escape.h"

#include <QFileInfo>

#include <algorithm>
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
    return tool(system, "/bin/sh", {"-c", command}, comment);
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
    if (const auto ip = findTool("/sbin/ip", system))
        return {*ip, ipArgs, written.comment};
    return written;
}

Test resolverConfigurationTest(const LocalSystem &system)
{
    if (onMac(system))
        return tool(system, "/usr/sbin/scutil", {"--dns"});
    QString command = QStringLiteral("cat /etc/resolv.conf");
    // systemd-resolved keeps the servers of each link to itself; resolv.conf
    // then names only its local stub.
    if (system.exists("/run/systemd/resolve") && findTool("/usr/bin/resolvectl", system))
        command += QStringLiteral("; resolvectl dns");
    return shell(system, command);
}

Test softwareOverviewTest(const LocalSystem &system)
{
    if (onMac(system))
        return tool(system, "/usr/sbin/system_profiler", {"SPSoftwareDataType"});
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
        findTool("/usr/bin/journalctl", system) &&
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

} // namespace

Endpoints builtInEndpoints()
{
    using namespace endpoints;
    Endpoints e;
    e.MyIpName = MyIpName;
    e.ResolverPrimary = ResolverPrimary;
    e.ResolverSecondary = ResolverSecondary;
    e.PublicResolver = PublicResolver;
    e.ApiHost = ApiHost;
    e.MonitorHost = MonitorHost;
    e.BlockPageHost = BlockPageHost;
    e.CategoryHitHost = CategoryHitHost;
    e.DebugName = DebugName;
    e.CdnEchoName = CdnEchoName;
    e.CdnEchoServer = CdnEchoServer;
    e.DnsProviderEchoName = DnsProviderEchoName;
    e.DnsProviderEchoServer = DnsProviderEchoServer;
    e.RootServer = RootServer;
    e.PublicNameServer = PublicNameServer;
    e.ServiceWebHost = ServiceWebHost;
    e.PaloAltoRouter = PaloAltoRouter;
    e.SeattleRouter = SeattleRouter;
    e.LosAngelesRouter = LosAngelesRouter;
    e.ChicagoRouter = ChicagoRouter;
    e.NewYorkRouter = NewYorkRouter;
    e.AshburnRouter = AshburnRouter;
    e.LondonRouter = LondonRouter;
    e.MiamiRouter = MiamiRouter;
    e.SingaporeRouter = SingaporeRouter;
    e.FrankfurtRouter = FrankfurtRouter;
    e.HongKongRouter = HongKongRouter;
    e.AmsterdamRouter = AmsterdamRouter;
    e.BerlinRouter = BerlinRouter;
    e.ParisRouter = ParisRouter;
    e.CopenhagenRouter = CopenhagenRouter;
    e.DallasRouter = DallasRouter;
    e.BucharestRouter = BucharestRouter;
    e.PragueRouter = PragueRouter;
    e.WarsawRouter = WarsawRouter;
    e.SydneyRouter = SydneyRouter;
    e.BlockPageAltHost = BlockPageAltHost;
    e.WebServerAddress = WebServerAddress;
    e.BlockedTestAddress = BlockedTestAddress;
    e.GreyTestAddress = GreyTestAddress;
    e.GreyTestName = GreyTestName;
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
    const Endpoints &e = inputs.endpoints;
    const QString dig = "/usr/bin/dig";
    const QString nslookup = "/usr/bin/nslookup";
    const QString curl = "/usr/bin/curl";
    const QStringList chaosTxt = {"-timeout=10", "-class=chaos", "-type=txt", "hostname.bind."};

    std::vector<Test> t;
    t.push_back(tool(system, dig, {"+time=10", e.MyIpName})); // 1
    if (const auto &domain = inputs.testDomain) {
        t.push_back(tracerouteTest(*domain, system));                                     // 2
        t.push_back(tool(system, dig, {"+time=10", *domain}));                            // 3
        t.push_back(tool(system, dig, {"+time=10", *domain, "@" + e.ResolverPrimary}));   // 4
        t.push_back(tool(system, dig, {"+time=10", *domain, "@" + e.ResolverSecondary})); // 5
        t.push_back(tool(system, dig, {"+time=10", *domain, "@" + e.PublicResolver}));    // 6
    }
    t.push_back(tracerouteTest(e.ResolverPrimary, system));                                    // 7
    t.push_back(tracerouteTest(e.ResolverSecondary, system));                                  // 8
    t.push_back(tracerouteTest(e.ApiHost, system));                                            // 9
    t.push_back(tracerouteTest(e.MonitorHost, system));                                        // 10
    t.push_back(tracerouteTest(e.BlockPageHost, system));                                      // 11
    t.push_back(tracerouteTest(e.CategoryHitHost, system));                                    // 12
    t.push_back(tool(system, dig, {"@" + e.ResolverPrimary, "+time=10", e.DebugName, "txt"})); // 13
    t.push_back(tool(system, dig,
                     {"@" + e.ResolverPrimary, "-p", "443", "+time=10", e.DebugName, "txt"})); // 14
    t.push_back(
        tool(system, dig,
             {"@" + e.ResolverPrimary, "-p", "5353", "+time=10", e.DebugName, "txt"})); // 15
    t.push_back(tool(system, dig, {"+time=10", e.DebugName, "txt"}));                   // 16
    t.push_back(tool(system, dig, {"+time=10", e.CdnEchoName}));                        // 17
    t.push_back(tool(system, dig, {"+time=10", e.DnsProviderEchoName}));                // 18
    t.push_back(tool(system, dig, {"@" + e.ResolverPrimary, "+time=10", e.MyIpName}));  // 19
    t.push_back(tool(system, dig, {"@" + e.CdnEchoServer, "+time=10", e.CdnEchoName})); // 20
    t.push_back(tool(system, dig,
                     {"@" + e.DnsProviderEchoServer, "+time=10", e.DnsProviderEchoName})); // 21
    t.push_back(tool(system, nslookup, chaosTxt + QStringList{e.PublicResolver}));         // 22
    t.push_back(tool(system, nslookup, chaosTxt + QStringList{e.RootServer}));             // 23
    t.push_back(tool(system, nslookup, chaosTxt + QStringList{e.PublicNameServer}));       // 24
    t.push_back(pingTest(e.ServiceWebHost, "(" + e.ServiceWebHost + ")", system));         // 25
    t.push_back(pingTest(e.PaloAltoRouter, "(palo alto router)", system));                 // 26
    t.push_back(pingTest(e.SeattleRouter, "(seattle router)", system));                    // 27
    t.push_back(pingTest(e.LosAngelesRouter, "(los angeles router)", system));             // 28
    t.push_back(pingTest(e.ChicagoRouter, "(chicago router)", system));                    // 29
    t.push_back(pingTest(e.NewYorkRouter, "(new york router)", system));                   // 30
    t.push_back(pingTest(e.AshburnRouter, "(ashburn router)", system));                    // 31
    t.push_back(pingTest(e.LondonRouter, "(london router)", system));                      // 32
    t.push_back(pingTest(e.MiamiRouter, "(miami router)", system));                        // 33
    t.push_back(pingTest(e.SingaporeRouter, "(singapore router)", system));                // 34
    t.push_back(pingTest(e.FrankfurtRouter, "(frankfurt router)", system));                // 35
    t.push_back(pingTest(e.HongKongRouter, "(hong kong router)", system));                 // 36
    t.push_back(pingTest(e.AmsterdamRouter, "(amsterdam router)", system));                // 37
    t.push_back(pingTest(e.BerlinRouter, "(berlin router)", system));                      // 38
    t.push_back(pingTest(e.ParisRouter, "(paris router)", system));                        // 39
    t.push_back(pingTest(e.CopenhagenRouter, "(copenhagen router)", system));              // 40
    t.push_back(pingTest(e.DallasRouter, "(dallas router)", system));                      // 41
    t.push_back(pingTest(e.BucharestRouter, "(bucharest router)", system));                // 42
    t.push_back(pingTest(e.PragueRouter, "(prague router)", system));                      // 43
    // Ashburn's router again, under the name of the city it serves.
    t.push_back(pingTest(e.AshburnRouter, "(washington dc router)", system));             // 44
    t.push_back(pingTest(e.WarsawRouter, "(warsaw router)", system));                     // 45
    t.push_back(pingTest(e.SydneyRouter, "(sydney router)", system));                     // 46
    t.push_back(tool(system, "/bin/ps", {"wwaux"}));                                      // 47
    t.push_back(toolOrIp(system, {"/sbin/ifconfig", {"-a"}, {}}, {"address", "show"}));   // 48
    t.push_back(resolverConfigurationTest(system));                                       // 49
    t.push_back(toolOrIp(system, {"/usr/sbin/netstat", {"-rn"}, {}}, {"route", "show"})); // 50
    // No scheme: plain HTTP on port 80.
    t.push_back(tool(system, curl, {"-Ls", e.BlockPageAltHost + "/monitor.php"}));            // 51
    t.push_back(tool(system, curl, {"-Ls", "-c", "/dev/null", e.MonitorHost + "/monitor/"})); // 52
    t.push_back(tool(system, curl, {"-LIs", "-c", "/dev/null", e.BlockPageAltHost + "/"}));   // 53
    t.push_back(tool(system, curl, {"-s", e.BlockPageHost + "/monitor.php"}));                // 54
    t.push_back(tool(system, curl, {"-s", e.WebServerAddress}));                              // 55
    t.push_back(softwareOverviewTest(system));                                                // 56
    // Rows 2 to 6 run only with a test domain.
    for (std::size_t i = 0; i < t.size(); ++i)
        t[i].row = int(i) + (i == 0 || inputs.testDomain ? 1 : 6);
    return t;
}

std::vector<Test> agentTests(const BatteryInputs &inputs, const LocalSystem &system)
{
    const Endpoints &e = inputs.endpoints;
    const AgentPaths &agent = inputs.agentPaths;
    const QString ping = onMac(system) ? "ping -c 1 -t 1 " : "ping -c 1 -W 1 ";
    const QString route = onMac(system) ? "route -n get " : "ip route get ";
    const QString curl = "curl -v -m 2 ";

    std::vector<Test> t;
    // The agent's own resolver, without a time limit of our own.
    if (const auto &domain = inputs.testDomain)
        t.push_back(tool(system, "/usr/bin/dig", {*domain, "@127.0.0.1"}));              // 57
    t.push_back(tool(system, "/usr/bin/dig", {"@127.0.0.1", e.DebugName + ".", "txt"})); // 58
    t.push_back(tool(system, "/bin/ls", {agent.dataDirectory}));                         // 59
    t.push_back(tool(system, "/bin/cat", {agent.dataDirectory + "/resolv_orig.conf"}));  // 60
    t.push_back(shell(system, "/bin/ls " + singleQuoted(agent.installDirectory)));       // 61
    t.push_back(
        shell(system, "/bin/cat " + singleQuoted(agent.installDirectory + "/localdomains"))); // 62
    for (const QString &path : inputs.agentLogFiles)
        t.push_back(logTest(path, system));
    t.push_back(shell(system, systemLogCommand(inputs.tailSize, system)));    // 63
    t.push_back(shell(system, ping + e.BlockedTestAddress, "(Blocked IP)"));  // 64
    t.push_back(shell(system, route + e.BlockedTestAddress, "(Blocked IP)")); // 65
    t.push_back(
        shell(system, curl + e.BlockedTestAddress + "/some/page", "(Page from Blocked IP)")); // 66
    t.push_back(shell(system, route + e.GreyTestAddress, "(" + e.GreyTestName + ")"));        // 67
    t.push_back(shell(system, curl + e.GreyTestAddress + "/favicon.ico",
                      "(Allowed page from grey IP)")); // 68
    t.push_back(shell(system, curl + e.GreyTestAddress + ":8081/favicon.ico",
                      "(Allowed page from grey IP)")); // 69
    t.push_back(shell(system, curl + e.GreyTestAddress + "/malware.htm",
                      "(Blocked page from grey IP)")); // 70
    t.push_back(shell(system, curl + e.GreyTestAddress + ":8081/malware.htm",
                      "(Blocked page from grey IP)")); // 71
    // The log files stand between rows 62 and 63 and have no row of their own.
    const auto logs = std::size_t(inputs.agentLogFiles.size());
    const std::size_t firstLog = t.size() - logs - 9;
    int row = inputs.testDomain ? 57 : 58;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const bool isLog = i >= firstLog && i < firstLog + logs;
        t[i].row = isLog ? 0 : row++;
    }
    return t;
}

Test pingTest(const QString &host, const QString &comment, const LocalSystem &system)
{
    return tool(system, "/sbin/ping", {"-c", "5", host}, comment);
}

Test tracerouteTest(const QString &host, const LocalSystem &system)
{
    // Linux allows ICMP probes to root only; others get the UDP default.
    QStringList args = {"-w 2", host};
    if (onMac(system) || system.isRoot)
        args.prepend("-I");
    return tool(system, "/usr/sbin/traceroute", args);
}

Test logTest(const QString &path, const LocalSystem &system)
{
    Test test = shell(system, logCommand(path));
    const QString shown = logCommand(path, CommandForm::Shown);
    if (shown != test.args.at(1))
        test.displayName = commandDisplayName(test.launchPath, {"-c", shown}, std::nullopt);
    if (const auto kind = system.specialFileKind ? system.specialFileKind(path) : std::nullopt)
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
