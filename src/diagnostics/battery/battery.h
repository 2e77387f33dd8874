#pragma once

#include "batteryrow.h"
#include "endpointroles.h"

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
    BatteryRow row = BatteryRow::None;
    // The place a ping row reaches, as the findings name it: "palo alto".
    std::optional<QString> place = std::nullopt;
    // How the report names the command where that differs from what runs: a
    // file name that is not UTF-8 is shown with its bytes escaped.
    std::optional<QString> displayName = std::nullopt;
    // Set for a command that must not be started: why, as its result.
    std::optional<QString> notRunBecause = std::nullopt;
    // The agent log file that the command prints.
    std::optional<QString> logFile = std::nullopt;
    // Its output shows other programs' command lines, which may hold their
    // passwords and tokens: those are masked before anything reads the output.
    bool masksSecrets = false;
};

// The command line the report shows for a test.
QString displayNameOf(const Test &test);

// The value of every endpoint role the battery probes.
struct Endpoints
{
#define VELTRANE_ENDPOINT_FIELD(name) QString name;
    VELTRANE_BATTERY_ENDPOINT_ROLES(VELTRANE_ENDPOINT_FIELD)
#undef VELTRANE_ENDPOINT_FIELD
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
    // What is at this path when reading it would not end as a file's does: "a
    // FIFO", "a socket", "a character device" or "a block device", links
    // followed. Absent for anything else, and where the hook is not set.
    std::function<std::optional<QString>(const QString &path)> specialFileKind = nullptr;
    // The path with every link on its way resolved; absent when it leads
    // nowhere, and where the hook is not set.
    std::function<std::optional<QString>(const QString &path)> resolvedPath = nullptr;
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

// Lines of the system log that its test reads.
inline constexpr std::int32_t defaultTailSize = 15000;

// Everything one run's battery depends on.
struct BatteryInputs
{
    Endpoints endpoints;
    // Only a test domain that is present: non-empty, with a dot, no option.
    std::optional<QString> testDomain;
    std::int32_t tailSize = defaultTailSize;
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
// Prints one agent log file whole. A FIFO, socket or device is not read (it
// would hold its row until the deadline); its block says what it is. Nor is an
// entry that leads out of the agent's folders (a link to another user's file,
// or to the program's own environment).
Test logTest(const QString &path, const LocalSystem &system, const AgentPaths &agent);

// The tool at its written path, or of the same name in the system directories;
// nothing when it is found nowhere.
std::optional<QString> findTool(const QString &writtenPath, const LocalSystem &system);

// The path a written launch path is started from: on Linux the written path
// when it is an executable file, else the same tool in the system directories
// (not $PATH, which the user controls); the written path when found nowhere,
// so that the report shows the launch failure.
QString launchPathOn(const QString &writtenPath, const LocalSystem &system);

// "cat" and the path in double quotes, with the characters that are special
// there escaped: a file name cannot break out into the shell. Bytes of a name
// that are not UTF-8 (see fileNameFromBytes()) reach cat exactly through
// printf pieces; the form that is shown has \xHH there instead.
enum class CommandForm
{
    Run,
    Shown
};
QString logCommand(const QString &path, CommandForm form = CommandForm::Run);

// The full paths of a subfolder's entries, sorted by plain comparison of their
// characters.
QStringList sortedLogPaths(const QString &subfolderPath, const QStringList &entryNames);

// The full paths of every entry of a log subfolder, read as bytes so that no
// name is mangled, sorted as above; none when it cannot be listed.
QStringList logFolderPaths(const QString &subfolderPath);
