#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// One test of the battery: a command and the comment that labels it in the
// report. Each argument is handed over as one argument, never split at blanks.
struct Test
{
    QString launchPath;
    QStringList args;
    std::optional<QString> comment;
};

// The value of every endpoint role the battery probes.
struct Endpoints
{
    QString MyIpName;
    QString ResolverPrimary;
    QString ResolverSecondary;
    QString PublicResolver;
    QString ApiHost;
    QString MonitorHost;
    QString BlockPageHost;
    QString CategoryHitHost;
    QString DebugName;
    QString CdnEchoName;
    QString CdnEchoServer;
    QString DnsProviderEchoName;
    QString DnsProviderEchoServer;
    QString RootServer;
    QString PublicNameServer;
    QString ServiceWebHost;
    QString PaloAltoRouter;
    QString SeattleRouter;
    QString LosAngelesRouter;
    QString ChicagoRouter;
    QString NewYorkRouter;
    QString AshburnRouter;
    QString LondonRouter;
    QString MiamiRouter;
    QString SingaporeRouter;
    QString FrankfurtRouter;
    QString HongKongRouter;
    QString AmsterdamRouter;
    QString BerlinRouter;
    QString ParisRouter;
    QString CopenhagenRouter;
    QString DallasRouter;
    QString BucharestRouter;
    QString PragueRouter;
    QString WarsawRouter;
    QString SydneyRouter;
    QString BlockPageAltHost;
    QString WebServerAddress;
    QString BlockedTestAddress;
    QString GreyTestAddress;
    QString GreyTestName;
};

// The values this program was built with.
Endpoints builtInEndpoints();

// The battery was written for macOS's tools; on Linux every row keeps its place
// and comment and runs the tool of this system that tells the same.
enum class Platform
{
    MacOS,
    Linux
};

#ifdef Q_OS_MACOS
inline constexpr Platform buildPlatform = Platform::MacOS;
#else
inline constexpr Platform buildPlatform = Platform::Linux;
#endif

// What the battery needs to know about the machine it runs on. Tests describe
// machines of their own.
struct LocalSystem
{
    Platform platform = buildPlatform;
    bool isRoot = false;
    // An executable file (or a link to one) is at this path.
    std::function<bool(const QString &path)> isExecutable;
    // Anything is at this path.
    std::function<bool(const QString &path)> exists;
};

// The machine this program runs on.
LocalSystem thisSystem();

// Where the endpoint agent keeps its files; the same on every platform.
struct AgentPaths
{
    QString installDirectory = QStringLiteral("/Library/Application Support/Veltrane Ambrix");
    QString dataDirectory = QStringLiteral("/var/lib/data/veltrane");
};

// The agent's log directory, ending in "/", and its subfolders in start order.
QString beaconLogDirectory(const AgentPaths &agent);
QStringList beaconLogSubfolders();

// Everything one run's battery depends on.
struct BatteryInputs
{
    Endpoints endpoints;
    // Only a test domain that is present: non-empty, with a dot, no option.
    std::optional<QString> testDomain;
    std::int32_t tailSize = 15000;
    AgentPaths agentPaths;
    bool agentGate = false;
    // Full paths of the agent's log files, in start order.
    QStringList agentLogFiles;
};

// The whole battery of a run in start order: the common tests, then the agent
// tests where the gate holds.
std::vector<Test> batteryTests(const BatteryInputs &inputs, const LocalSystem &system);
std::vector<Test> commonTests(const BatteryInputs &inputs, const LocalSystem &system);
std::vector<Test> agentTests(const BatteryInputs &inputs, const LocalSystem &system);

// Five echo requests.
Test pingTest(const QString &host, const QString &comment, const LocalSystem &system);
// Two seconds of waiting per probe, by ICMP echo where the system allows it.
Test tracerouteTest(const QString &host, const LocalSystem &system);
// Prints one agent log file whole.
Test logTest(const QString &path, const LocalSystem &system);

// The tool at its written path, or of the same name in the system directories;
// nothing when it is found nowhere.
std::optional<QString> findTool(const QString &writtenPath, const LocalSystem &system);

// The path a written launch path is started from: on Linux the written path
// when it is an executable file, else the same tool in the system directories
// (not $PATH, which the user controls); the written path when found nowhere,
// so that the report shows the launch failure.
QString launchPathOn(const QString &writtenPath, const LocalSystem &system);

// "cat" and the path in double quotes, with the characters that are special
// there escaped: a file name cannot break out into the shell.
QString logCommand(const QString &path);

// The full paths of a subfolder's entries, sorted by plain comparison of their
// characters.
QStringList sortedLogPaths(const QString &subfolderPath, const QStringList &entryNames);
